#include "frontend/usi_mate.h"

#include <cinttypes>
#include <cstring>

#include "board/notation.h"
#include "frontend/usi.h"
#include "log/log.h"
#include "search/mate_search.h"
#include "search/search.h"

namespace {

// Appends the mating line in USI notation.
std::size_t write_line(const MateResult &result, char *line, std::size_t at, std::size_t size)
{
    for (int i = 0; i < result.length; i++) {
        char text[8];
        move2usi(Reverse ? move_reverse(result.line[i]) : result.line[i], text);
        at += static_cast<std::size_t>(std::snprintf(line + at, size - at, " %s", text));
    }
    return at;
}

void report_progress(std::uint64_t nodes, int ms)
{
    usi_printf("info time %d nodes %" PRIu64 " nps %" PRIu64 "\n", ms, nodes,
               ms > 0 ? nodes * 1000 / static_cast<std::uint64_t>(ms) : 0);
}

MateResult result;  // of the last "go mate"

}  // namespace

void solve_go_mate(int time_ms)
{
    MateLimits limits;
    limits.time_ms = time_ms;
    limits.stop = &AbortSearch;
    limits.progress = report_progress;
    mate_solve(1, &Trunk[0], limits, &result);
    report_progress(result.nodes, result.ms);
    lprintf("go mate: %s, %d plies, %" PRIu64 " nodes, %d ms\n",
            result.status == MATE_FOUND ? "mate" : result.status == MATE_NONE ? "no mate" : "unknown", result.length,
            result.nodes, result.ms);
}

void send_checkmate()
{
    if (result.status == MATE_NONE) {
        usi_printf("checkmate nomate\n");
        return;
    }
    if (result.status != MATE_FOUND) {
        usi_printf("checkmate timeout\n");
        return;
    }
    // At most 127 moves of at most 5 characters and a space each.
    char line[16 + MATE_MAX_PLY * 6] = "checkmate";
    write_line(result, line, std::strlen(line), sizeof line);
    usi_printf("%s\n", line);
}

void usi_mate_info(const MateResult &mate)
{
    char line[96 + MATE_MAX_PLY * 6];
    std::size_t at = static_cast<std::size_t>(std::snprintf(
        line, sizeof line, "info time %d nodes %" PRIu64 " score mate %d pv", mate.ms, mate.nodes, mate.length));
    write_line(mate, line, at, sizeof line);
    usi_printf("%s\n", line);
}
