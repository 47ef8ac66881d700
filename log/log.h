// The thinking log: a human-readable record of each game, written in Shift_JIS.
// Every routine does nothing when no log is open, so callers never test for it.
#pragma once

#include <cstdio>

extern std::FILE *fp_log;

// Closes the current log and opens a new one named after the local time ("MMDD_hhmm.log",
// or "MMDD_hhmma.log" when the first name is taken).
void open_log();
void close_log();
// Writes formatted text to the log; returns the bytes written, 0 when no log is open.
int lprintf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
// Everything this thread writes to the log from now on is dropped (helper search threads).
void mute_log_in_this_thread();
// Writes text and a newline.
int lputs(const char *text);

// Fills out with "<MMDD_hhmm><suffix>", or "<MMDD_hhmm>a<suffix>" when the first exists.
void dated_file_name(const char *suffix, char *out, int size);
// Creates the dated file of that suffix, unbuffered; null, said on standard error, when it cannot.
std::FILE *open_dated_file(const char *suffix);
