// The engine's USI options: listed on "usi", set by "setoption". "qvn.conf" gives their
// defaults; a value set here lasts until the process ends.
#pragma once

// Table size asked for by USI_Hash (MiB); the table takes it at the next "isready".
extern int requested_hash_mib;
// The mate solver's table size (MiB), taken at the next "isready" the same way.
extern int requested_mate_mib;

// Search threads asked for by Threads (1 to 256), with the main thread; set at once.
extern int requested_threads;

// Loads the network EvalFile names (found like the other data files). A file that cannot be
// used is reported on standard error and in the log, and the engine plays on with the
// linear evaluation alone.
void load_network();
// The "option name ... type ..." lines, with the values in force as defaults.
void print_options();
// One "setoption name <id> [value <x>]" line. An unknown name or a bad value is reported on
// standard error and changes nothing.
void set_option(const char *line);
