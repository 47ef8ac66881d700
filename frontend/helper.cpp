#include "frontend/helper.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

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

bool GetConfString(const char *key, char *out, int size, const char *file_name)
{
    std::FILE *fp = std::fopen(file_name, "r");
    if (!fp)
        return false;
    bool found = false;
    char line[4096];
    while (!found && std::fgets(line, sizeof line, fp)) {
        char *eq = std::strchr(line, '=');
        if (line[0] == '#' || !eq)
            continue;
        char *k = line, *k_end = eq;
        while (std::isspace(static_cast<unsigned char>(*k)))
            k++;
        while (k_end > k && std::isspace(static_cast<unsigned char>(k_end[-1])))
            k_end--;
        if (static_cast<std::size_t>(k_end - k) != std::strlen(key) || strncasecmp(k, key, k_end - k) != 0)
            continue;
        char *v = eq + 1, *v_end = v + std::strlen(v);
        while (std::isspace(static_cast<unsigned char>(*v)))
            v++;
        while (v_end > v && std::isspace(static_cast<unsigned char>(v_end[-1])))
            v_end--;
        *v_end = 0;
        std::snprintf(out, size, "%s", v);
        found = true;
    }
    std::fclose(fp);
    return found;
}
