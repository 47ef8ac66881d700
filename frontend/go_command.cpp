#include "frontend/go_command.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int DEFAULT_BYOYOMI = 10000;  // a "go" that gives no time at all

// The next blank-separated word of *at (at most size - 1 characters kept); false at the end.
bool next_word(const char **at, char *word, int size)
{
    const char *p = *at;
    while (*p == ' ' || *p == '\t' || *p == '\n')
        p++;
    if (!*p)
        return false;
    int n = 0;
    while (*p && *p != ' ' && *p != '\t' && *p != '\n') {
        if (n < size - 1)
            word[n++] = *p;
        p++;
    }
    word[n] = 0;
    *at = p;
    return true;
}

// A non-negative number word; -1 when the word is no such number.
std::int64_t number(const char *word)
{
    if (*word < '0' || *word > '9')
        return -1;
    errno = 0;
    char *end;
    const long long v = std::strtoll(word, &end, 10);
    if (*end || errno)
        return -1;
    return v;
}

int clamp_int(std::int64_t v) { return v > 0x3FFFFFFF ? 0x3FFFFFFF : static_cast<int>(v); }

}  // namespace

GoCommand parse_go(const char *line)
{
    GoCommand go;
    const char *at = std::strncmp(line, "go", 2) == 0 ? line + 2 : line;
    char word[32], value[32];
    while (next_word(&at, word, sizeof word)) {
        if (std::strcmp(word, "ponder") == 0) {
            go.ponder = true;
            continue;
        }
        if (std::strcmp(word, "infinite") == 0) {
            go.infinite = true;
            continue;
        }
        if (std::strcmp(word, "mate") == 0) {
            go.mate = true;
            const char *peek = at;
            if (next_word(&peek, value, sizeof value) && number(value) >= 0) {
                go.mate_time = clamp_int(number(value));
                at = peek;
            } else if (std::strcmp(value, "infinite") == 0) {
                at = peek;
            }
            continue;
        }
        int *target = std::strcmp(word, "btime") == 0      ? &go.btime
                      : std::strcmp(word, "wtime") == 0    ? &go.wtime
                      : std::strcmp(word, "binc") == 0     ? &go.binc
                      : std::strcmp(word, "winc") == 0     ? &go.winc
                      : std::strcmp(word, "byoyomi") == 0  ? &go.byoyomi
                      : std::strcmp(word, "movetime") == 0 ? &go.movetime
                      : std::strcmp(word, "depth") == 0    ? &go.depth
                                                           : nullptr;
        const bool is_nodes = std::strcmp(word, "nodes") == 0;
        if (!target && !is_nodes)
            continue;  // a word we do not use (searchmoves and its moves among them)
        const char *peek = at;
        if (!next_word(&peek, value, sizeof value) || number(value) < 0)
            continue;  // no number after the keyword: ignore the keyword
        at = peek;
        if (is_nodes)
            go.nodes = number(value);
        else
            *target = clamp_int(number(value));
    }
    return go;
}

SearchLimits search_limits(const GoCommand &go, bool reverse, int previous_countdown, int max_depth)
{
    SearchLimits s;
    const int own_time = reverse ? go.wtime : go.btime;
    const int own_inc = reverse ? go.winc : go.binc;
    s.remain = own_time > 0 ? own_time : 0;
    s.increment = own_inc > 0 ? own_inc : 0;
    // A ponder or infinite "go" without a byoyomi keeps the last one for after "ponderhit".
    s.countdown = go.byoyomi >= 0 ? go.byoyomi : (go.ponder || go.infinite) ? previous_countdown : 0;
    if (go.movetime > 0) {
        s.remain = s.increment = 0;
        s.countdown = go.movetime;
    }
    s.nodes = go.nodes > 0 ? go.nodes : 0;
    s.depth = go.depth > 0 && go.depth < max_depth ? go.depth : max_depth;
    const bool clock = s.remain || s.increment || s.countdown;
    const bool limited = s.nodes || go.depth > 0;
    s.analyze = go.ponder || go.infinite || (limited && !clock);
    if (!clock && !limited)
        s.countdown = DEFAULT_BYOYOMI;
    return s;
}
