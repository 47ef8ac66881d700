// The "go" command: its words, and the limits of the search they ask for.
#pragma once

#include <cstdint>

// What one "go" line says; -1 marks a value the line does not give.
struct GoCommand {
    bool ponder = false;
    bool infinite = false;
    bool mate = false;           // "go mate": a mate search, answered with "checkmate"
    int btime = -1, wtime = -1;  // main time left, milliseconds
    int binc = -1, winc = -1;    // increment per move (Fischer)
    int byoyomi = -1;
    int movetime = -1;           // think exactly this long (less the margin)
    std::int64_t nodes = -1;     // stop after this many nodes
    int depth = -1;              // stop after this iteration
    int mate_time = -1;          // "go mate N": N ms; "go mate infinite" (or no value): -1
};

// Reads the words after "go" in any order; unknown words and bad numbers are skipped.
GoCommand parse_go(const char *line);

// The clock and limits of the search a "go" asks for, as the search reads them.
struct SearchLimits {
    int analyze = 0;             // no clock of its own: ponder, infinite, or a pure node/depth search
    int remain = 0;              // own main time
    int increment = 0;           // own increment
    int countdown = 0;           // byoyomi (or movetime)
    std::int64_t nodes = 0;      // 0: no node limit
    int depth = 0;               // deepest iteration
};

// The limits for the engine's side (reverse: it plays second). previous_countdown is the
// byoyomi of the last "go", which a ponder or infinite "go" without one keeps.
SearchLimits search_limits(const GoCommand &go, bool reverse, int previous_countdown, int max_depth);
