// The time budget of one move, as a pure function of the clock: tested on numbers.
#pragma once

// Milliseconds kept below the byoyomi and below the time left; -1: the built-in margins
// (700 ms below the budget, below a byoyomi of 10 s or more and below the time left in
// Fischer and sudden-death games; 500 ms below a shorter byoyomi; never more than half of
// a byoyomi or of the time left). Set by the "time_margin" option.
extern int TimeMargin;

constexpr int NO_LIMIT = 0x3FFFFFFF;

struct TimeControl {
    int remain = 0;        // own main time left
    int increment = 0;     // own increment, the engine's to use on this move
    int byoyomi = 0;
    int moves_played = 0;  // nMoves
    int grade = 0;         // game phase of the previous decision
    int margin = -1;       // TimeMargin
};

struct TimeBudget {
    int remain_ply = 0;      // own moves the main time is spread over
    int one_ply_time = 0;    // the planned time of this move (OnePlyTime)
    int extension = 0;       // more while the root asks for it (Extend)
    int stop = NO_LIMIT;           // elapsed ms at which the search stops
    int extended_stop = NO_LIMIT;  // the same while Extend is set
    int hard_stop = NO_LIMIT;      // elapsed ms at which it stops whatever Extend says
};

// Byoyomi games (a byoyomi is given): the main time spread over the expected rest of the
// game, at least one second, stopped 700 ms (the margin) before it, and a hard stop the
// margin before the byoyomi ends. Fischer and sudden death (no byoyomi): the increment plus
// a share of the main time, stopped on the plan, never later than the margin before the
// main time and increment are used up; with no increment (or a tiny one) the share comes
// from what is left after a reserve of 15 ms for each own move to ply 300 (at least 30).
TimeBudget plan_time(const TimeControl &clock);
