// The mate solver: a depth-first proof-number search for a mate in which every move of
// the attacker is a check (a tsume), beside the alpha-beta search.
//
// It has its own transposition table, keyed by the board and storing the attacker's
// hand, so that a position proved with a hand also counts as proved with any larger
// hand (and disproved with any smaller one). A repeated position is no mate for the
// attacker (a perpetual check loses), so a proof never rests on a cycle.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/position.h"

constexpr int MATE_MAX_PLY = 127;     // the longest line the solver follows
constexpr int MATE_TABLE_DEFAULT_MIB = 64;

enum MateStatus : int { MATE_FOUND, MATE_NONE, MATE_UNKNOWN };

struct MateLimits {
    std::uint64_t nodes = 0;                       // 0: no limit
    int time_ms = -1;                              // -1: no limit
    const std::atomic<int> *stop = nullptr;        // non-zero ends the solve
    // Called about once a second with the nodes so far and the elapsed milliseconds.
    void (*progress)(std::uint64_t nodes, int ms) = nullptr;
};

struct MateResult {
    int status = MATE_UNKNOWN;
    int length = 0;                    // plies of the mating line
    int line[MATE_MAX_PLY + 1] = {};  // attacker's moves and the defender's replies
    bool repetition = false;           // the no-mate rests on repeated positions
    std::uint64_t nodes = 0;
    int ms = 0;
};

// Allocates the solver's table (MiB, at least 1); call before solving, never during.
// Returns false when the memory cannot be had (then there is no table until a later
// call succeeds; a solve without one makes the default table first).
bool mate_table_resize(int mib);
int mate_table_mib();

// Looks for a mate by side (to move in root), in a table emptied of earlier solves. A
// root without the enemy king, or with it in check, has none (MATE_NONE at once).
void mate_solve(int side, const Position *root, const MateLimits &limits, MateResult *result);
