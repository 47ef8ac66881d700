#include "tools/learn/positions.h"

#include "board/new_board.h"
#include "board/notation.h"
#include "eval/get_grade.h"
#include "frontend/usi_sub.h"
#include "movegen/make_legal.h"
#include "search/quiescence.h"
#include "search/search.h"
#include "tools/perft_core.h"

namespace {

bool set_up(const TrainingRecord &r)
{
    const std::string text = "sfen " + record_sfen(r);
    nMoves = read_position(text.c_str());
    Grade = r.grade <= GRADE_ENDGAME ? r.grade : GRADE_MIDDLE;
    return nMoves >= 0 && !Reverse;
}

}  // namespace

int material(const Position &p)
{
    int m = 0;
    for (int sq : position_tbl) {
        const int w = p.board[sq], t = w & 15;
        if (w && t != OU)
            m += (w & 16) ? PieceValue[t] : -PieceValue[t];
    }
    for (int t = FU; t <= HI; t++)
        m += PieceValue[t] * (p.hand[1][t] - p.hand[0][t]);
    return m;
}

bool position_terms(const TrainingRecord &r, PositionTerms *out)
{
    if (!set_up(r))
        return false;
    out->value = EvaluteFeatures(&Trunk[0], &out->features);
    AbortSearch = 0;
    SearchWorker &w = main_worker();
    w.set_root();
    w.trunk[0].eval = 0;
    const int q = w.Quiescence(1, -MATE, MATE, 0, 0);
    if (q > MATE - 1000 || q < -MATE + 1000)
        return false;
    // The quiescence search evaluated the root once (through the cache, which may hold the
    // same position) and added material from there.
    const int swing = q - Evalute(&Trunk[0]);
    out->base = material(Trunk[0]) + swing;
    return true;
}

double move_agreement(const std::vector<TrainingRecord> &records)
{
    EvaluteHashClear();
    long agree = 0, total = 0;
    for (const TrainingRecord &r : records) {
        if (!set_up(r))
            continue;
        int list[MOVE_LIST_SIZE];
        const int n = legal_moves(0, 1, list);
        int best = -MATE - 1, best_move = 0;
        SearchWorker &w = main_worker();
        for (int i = 0; i < n; i++) {
            w.trunk[1] = Trunk[0];
            w.trunk[1].last_move = list[i];
            NewBoard(1, list[i], &w.trunk[1]);
            AbortSearch = 0;
            const int v = -w.Quiescence(0, -MATE, MATE, 1, 0);
            if (v > best)
                best = v, best_move = list[i];
        }
        total++;
        agree += best_move && move2smove(best_move) == r.move;
    }
    return total ? static_cast<double>(agree) / static_cast<double>(total) : 0;
}
