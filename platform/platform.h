// Thin layer over the operating-system services the engine needs:
// a millisecond tick counter, sleeping, a detached thread, file tests, the executable's
// folder, standard input and output as bytes, memory for big tables, Shift_JIS text, local time,
// a cheap cycle counter and a random number from it. One source file per system implements
// it (platform_posix.cpp, platform_windows.cpp); nothing outside this folder asks which.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

// Milliseconds from a monotonic clock; wraps like a 32-bit tick counter.
int tick_count();

void sleep_ms(int ms);

// Starts fn on a detached thread with the default stack size.
void start_thread(void (*fn)());

bool file_exists(const char *name);

// Where a data file is read from: the name itself when it exists in the working directory,
// else the same name beside the executable when it is there (GUIs start engines from
// anywhere), else the name unchanged, for the reader to report it missing. Written to path.
const char *find_data_file(const char *name, char *path, int size);

// Size of a file in bytes, -1 when it cannot be read.
long file_size(const char *name);

// Standard input, output and error carry bytes unchanged: no CR LF translation and no end of
// input at a Ctrl-Z byte (Windows text mode). The protocol code strips a '\r' itself.
void binary_standard_io();

// Memory for a big table, aligned to 2 MiB and backed by large pages where the system grants
// them (a random probe then misses the TLB far less often); ordinary pages otherwise.
// nullptr when there is no memory; freed only by large_release with the same size.
void *large_allocate(std::size_t size);
void large_release(void *p, std::size_t size);

// Asks the processor to start loading the cache line at p; it never faults.
inline void prefetch(const void *p) { __builtin_prefetch(p); }

// Converts UTF-8 text to Shift_JIS (CP932); returns the converted length, at most size, cut
// between characters. An unconvertible character becomes '?'. Safe from any thread.
int to_shift_jis(const char *in, int len, char *out, int size);

// Local broken-down time of t, and of now (thread-safe).
std::tm local_time(std::time_t t);
std::tm local_now();

// The local time t as ctime writes it ("Wed Jun 30 21:49:08 1993\n"), thread-safe.
void time_text(std::time_t t, char *out, int size);

// The processor's cycle counter where there is one; any fast-changing counter otherwise.
std::uint64_t time_stamp_counter();
// A cheap random number from the cycle counter.
unsigned my_rand();

// True when the processor and the operating system run AVX2 instructions. Code built for
// them is chosen at run time, so one x86-64 binary runs everywhere.
bool cpu_has_avx2();
