#include "search/time_budget.h"

#include <algorithm>

int TimeMargin = -1;

namespace {

constexpr int BUDGET_MARGIN = 700;         // below the budget, a long byoyomi, the time left
constexpr int SHORT_BYOYOMI_MARGIN = 500;  // below a byoyomi under 10 s
constexpr int LONG_BYOYOMI = 10000;
constexpr int MIN_BYOYOMI_BUDGET = 1000;   // a byoyomi follows: the main time may go faster

// Without a byoyomi or a real increment every move also costs time the engine cannot see
// (process, pipe, server): kept aside for the moves of a long game, with a short search each.
constexpr int MOVE_OVERHEAD = 10;  // ms a move costs beyond the search
constexpr int MIN_THINK = 5;       // ms searched when only the reserve is left
constexpr int RESERVE_PLY = 300;   // the game length the reserve lasts to
constexpr int RESERVE_MIN_MOVES = 30;

// Own moves left in the game by phase: the rest of 200 plies, at least 80, 40, 20.
int expected_moves(int moves_played, int grade)
{
    const int m = 200 - moves_played;
    switch (grade) {
    case 0:
        return m > 161 ? m >> 1 : 80;
    case 1:
        return m > 81 ? m >> 1 : 40;
    default:
        return m > 41 ? m >> 1 : 20;
    }
}

// The built-in margin below a span of time, or the one set by the option.
int margin_below(int span, int built_in, int option)
{
    if (option >= 0)
        return option;
    return std::min(built_in, span / 2);
}

}  // namespace

TimeBudget plan_time(const TimeControl &c)
{
    TimeBudget b;
    const int grade = std::clamp(c.grade, 0, 2);
    const int factor = grade + 1;  // the later the phase, the more a dropping score may take
    b.remain_ply = expected_moves(c.moves_played, grade);
    const int share = c.remain / b.remain_ply;
    if (c.byoyomi > 0) {
        b.one_ply_time = std::max(share, MIN_BYOYOMI_BUDGET);
        b.extension = factor * b.one_ply_time;
        if (c.remain > 0) {
            const int margin = c.margin >= 0 ? c.margin : BUDGET_MARGIN;
            b.stop = b.one_ply_time - margin;
            b.extended_stop = b.one_ply_time + b.extension - margin;
        }
        const int built_in = c.byoyomi >= LONG_BYOYOMI ? BUDGET_MARGIN : SHORT_BYOYOMI_MARGIN;
        b.hard_stop = c.byoyomi - margin_below(c.byoyomi, built_in, c.margin);
        return b;
    }
    if (c.remain <= 0 && c.increment <= 0)
        return b;  // no clock at all
    const int available = c.remain + c.increment;
    b.hard_stop = std::max(0, available - margin_below(available, BUDGET_MARGIN, c.margin));
    const int per_move = MOVE_OVERHEAD + MIN_THINK - c.increment;
    int planned = c.increment + share;
    if (per_move > 0) {  // sudden death, or an increment too small to pay for a move
        const int moves_left = std::max((RESERVE_PLY - c.moves_played) / 2, RESERVE_MIN_MOVES);
        const int usable = std::max(0, c.remain - per_move * moves_left);
        planned = c.increment + usable / b.remain_ply;
        b.one_ply_time = std::max(planned, c.increment + MIN_THINK);
    } else {
        b.one_ply_time = planned;
    }
    b.extension = factor * planned;
    b.stop = std::min(b.one_ply_time, b.hard_stop);
    b.extended_stop = std::min(b.one_ply_time + b.extension, b.hard_stop);
    return b;
}
