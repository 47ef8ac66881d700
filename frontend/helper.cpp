#include "frontend/helper.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int GetConfInt(const char *key, int default_value, const char *file_name)
{
    std::FILE *fp = std::fopen(file_name, "r");
    if (!fp)
        return default_value;
    char lkey[64];
    std::snprintf(lkey, sizeof lkey, "%s", key);
    for (char *c = lkey; *c; c++)
        *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    int value = default_value;
    char line[63];  // lines are read in pieces of at most 62 characters
    while (std::fgets(line, sizeof line, fp)) {
        if (line[0] == '#')
            continue;
        for (char *c = line; *c; c++)
            *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
        const char *at = std::strstr(line, lkey);
        if (!at)
            continue;
        const char *eq = std::strchr(at, '=');
        if (eq)
            value = std::atoi(eq + 1);
        break;
    }
    std::fclose(fp);
    return value;
}
