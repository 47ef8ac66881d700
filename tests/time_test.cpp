// The move budget and the node clock test, on an injected clock.
#include <gtest/gtest.h>

#include "frontend/usi.h"
#include "search/get_grade.h"
#include "search/search.h"

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

TEST_F(Clock, OpeningBudgetAndExtension)
{
    budget(600000, 20, 0);
    EXPECT_EQ(OnePlyTime, 6666);
    EXPECT_EQ(stop_time(), 5966);
    AbortSearch = 0;
    Extend = 1;
    budget(600000, 20, 0);
    EXPECT_EQ(stop_time(), 12632);
}

TEST_F(Clock, EndgameAndMiddleGameBudgets)
{
    budget(600000, 20, 2);
    EXPECT_EQ(OnePlyTime, 6666);
    Extend = 1;
    EXPECT_EQ(stop_time(), 6666 + 19998 - 700);
    AbortSearch = 0;
    Extend = 0;
    budget(600000, 160, 2);
    EXPECT_EQ(OnePlyTime, 30000);
    budget(5000, 100, 1);
    EXPECT_EQ(OnePlyTime, 1000);  // never below one second
}

TEST_F(Clock, ByoyomiMargins)
{
    budget(0, 50, 1, 10000);
    EXPECT_EQ(stop_time(), 9300);
    AbortSearch = 0;
    budget(0, 50, 1, 9999);
    EXPECT_EQ(stop_time(), 9499);
    AbortSearch = 0;
    budget(0, 50, 1, 1000);
    EXPECT_EQ(stop_time(), 500);
}

TEST_F(Clock, AnalysisIgnoresTheClockButNotAStop)
{
    budget(0, 50, 1, 1000);
    AnalyzeMode = 1;
    fake_now += 50000;
    EXPECT_FALSE(clock_test());
    AbortSearch = 1;  // "stop" from the input thread
    EXPECT_TRUE(clock_test());
}

TEST_F(Clock, PonderhitRestartsTheClock)
{
    budget(0, 50, 1, 2000);
    AnalyzeMode = 1;
    fake_now += 60000;  // a long ponder
    EXPECT_FALSE(clock_test());
    AnalyzeMode = 0;
    ResetClock();
    EXPECT_EQ(stop_time(), 1500);
}

}  // namespace
