// Windows side of the platform layer (built with MinGW-w64).
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <malloc.h>
#include <mmsystem.h>
#include <vector>

#include "platform/platform.h"
#include "platform/system.h"

void sleep_ms(int ms)
{
    // The system tick is 15.6 ms unless asked for finer: the 10 ms waits of the main loop and
    // of "stop" would each take 16 ms, time a short byoyomi cannot spare.
    static const bool fine_timer = timeBeginPeriod(1) == TIMERR_NOERROR;
    (void)fine_timer;
    Sleep(static_cast<DWORD>(ms < 0 ? 0 : ms));
}

bool file_exists(const char *name)
{
    return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES;
}

long file_size(const char *name)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(name, GetFileExInfoStandard, &data))
        return -1;
    // long has 32 bits here: a larger file reports LONG_MAX, a size no data file has.
    const unsigned long long size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return size > static_cast<unsigned long long>(LONG_MAX) ? LONG_MAX : static_cast<long>(size);
}

bool executable_path(char *out, int size)
{
    const DWORD n = GetModuleFileNameA(nullptr, out, static_cast<DWORD>(size));
    return n > 0 && n < static_cast<DWORD>(size);
}

bool is_absolute_path(const char *name)
{
    const bool drive = ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')) && name[1] == ':';
    return name[0] == '/' || name[0] == '\\' || drive;
}

bool is_path_separator(char c) { return c == '/' || c == '\\'; }

void binary_standard_io()
{
    for (std::FILE *f : {stdin, stdout, stderr})
        _setmode(_fileno(f), _O_BINARY);
}

namespace {

// Large pages need the "lock pages in memory" right, which a user has only when an
// administrator granted it: without it the table quietly takes ordinary pages.
bool may_lock_pages()
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return false;
    TOKEN_PRIVILEGES tp{};
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    bool ok = LookupPrivilegeValueA(nullptr, "SeLockMemoryPrivilege", &tp.Privileges[0].Luid) &&
              AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr) && GetLastError() == ERROR_SUCCESS;
    CloseHandle(token);
    return ok;
}

}  // namespace

void *large_allocate(std::size_t size)
{
    static const bool large_pages = may_lock_pages();
    const std::size_t page = large_pages ? GetLargePageMinimum() : 0;
    if (page) {
        const std::size_t rounded = (size + page - 1) / page * page;
        if (void *p = VirtualAlloc(nullptr, rounded, MEM_RESERVE | MEM_COMMIT | MEM_LARGE_PAGES, PAGE_READWRITE))
            return p;
    }
    return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void large_release(void *p, std::size_t)
{
    if (p)
        VirtualFree(p, 0, MEM_RELEASE);
}

int to_shift_jis(const char *in, int len, char *out, int size)
{
    if (len <= 0 || size <= 0)
        return 0;
    // Broken UTF-8 becomes U+FFFD here and '?' below.
    const int wide_len = MultiByteToWideChar(CP_UTF8, 0, in, len, nullptr, 0);
    if (wide_len <= 0)
        return 0;
    std::vector<wchar_t> wide(wide_len);
    MultiByteToWideChar(CP_UTF8, 0, in, len, wide.data(), wide_len);
    const int full_len = WideCharToMultiByte(932, 0, wide.data(), wide_len, nullptr, 0, "?", nullptr);
    if (full_len <= 0)
        return 0;
    std::vector<char> full(full_len);
    WideCharToMultiByte(932, 0, wide.data(), wide_len, full.data(), full_len, "?", nullptr);
    // Keep whole characters only: a lead byte of CP932 starts a pair.
    int n = 0;
    while (n < full_len) {
        const unsigned char c = static_cast<unsigned char>(full[n]);
        const int step = (c >= 0x81 && c <= 0x9f) || (c >= 0xe0 && c <= 0xfc) ? 2 : 1;
        if (n + step > size || n + step > full_len)
            break;
        n += step;
    }
    std::copy(full.begin(), full.begin() + n, out);
    return n;
}

std::tm local_time(std::time_t t)
{
    std::tm out{};
    localtime_s(&out, &t);
    return out;
}
