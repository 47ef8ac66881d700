#include "search/search.h"

#include "frontend/log.h"
#include "frontend/usi.h"
#include "platform/platform.h"
#include "search/get_grade.h"

std::atomic<int> AbortSearch;
std::atomic<int> AnalyzeMode;
int RemainTime;
int Countdown;
std::atomic<int> Elapsed;
int OnePlyTime;
int Extend;
int (*search_clock)() = tick_count;

namespace {
std::atomic<int> start_time;  // written by "ponderhit" on the input thread
int extension_time;           // extra time while Extend is set
int remain_ply;               // own moves the remaining time is spread over

// The engine keeps this much below its budget and below a byoyomi.
constexpr int SAFETY_MARGIN = 700;
constexpr int SHORT_BYOYOMI_MARGIN = 500;
}  // namespace

// ---- time management ----------------------------------------------------------------

void CalcTime()
{
    start_time = search_clock();
    Elapsed = 0;
    const int m = 200 - nMoves;
    int factor = 0;
    switch (Grade) {
    case 0:
        remain_ply = m > 161 ? m >> 1 : 80;
        factor = 1;
        break;
    case 1:
        remain_ply = m > 81 ? m >> 1 : 40;
        factor = 2;
        break;
    case 2:
        remain_ply = m > 41 ? m >> 1 : 20;
        factor = 3;
        break;
    }
    if (factor) {
        const int share = RemainTime / remain_ply;
        OnePlyTime = share > 1000 ? share : 1000;
        extension_time = factor * OnePlyTime;
    }
    lprintf("AnalyzeMode=%d RemainPly=%d RemainTime=%d Countdown=%d OnePlyTime=%d extension_time=%d\n",
            AnalyzeMode.load(), remain_ply, RemainTime, Countdown, OnePlyTime, extension_time);
}

void ResetClock()
{
    start_time = search_clock();
    Elapsed = 0;
}

bool clock_test()
{
    const int elapsed = search_clock() - start_time;
    Elapsed = elapsed;
    if (!AnalyzeMode) {
        if (RemainTime && elapsed + SAFETY_MARGIN >= OnePlyTime + (Extend ? extension_time : 0))
            AbortSearch = 1;
        const int margin = Countdown > 9999 ? SAFETY_MARGIN : SHORT_BYOYOMI_MARGIN;
        if (Countdown && Countdown <= elapsed + margin) {
            AbortSearch = 1;
            return true;
        }
    }
    return AbortSearch != 0;
}
