#include "search/worker.h"

void SearchWorker::clear_search_tables()
{
    for (int i = 0; i < HISTORY_SIZE; i++)
        HistoryCut[i] = HistoryTride[i] = 0;
    for (int i = 0; i < KILLER_SIZE; i++)
        KillerMove1[i] = KillerMove2[i] = KillerMate[i] = 0;
    for (int i = 44; i < PROFILE_SIZE; i++)
        profile[i] = 0;
}

void SearchWorker::set_root() { trunk[0] = Trunk[0]; }

SearchWorker &main_worker()
{
    static SearchWorker worker;
    return worker;
}
