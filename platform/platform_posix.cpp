// Linux (and other POSIX systems) side of the platform layer.
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iconv.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/system.h"

void sleep_ms(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool file_exists(const char *name)
{
    return access(name, F_OK) == 0;
}

long file_size(const char *name)
{
    struct stat st;
    if (stat(name, &st) != 0)
        return -1;
    return static_cast<long>(st.st_size);
}

bool executable_path(char *out, int size)
{
    const ssize_t n = readlink("/proc/self/exe", out, size - 1);
    if (n <= 0)
        return false;
    out[n] = 0;
    return true;
}

bool is_absolute_path(const char *name) { return name[0] == '/'; }

bool is_path_separator(char c) { return c == '/'; }

void binary_standard_io() {}

void *large_allocate(std::size_t size)
{
    constexpr std::size_t LARGE_PAGE = 2u << 20;
    const std::size_t rounded = (size + LARGE_PAGE - 1) / LARGE_PAGE * LARGE_PAGE;
    void *p = std::aligned_alloc(LARGE_PAGE, rounded);
#ifdef MADV_HUGEPAGE
    // Transparent huge pages when the system is set to grant them on request; a refusal
    // leaves ordinary pages, which work as well, only slower.
    if (p)
        madvise(p, rounded, MADV_HUGEPAGE);
#endif
    return p;
}

void large_release(void *p, std::size_t) { std::free(p); }

int to_shift_jis(const char *in, int len, char *out, int size)
{
    // One converter for the process; the lock keeps its state private to one call.
    static std::mutex converter_mutex;
    static const iconv_t converter = iconv_open("CP932", "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        // No converter on this system: keep the UTF-8 bytes rather than lose the text.
        const int n = len < size ? len : size;
        std::memcpy(out, in, n);
        return n;
    }
    std::lock_guard<std::mutex> lock(converter_mutex);
    char *src = const_cast<char *>(in);
    std::size_t src_left = len, dst_left = size;
    char *dst = out;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    while (src_left > 0 && dst_left > 0) {
        if (iconv(converter, &src, &src_left, &dst, &dst_left) != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG)
            break;
        // An unconvertible or broken byte: write '?' and skip it.
        *dst++ = '?';
        dst_left--;
        src++;
        src_left--;
    }
    return static_cast<int>(dst - out);
}

std::tm local_time(std::time_t t)
{
    std::tm out{};
    localtime_r(&t, &out);
    return out;
}
