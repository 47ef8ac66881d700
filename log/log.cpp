#include "log/log.h"

#include <atomic>
#include <cstdarg>
#include <mutex>
#include <vector>

#include "platform/platform.h"

std::FILE *fp_log;

namespace {
// Both threads write to the log; one lock keeps each call whole.
std::mutex log_mutex;
// Lets lprintf skip formatting without taking the lock when no log is open.
std::atomic<bool> log_open{false};
// Set on the helper search threads: the log is the main thread's account of its search.
thread_local bool log_muted = false;
}  // namespace

void dated_file_name(const char *suffix, char *out, int size)
{
    const std::tm t = local_now();
    char base[32];
    std::snprintf(base, sizeof base, "%02d%02d_%02d%02d", t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min);
    std::snprintf(out, size, "%s%s", base, suffix);
    if (file_exists(out))
        std::snprintf(out, size, "%sa%s", base, suffix);
}

void close_log()
{
    std::lock_guard<std::mutex> lock(log_mutex);
    if (fp_log)
        std::fclose(fp_log);
    fp_log = nullptr;
    log_open = false;
}

std::FILE *open_dated_file(const char *suffix)
{
    char name[64];
    dated_file_name(suffix, name, sizeof name);
    std::FILE *fp = std::fopen(name, "wb");
    if (!fp) {
        std::fprintf(stderr, "%s open error\n", name);
        return nullptr;
    }
    std::setbuf(fp, nullptr);
    return fp;
}

void open_log()
{
    close_log();
    std::FILE *fp = open_dated_file(".log");
    if (!fp)
        return;
    std::lock_guard<std::mutex> lock(log_mutex);
    fp_log = fp;
    log_open = true;
}

namespace {
int write_converted(const char *text, int len)
{
    std::lock_guard<std::mutex> lock(log_mutex);
    if (!fp_log)
        return 0;
    // Shift_JIS never needs more bytes than UTF-8 for the same text.
    char small[2048];
    std::vector<char> large;
    char *out = small;
    if (len + 1 > static_cast<int>(sizeof small)) {
        large.resize(len + 1);
        out = large.data();
    }
    const int n = to_shift_jis(text, len, out, len + 1);
    return static_cast<int>(std::fwrite(out, 1, n, fp_log));
}
}  // namespace

void mute_log_in_this_thread() { log_muted = true; }

int lprintf(const char *fmt, ...)
{
    if (!log_open || log_muted)
        return 0;
    char small[2048];
    va_list ap;
    va_start(ap, fmt);
    const int len = std::vsnprintf(small, sizeof small, fmt, ap);
    va_end(ap);
    if (len < 0)
        return 0;
    if (len < static_cast<int>(sizeof small))
        return write_converted(small, len);
    std::vector<char> large(len + 1);
    va_start(ap, fmt);
    std::vsnprintf(large.data(), large.size(), fmt, ap);
    va_end(ap);
    return write_converted(large.data(), len);
}

int lputs(const char *text)
{
    if (!log_open)
        return 0;
    return lprintf("%s\n", text);
}
