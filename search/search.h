// The main search, its clock and the flags that drive a running search.
#pragma once

#include <atomic>

// Raised by "stop", "gameover" and the clock; every node returns as soon as it sees it.
// The front end clears it when it accepts a "go", so a "stop" that arrives before the
// search has started is never lost: the search itself must not clear it.
extern std::atomic<int> AbortSearch;
// 1 while the search must not stop on its own clock ("go ponder", "go infinite").
extern std::atomic<int> AnalyzeMode;
extern int RemainTime;   // the engine's main time from "go", milliseconds
extern int Countdown;    // byoyomi from "go", milliseconds
extern std::atomic<int> Elapsed;  // milliseconds since the search clock started
extern int OnePlyTime;   // the budget of this move
extern int Extend;       // the root asks for extra time: its first move's score dropped

// ---- the clock -------------------------------------------------------------------
// The millisecond source of the search clock (tests put a clock of their own here).
extern int (*search_clock)();
// Starts the clock and sets the budget of this move from the time left, the move
// number and the game phase of the previous decision.
void CalcTime();
// Restarts the search clock (called by the input thread on "ponderhit").
void ResetClock();
// The clock test of every node: true when the node must return at once.
bool clock_test();
