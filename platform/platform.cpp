#include "platform/platform.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

int tick_count()
{
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<int>(static_cast<std::uint32_t>(ms));
}

void sleep_ms(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void start_thread(void (*fn)())
{
    std::thread(fn).detach();
}

bool file_exists(const char *name)
{
    return access(name, F_OK) == 0;
}

const char *find_data_file(const char *name, char *path, int size)
{
    std::snprintf(path, size, "%s", name);
    if (file_exists(name) || name[0] == '/')
        return path;
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return path;
    exe[n] = 0;
    char *slash = std::strrchr(exe, '/');
    if (!slash)
        return path;
    slash[1] = 0;
    char beside[4096 + 256];
    std::snprintf(beside, sizeof beside, "%s%s", exe, name);
    if (file_exists(beside))
        std::snprintf(path, size, "%s", beside);
    return path;
}

long file_size(const char *name)
{
    struct stat st;
    if (stat(name, &st) != 0)
        return -1;
    return static_cast<long>(st.st_size);
}

std::tm local_now()
{
    std::time_t t = std::time(nullptr);
    std::tm out{};
    localtime_r(&t, &out);
    return out;
}

std::uint64_t time_stamp_counter()
{
#if defined(__x86_64__) || defined(__i386__)
    return __rdtsc();
#else
    return static_cast<std::uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
#endif
}
