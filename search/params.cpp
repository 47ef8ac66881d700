#include "search/params.h"

#include <algorithm>
#include <cmath>

SearchParams params;

namespace {

constexpr int LMR_DEPTHS = 64, LMR_MOVES = 256;
int reductions[LMR_DEPTHS][LMR_MOVES];  // half plies, by depth in plies and move number

}  // namespace

void init_search_params()
{
    for (int d = 1; d < LMR_DEPTHS; d++)
        for (int m = 1; m < LMR_MOVES; m++) {
            const double plies = params.lmr_base / 100.0 +
                                 std::log(d) * std::log(m) * 100.0 / std::max(1, params.lmr_divisor);
            reductions[d][m] = static_cast<int>(2 * plies + 0.5);
        }
}

int lmr_reduction(int depth, int move_count)
{
    return reductions[std::clamp(depth / 2, 1, LMR_DEPTHS - 1)][std::clamp(move_count, 1, LMR_MOVES - 1)];
}

namespace {

const ParamInfo table[] = {
    {"razor_margin", &params.razor_margin, 0, 2000},
    {"futility_margin", &params.futility_margin, 0, 2000},
    {"king_futility_margin", &params.king_futility_margin, 0, 3000},
    {"qs_futility_margin", &params.qs_futility_margin, 0, 2000},
    {"aspiration", &params.aspiration, 10, 1000},
    {"widen", &params.widen, 10, 3000},
    {"lmr_base", &params.lmr_base, -200, 300},
    {"lmr_divisor", &params.lmr_divisor, 50, 1000},
    {"lmp_base", &params.lmp_base, 0, 50},
    {"lmp_scale", &params.lmp_scale, 10, 2000},
    {"lmp_depth", &params.lmp_depth, 0, 20},
    {"qs_checks", &params.qs_checks, 0, 1},
    {"qs_recapture_ply", &params.qs_recapture_ply, 1, 12},
    {"qs_evasion_see", &params.qs_evasion_see, 0, 1},
    {"qs_move_limit", &params.qs_move_limit, 0, 50},
    {"qs_see_all", &params.qs_see_all, 0, 1},
    {"qs_pawn_ply", &params.qs_pawn_ply, 0, 12},
    {"qs_check_ply", &params.qs_check_ply, 0, 12},
    {"qs_check_margin", &params.qs_check_margin, 0, 2000},
    {"qs_mate_one", &params.qs_mate_one, 0, 1},
    {"mate_one", &params.mate_one, 0, 1},
    {"mate_three", &params.mate_three, 0, 1},
    {"null_growth", &params.null_growth, 0, 1},
    {"rfp_depth", &params.rfp_depth, 0, 8},
    {"rfp_margin", &params.rfp_margin, 0, 1000},
    {"singular", &params.singular, 0, 1},
    {"singular_depth", &params.singular_depth, 4, 40},
    {"singular_margin", &params.singular_margin, 0, 64},
    {"history_gravity", &params.history_gravity, 0, 1},
};

}  // namespace

const ParamInfo *param_table() { return table; }
int param_count() { return static_cast<int>(sizeof table / sizeof *table); }
