// Decodes Shift_JIS bytes with the system converter, apart from the engine's own code.
#pragma once

#include <iconv.h>
#include <string>

inline std::string from_shift_jis(const std::string &bytes)
{
    iconv_t cd = iconv_open("UTF-8", "SHIFT_JIS");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return "<no Shift_JIS converter>";
    std::string out(bytes.size() * 3 + 16, '\0');
    char *in = const_cast<char *>(bytes.data());
    char *dst = out.data();
    std::size_t in_left = bytes.size(), out_left = out.size();
    const std::size_t r = iconv(cd, &in, &in_left, &dst, &out_left);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1))
        return "<not Shift_JIS>";
    out.resize(out.size() - out_left);
    return out;
}
