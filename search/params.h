// The search's margins and reduction constants, in one table. A tuning build (CMake
// option QVN_TUNE) lists them as USI spin options, so that a tuner can set them by name.
#pragma once

// QVN_TUNE (0 or 1) comes from the build.
constexpr bool tuning_build = QVN_TUNE != 0;

struct SearchParams {
    // Scores are on the evaluation's scale (a pawn is 128); depths in half plies.
    int razor_margin = 512;          // razoring: eval + margin + 32 x depth below beta
    int futility_margin = 640;       // futility: the most a quiet move or a drop gains
    int king_futility_margin = 896;  // ... a king move
    int qs_futility_margin = 640;    // the quiescence search's futility reserve
    int aspiration = 192;            // first aspiration window around the last score
    int widen = 550;                 // its first widening after a fail
    // Late-move reductions: base + ln(depth) x ln(move number) / divisor plies (both x100).
    int lmr_base = 50;
    int lmr_divisor = 225;
    // Late-move pruning: at most (base + scale x depth² / 100) moves at a shallow node
    // (depth in plies), half as many when the static evaluation is not improving.
    int lmp_base = 6;
    int lmp_scale = 200;
    int lmp_depth = 8;               // plies
    // The quiescence search: quiet checks at its first ply (0 or 1); past qs_recapture_ply
    // only recaptures; answers to a check that lose the piece by exchange dropped once one
    // answer shows the check is no mate (0 or 1).
    int qs_checks = 1;
    int qs_recapture_ply = 7;
    int qs_evasion_see = 1;
    // Past this many moves searched (0: no limit), moves that neither check nor recapture
    // are skipped; every capture that loses by exchange is skipped (1), or only those of a
    // piece worth less than the capturer (0).
    int qs_move_limit = 0;
    int qs_see_all = 0;
    // From this quiescence ply on (0: never), a pawn taken by a piece without promoting is
    // skipped unless it recaptures; from qs_check_ply on (0: never), a capture that checks is
    // skipped when it leaves the material qs_check_margin or more below alpha.
    int qs_pawn_ply = 0;
    int qs_check_ply = 0;
    int qs_check_margin = 512;
    // The mate-in-one test: at quiescence nodes not in check without a table entry, and at
    // main-search nodes (not the root) not in check without one (0 or 1 each).
    int qs_mate_one = 1;
    int mate_one = 1;
    // The three-ply mate test of contact checks at the same main-search nodes (0 or 1).
    int mate_three = 0;
    // The null move's reduction: 4 half plies, 8 from 6 plies on (0), or growing with the
    // depth and the evaluation's lead over beta (1).
    int null_growth = 0;
    // Reverse futility: a non-PV node of at most rfp_depth plies (0: never) whose static
    // evaluation stands rfp_margin per ply above beta returns it, unless the opponent
    // would mate at once.
    int rfp_depth = 0;
    int rfp_margin = 160;
    // Singular extensions (0 or 1): from singular_depth half plies on, a table move whose
    // bound no other move reaches within singular_margin per ply is searched one ply deeper.
    int singular = 0;
    int singular_depth = 16;
    int singular_margin = 4;
    // Quiet moves ordered and reduced by gravity histories of the move itself and of the
    // moves one and two plies earlier, in place of the cut and tried counts (0 or 1).
    int history_gravity = 0;
};
// Recomputes the tables derived from the constants (the reductions).
void init_search_params();
// Late-move reduction in half plies at depth (half plies) for the move_count-th move.
int lmr_reduction(int depth, int move_count);
extern SearchParams params;

// One tunable constant: its USI name, where it lives and its range.
struct ParamInfo {
    const char *name;
    int *value;
    int min, max;
};
// The table of every tunable constant, and its length.
const ParamInfo *param_table();
int param_count();
