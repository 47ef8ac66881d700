#include "tools/fixed_depth.h"

#include "eval/evalute.h"
#include "hash/hash.h"
#include "search/quiescence.h"
#include "search/params.h"
#include "search/root_search.h"
#include "search/search.h"

FixedDepthResult search_fixed_depth(int depth, bool clear_table)
{
    if (clear_table)
        HashClear();
    SearchWorker &w = main_worker();
    w.set_root();
    w.clear_search_tables();
    for (int i = 0; i < 44; i++)
        profile[i] = 0;
    EvaluteHashClear();
    SearchAge++;
    w.Iterate = depth;
    w.MaxPly = w.MaxQuiPly = 0;
    AbortSearch = 0;
    AnalyzeMode = 1;  // no clock
    Extend = 0;
    w.trunk[0].eval = 0;
    init_search_params();
    w.static_eval[0] = NO_EVAL;
    FixedDepthResult r{};
    r.value = w.SearchPv(1, -MATE, MATE, 0, 2 * depth, r.pv);
    r.nodes = static_cast<long long>(profile[0]) + profile[3];
    r.quiescence_nodes = profile[3];
    AnalyzeMode = 0;
    return r;
}
