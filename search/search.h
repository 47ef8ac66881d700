// The main search, its clock and the flags that drive a running search.
#pragma once

#include <atomic>
#include <cstdint>

#include "hash/hash.h"
#include "search/threads.h"
#include "search/worker.h"

// Raised by "stop", "gameover" and the clock; every node returns as soon as it sees it.
// The front end clears it when it accepts a "go", so a "stop" that arrives before the
// search has started is never lost: the search itself must not clear it.
extern std::atomic<int> AbortSearch;
// 1 while the search must not stop on its own clock ("go ponder", "go infinite").
extern std::atomic<int> AnalyzeMode;
extern int RemainTime;   // the engine's main time from "go", milliseconds
extern int Countdown;    // byoyomi from "go", milliseconds
extern int Increment;    // the engine's increment per move from "go" (Fischer), milliseconds
// "go nodes": the search stops once it has searched this many nodes (0: no limit).
extern std::int64_t NodeLimit;
extern std::atomic<int> Elapsed;  // milliseconds since the search clock started
extern int OnePlyTime;   // the budget of this move
// The root asks for extra time: its first move's score dropped (set by the main thread).
extern std::atomic<int> Extend;

// ---- the clock -------------------------------------------------------------------
// The millisecond source of the search clock (tests put a clock of their own here).
extern int (*search_clock)();
// Starts the clock and sets the budget of this move from the time left, the move
// number and the game phase of the previous decision.
void CalcTime();
// The next CalcTime counts from tick, the moment the front end accepted the "go", rather than
// from its own call: time the main thread spends waking up is the engine's time too.
void ClockStartsAt(int tick);
// Restarts the search clock (called by the input thread on "ponderhit").
void ResetClock();
// The clock test of every node: true when the node must return at once.
bool clock_test();
// Milliseconds since the "go" was accepted (CalcTime), "ponderhit" or not.
int ms_since_go();
// Counts one node of a worker toward "go nodes"; true (and AbortSearch raised) once the
// limit is reached. A single thread counts its own nodes exactly: the count depends on nothing
// but the position and the limit, so such a search repeats exactly. With helper threads the
// count of all of them is summed every 1024 nodes of each.
inline bool node_limit_reached(NodeCounter &nodes)
{
    const std::int64_t n = nodes;
    if (NodeLimit && (search_helpers() == 0 ? n >= NodeLimit : (n & 1023) == 0 && searched_nodes() >= NodeLimit)) {
        AbortSearch = 1;
        return true;
    }
    nodes = n + 1;
    return false;
}

// ---- the main search ------------------------------------------------------------------
// Depths are in half plies (one ply is 2); scores from the side to move's view, 30000
// mate: a side mated at ply p scores p - 30000. The deepest ply is MAX_SEARCH_PLY.
constexpr int MATE = 30000;
// Tests switch the transposition table off to compare searches with and without it.
extern bool use_hash_table;

// Mate scores count plies from the root; the table keeps them as distances from the
// node itself, so that a position reached at another ply reads its true mate distance.
constexpr int MATE_BOUND = 29899;
constexpr int to_table(int value, int ply)
{
    return value > MATE_BOUND ? value + ply : value < -MATE_BOUND ? value - ply : value;
}
constexpr int from_table(int value, int ply)
{
    return value > MATE_BOUND ? value - ply : value < -MATE_BOUND ? value + ply : value;
}
// Stores a search result of the node at ply (unless the table is switched off).
void table_store(int side, const Position *node, int ply, int bound, int depth, int value, int move);
