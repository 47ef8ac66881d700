#include "search/search.h"

#include "platform/platform.h"

std::atomic<int> AbortSearch;
std::atomic<int> AnalyzeMode;
int RemainTime;
int Countdown;
std::atomic<int> Elapsed;

namespace {
std::atomic<int> start_time;
}

void ResetClock()
{
    start_time = tick_count();
    Elapsed = 0;
}
