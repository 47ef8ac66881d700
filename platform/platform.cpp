// The part of the platform layer that standard C++ gives on every system.
#include "platform/platform.h"

#include <chrono>
#include <cstdio>
#include <thread>
#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

#include "platform/system.h"

int tick_count()
{
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<int>(static_cast<std::uint32_t>(ms));
}

void start_thread(void (*fn)())
{
    std::thread(fn).detach();
}

const char *find_data_file(const char *name, char *path, int size)
{
    std::snprintf(path, size, "%s", name);
    if (file_exists(name) || is_absolute_path(name))
        return path;
    char exe[4096];
    if (!executable_path(exe, sizeof exe))
        return path;
    char *folder_end = nullptr;
    for (char *c = exe; *c; c++)
        if (is_path_separator(*c))
            folder_end = c + 1;
    if (!folder_end)
        return path;
    *folder_end = 0;
    char beside[4096 + 256];
    std::snprintf(beside, sizeof beside, "%s%s", exe, name);
    if (file_exists(beside))
        std::snprintf(path, size, "%s", beside);
    return path;
}

std::tm local_now()
{
    return local_time(std::time(nullptr));
}

void time_text(std::time_t t, char *out, int size)
{
    // The format of asctime, which the C standard spells out.
    static const char days[] = "SunMonTueWedThuFriSat";
    static const char months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const std::tm tm = local_time(t);
    const int day = tm.tm_wday >= 0 && tm.tm_wday < 7 ? tm.tm_wday : 0;
    const int month = tm.tm_mon >= 0 && tm.tm_mon < 12 ? tm.tm_mon : 0;
    std::snprintf(out, size, "%.3s %.3s%3d %.2d:%.2d:%.2d %d\n", days + 3 * day, months + 3 * month, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec, tm.tm_year + 1900);
}

std::uint64_t time_stamp_counter()
{
#if defined(__x86_64__) || defined(__i386__)
    return __rdtsc();
#else
    return static_cast<std::uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
#endif
}

bool cpu_has_avx2()
{
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
    // GCC's runtime asks CPUID and, for the YMM registers, whether the system saves them.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

unsigned my_rand()
{
    // Some virtual machines step the counter in multiples of a constant, so its low bits
    // alone are no random number: mix all of them in.
    std::uint64_t z = time_stamp_counter();
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return static_cast<unsigned>(z ^ (z >> 31));
}
