#include "search/params.h"

SearchParams params;

namespace {

const ParamInfo table[] = {
    {"razor_margin", &params.razor_margin, 0, 2000},
    {"futility_margin", &params.futility_margin, 0, 2000},
    {"king_futility_margin", &params.king_futility_margin, 0, 3000},
    {"qs_futility_margin", &params.qs_futility_margin, 0, 2000},
    {"aspiration", &params.aspiration, 10, 1000},
    {"widen", &params.widen, 10, 3000},
};

}  // namespace

const ParamInfo *param_table() { return table; }
int param_count() { return static_cast<int>(sizeof table / sizeof *table); }
