#include "search/qvn.h"

std::uint64_t HashRecord[GAME_RECORD_SIZE];
std::uint64_t BoardRecord[GAME_RECORD_SIZE];
int HandRecord[GAME_RECORD_SIZE];
int CheckRecord[GAME_RECORD_SIZE];

// Until the search exists the engine resigns every position.
int Think(int *best, int)
{
    best[0] = 0;
    best[1] = -1;
    return THINK_RESIGN;
}
