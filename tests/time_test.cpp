// The move budget and the node clock test, on an injected clock.
#include <algorithm>
#include <tuple>

#include <gtest/gtest.h>

#include "eval/get_grade.h"
#include "frontend/go_command.h"
#include "search/search.h"
#include "search/time_budget.h"

namespace {

int fake_now;
int fake_clock() { return fake_now; }

class Clock : public ::testing::Test {
  protected:
    void SetUp() override
    {
        search_clock = fake_clock;
        fake_now = 1000000;
        AbortSearch = 0;
        AnalyzeMode = 0;
        Extend = 0;
        RemainTime = Countdown = 0;
    }
    void TearDown() override
    {
        search_clock = saved;
        AbortSearch = 0;
        Extend = 0;
    }
    // Milliseconds after CalcTime at which the clock test first stops the search.
    int stop_time()
    {
        const int start = fake_now;
        for (int t = 0; t < 100000; t++) {
            fake_now = start + t;
            if (clock_test())
                return t;
        }
        return -1;
    }
    void budget(int remain, int moves, int grade, int byoyomi = 0)
    {
        RemainTime = remain;
        Countdown = byoyomi;
        nMoves = moves;
        Grade = grade;
        CalcTime();
    }
    int (*saved)() = search_clock;
};

// The clock test on the plans of CalcTime: main time with a byoyomi keeps the budget of
// byoyomi games (the byoyomi itself is far); the extension while the root asks for it;
// byoyomi margins; never below one second a move.
TEST_F(Clock, BudgetsAndStops)
{
    const struct {
        int remain, moves, grade, byoyomi, extend;
        int one_ply, stop;  // -1: not checked
    } cases[] = {
        {600000, 20, 0, 60000, 0, 6666, 5966},
        {600000, 20, 0, 60000, 1, 6666, 12632},
        {600000, 20, 2, 60000, 1, 6666, 6666 + 19998 - 700},
        {600000, 160, 2, 60000, 0, 30000, -1},
        {5000, 100, 1, 1000, 0, 1000, -1},
        {0, 50, 1, 10000, 0, -1, 9300},
        {0, 50, 1, 9999, 0, -1, 9499},
        {0, 50, 1, 1000, 0, -1, 500},
    };
    for (const auto &c : cases) {
        AbortSearch = 0;
        Extend = c.extend;
        budget(c.remain, c.moves, c.grade, c.byoyomi);
        EXPECT_EQ(c.one_ply >= 0 ? OnePlyTime : -1, c.one_ply) << c.remain << " " << c.moves << " " << c.grade;
        EXPECT_EQ(c.stop >= 0 ? stop_time() : -1, c.stop) << c.remain << " " << c.byoyomi << " " << c.extend;
    }
}

// Analysis and pondering ignore the clock but not a "stop"; "ponderhit" restarts the clock.
TEST_F(Clock, AnalysisIgnoresTheClockAndPonderhitRestartsIt)
{
    budget(0, 50, 1, 2000);
    AnalyzeMode = 1;
    fake_now += 60000;  // a long ponder
    EXPECT_FALSE(clock_test());
    AbortSearch = 1;  // "stop" from the input thread
    EXPECT_TRUE(clock_test());
    AbortSearch = 0;
    AnalyzeMode = 0;
    ResetClock();
    EXPECT_EQ(stop_time(), 1500);
}

// The stops of one move on numbers: Fischer, sudden death, byoyomi, and the margin option.
TEST(TimeBudget, Stops)
{
    struct Case {
        TimeControl clock;  // remain, increment, byoyomi, moves played, grade, margin
        int stop, extended, hard;
    };
    const Case cases[] = {
        {{0, 5000, 0, 30, 0, -1}, 4300, 4300, 4300},        // 0 + 5 s: the increment less 700 ms
        {{30000, 3000, 0, 30, 0, -1}, 3352, 6704, 32300},    // the increment and 1/85 of the main time
        {{60000, 0, 0, 0, 0, -1}, 577, 1154, 59300},         // sudden death: 1/100 of what the reserve leaves
        {{600, 0, 0, 150, 2, -1}, 5, 5, 300},                // 0.6 s left, all of it reserve: 5 ms a move
        {{0, 500, 0, 60, 1, -1}, 250, 250, 250},             // 0 + 0.5 s: never no search at all
        {{0, 2000, 0, 60, 1, 100}, 1900, 1900, 1900},        // margin option 100
        {{0, 0, 1000, 40, 1, 100}, NO_LIMIT, NO_LIMIT, 900}, // byoyomi 1000 used to 900 ms
        {{0, 0, 1000, 40, 1, -1}, NO_LIMIT, NO_LIMIT, 500},
        {{0, 0, 300, 40, 1, -1}, NO_LIMIT, NO_LIMIT, 150},   // a short byoyomi keeps half
        {{0, 0, 10000, 40, 1, -1}, NO_LIMIT, NO_LIMIT, 9300},
        {{5000, 0, 1000, 100, 1, -1}, 300, 2300, 500},       // main time, then byoyomi
        {{0, 0, 0, 40, 1, -1}, NO_LIMIT, NO_LIMIT, NO_LIMIT},
    };
    for (const Case &c : cases) {
        const TimeBudget b = plan_time(c.clock);
        EXPECT_EQ(b.stop, c.stop) << c.clock.remain << "+" << c.clock.increment << " " << c.clock.byoyomi;
        EXPECT_EQ(b.extended_stop, c.extended) << c.clock.remain << "+" << c.clock.increment;
        EXPECT_EQ(b.hard_stop, c.hard) << c.clock.remain << "+" << c.clock.increment;
    }
}

// Without a byoyomi no plan ever reaches past the time left less the margin, whatever the
// clock, the move number and the phase.
TEST(TimeBudget, NeverPastTheTimeLeft)
{
    for (int remain : {0, 1, 99, 700, 1500, 10000, 60000, 600000, 3600000})
        for (int inc : {0, 1, 100, 700, 2000, 10000})
            for (int moves = 0; moves < 500; moves += 7)
                for (int grade = 0; grade < 3; grade++)
                    for (int margin : {-1, 0, 100, 1000}) {
                        const TimeBudget b = plan_time({remain, inc, 0, moves, grade, margin});
                        if (remain + inc == 0)
                            continue;
                        const int left = remain + inc;
                        const int kept = margin >= 0 ? margin : std::min(700, left / 2);
                        ASSERT_LE(b.stop, b.extended_stop);
                        ASSERT_LE(b.extended_stop, b.hard_stop);
                        ASSERT_EQ(b.hard_stop, std::max(0, left - kept)) << remain << "+" << inc;
                        ASSERT_GE(b.stop, std::min(inc, b.hard_stop)) << remain << "+" << inc;
                    }
}

// Sudden death: a game of 300 plies in which every own move takes all its plan may extend
// it to, plus 10 ms the engine cannot see, still has time left at its end.
TEST(TimeBudget, SuddenDeathLastsALongGame)
{
    for (int start : {3000, 5000, 10000, 60000, 600000}) {
        int remain = start;
        for (int ply = 0; ply < 300; ply += 2) {
            const int grade = ply < 60 ? 0 : ply < 120 ? 1 : 2;
            const TimeBudget b = plan_time({remain, 0, 0, ply, grade, -1});
            remain -= b.extended_stop + 10;
            ASSERT_GT(remain, 0) << start << " ms, ply " << ply;
        }
    }
}

// What each "go" asks of the search: clock, limits, and the engine's own side's values.
TEST(GoCommand, Limits)
{
    struct Case {
        const char *line;
        bool reverse;
        int previous;  // byoyomi of the last "go"
        SearchLimits want;  // analyze, remain, increment, countdown, nodes, depth
    };
    const Case cases[] = {
        {"go btime 0 wtime 0 binc 5000 winc 4000", false, 0, {0, 0, 5000, 0, 0, 32}},
        {"go btime 0 wtime 0 binc 5000 winc 4000", true, 0, {0, 0, 4000, 0, 0, 32}},
        {"go wtime 60000 btime 30000", true, 0, {0, 60000, 0, 0, 0, 32}},
        {"go btime 0 wtime 0 byoyomi 1000", false, 0, {0, 0, 0, 1000, 0, 32}},
        {"go", false, 0, {0, 0, 0, 10000, 0, 32}},
        {"go ponder btime 5000 wtime 5000", false, 700, {1, 5000, 0, 700, 0, 32}},
        {"go infinite", false, 0, {1, 0, 0, 10000, 0, 32}},
        {"go nodes 12345", false, 1000, {1, 0, 0, 0, 12345, 32}},
        {"go depth 5", false, 0, {1, 0, 0, 0, 0, 5}},
        {"go depth 99", false, 0, {1, 0, 0, 0, 0, 32}},
        {"go nodes 5000 byoyomi 2000", false, 0, {0, 0, 0, 2000, 5000, 32}},
        {"go movetime 800 btime 9000", false, 0, {0, 0, 0, 800, 0, 32}},
        {"go nodes x byoyomi -5 wtime", false, 0, {0, 0, 0, 10000, 0, 32}},  // bad numbers: ignored
        {"go searchmoves 7g7f 2g2f byoyomi 300", false, 0, {0, 0, 0, 300, 0, 32}},
    };
    const auto fields = [](const SearchLimits &l) {
        return std::make_tuple(l.analyze, l.remain, l.increment, l.countdown, l.nodes, l.depth);
    };
    for (const Case &c : cases) {
        const SearchLimits got = search_limits(parse_go(c.line), c.reverse, c.previous, 32);
        EXPECT_EQ(fields(got), fields(c.want)) << c.line;
    }
    EXPECT_TRUE(parse_go("go mate 1000").mate);
    EXPECT_EQ(parse_go("go mate 1000").mate_time, 1000);
    EXPECT_EQ(parse_go("go mate infinite").mate_time, -1);
}

}  // namespace
