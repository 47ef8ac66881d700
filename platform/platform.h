// Thin layer over the operating-system services the engine needs:
// a millisecond tick counter, sleeping, a detached thread, file tests,
// local time and a cheap cycle counter.
#pragma once

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

// Local broken-down time of now (thread-safe).
std::tm local_now();

// The processor's cycle counter where there is one; any fast-changing counter otherwise.
std::uint64_t time_stamp_counter();
