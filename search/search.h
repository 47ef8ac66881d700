// Search clock and the flags that the front end uses to drive a running search.
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
extern std::atomic<int> Elapsed;

// Restarts the search clock (called by the input thread on "ponderhit").
void ResetClock();
