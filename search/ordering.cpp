#include "search/ordering.h"

#include "board/attack.h"
#include "eval/evalute.h"
#include "log/log.h"
#include "movegen/make_evasion.h"
#include "movegen/make_legal.h"
#include "search/params.h"
#include "search/pv.h"
#include "search/see.h"
#include "search/worker.h"

namespace {

constexpr int ZERO_SCORE = -1000000;
constexpr int HASH_SCORE = 20001, MATE_KILLER_SCORE = 20000, KILLER1_SCORE = 8194, KILLER2_SCORE = 8193;
constexpr int CAPTURE_SCORE = 10000;

// Below 8192 as long as a move has cut no more often than it was tried, so killers
// rank above every quiet move.
int history_score(const SearchWorker &w, int move)
{
    const int i = history_index(move);
    return static_cast<int>(((w.HistoryCut[i] + 1) << 13) / (w.HistoryTride[i] + 2));
}

// With history_gravity: the summed histories mapped onto 0..6144, the same band below
// the killers as history_score's.
int quiet_score(const SearchWorker &w, int side, const int *rows, int move)
{
    if (!params.history_gravity)
        return history_score(w, move);
    return (w.gravity_score(side, rows, move) + 3 * GRAVITY_MAX) / 16;
}

bool is_tactical(int move) { return (move & 0x1F00000) != 0; }

// Balance of the exchange on the destination after the move, when the opponent attacks
// it there. The board is only prepared as far as the exchange needs (the mover leaves
// its origin and stands, promoted if so, on the destination), in place, and put back
// afterwards: clearing and setting the same piece's attacks over the same board restores
// them exactly, and saves copying the whole record for every move.
int move_exchange(int side, int move, Position *node)
{
    const int to = move_to(move), from = move_from(move);
    if (!node->attack[side ^ 1][to])
        return 0;
    const int target = node->board[to];
    if (from) {
        AttackClr(side, from, node);
        node->board[from] = 0;
    }
    node->board[to] = colour(side) | move_piece(move) | (move_is_promote(move) ? PROMOTE : 0);
    const int balance = See(to, node);
    node->board[to] = target;
    if (from) {
        node->board[from] = colour(side) | move_piece(move);
        AttackSet(side, from, node);
    }
    return balance;
}

// By descending score, equal scores in generation order. An insertion sort gives the
// same order as the stable bubble sort, with far fewer steps on long lists.
void sort_moves(int *list, int *score, int n)
{
    for (int i = 1; i < n; i++) {
        const int s = score[i], m = list[i];
        int j = i;
        for (; j > 0 && score[j - 1] < s; j--) {
            score[j] = score[j - 1];
            list[j] = list[j - 1];
        }
        score[j] = s;
        list[j] = m;
    }
}

int order_evasions(SearchWorker &w, int side, int ply, int *list, int n, int *score)
{
    Position *node = &w.trunk[ply];
    int rows[2];
    w.continuation_rows(side, ply, rows);
    for (int i = 0; i < n; i++) {
        const int m = list[i];
        if (m == 0) {
            score[i] = ZERO_SCORE;
            continue;
        }
        if (m == node->hash_move) {
            score[i] = HASH_SCORE;
            profile[112]++;
            continue;
        }
        const int b = move_exchange(side, m, node);
        if (b < 0)
            score[i] = b;
        else if (is_tactical(m))
            score[i] = CAPTURE_SCORE + (move_is_promote(m) ? promote_value[move_piece(m)] : 0) +
                       (move_cap(m) ? mvv_lva[move_cap(m)][move_piece(m)] : 0);
        else
            score[i] = quiet_score(w, side, rows, m);
    }
    return n;
}

int order_moves(SearchWorker &w, int side, int ply, int *list, int n, int *score)
{
    Position *node = &w.trunk[ply];
    const int last = node->last_move;
    int rows[2];
    w.continuation_rows(side, ply, rows);
    for (int i = 0; i < n; i++) {
        int &m = list[i];
        if (m == 0) {
            score[i] = ZERO_SCORE;
        } else if (m == node->hash_move) {
            score[i] = HASH_SCORE;
            m |= FLAG_KILLER;
            profile[112]++;
        } else if (m == w.KillerMate[ply]) {
            score[i] = MATE_KILLER_SCORE;
            m |= FLAG_KILLER;
            profile[113]++;
        } else if (m == w.KillerMove1[ply]) {
            score[i] = KILLER1_SCORE;
            m |= FLAG_KILLER;
            profile[114]++;
        } else if (m == w.KillerMove2[ply]) {
            score[i] = KILLER2_SCORE;
            m |= FLAG_KILLER;
            profile[115]++;
        } else if (is_tactical(m)) {
            int b = move_exchange(side, m, node);
            if (move_cap(m)) {
                b += mvv_lva[move_cap(m)][move_piece(m)];
                if (move_cap(last) && move_to(last) == move_to(m))
                    m |= FLAG_FORCED;  // a recapture
            }
            if (move_is_promote(m))
                b += promote_value[move_piece(m)];
            if (b < 0) {
                m |= FLAG_BADCAP;
                score[i] = b - CAPTURE_SCORE;
                profile[117]++;
            } else {
                score[i] = b + CAPTURE_SCORE;
                profile[116]++;
            }
        } else {
            score[i] = quiet_score(w, side, rows, m);
            const bool unseen = params.history_gravity ? w.GravityHistory[side][gravity_key(m)] == 0
                                                       : w.HistoryTride[history_index(m)] == 0;
            profile[unseen ? 119 : 118]++;
        }
    }
    return n;
}

}  // namespace

int GenerateRoot(Position *root, int *list)
{
    int n;
    if (in_check(1, root)) {
        n = MakeEvasion(1, root, root->attack[0][root->king[1]], list);
    } else {
        n = MakeMove(1, root, list);
        n += MakeDrop(1, root, list + n);
    }
    if (n > MAX_MOVE - 1) {
        lprintf("MAX_MOVE!!! %d\n", n);
        n = MAX_MOVE - 1;
    }
    return n;
}

int SearchWorker::GenerateOrder(int side, int ply, int *list)
{
    Position *node = &trunk[ply];
    int score[MOVE_LIST_SIZE];
    int n;
    if (in_check(side, node)) {
        n = MakeEvasion(side, node, node->attack[side ^ 1][node->king[side]], list);
        profile[111] += n;
        if (n == 1) {
            list[0] |= FLAG_FORCED;
            return 1;
        }
        if (n == 2)
            return 2;
        if (n > MAX_MOVE - 1)
            n = MAX_MOVE - 1;
        order_evasions(*this, side, ply, list, n, score);
    } else {
        n = MakeMove(side, node, list);
        n += MakeDrop(side, node, list + n);
        if (n > MAX_MOVE - 1) {
            lprintf("OUT OF MAX_MOVE !!!!!!!!!!!!!!!!! %d\n", n);
            n = MAX_MOVE - 1;
        }
        order_moves(*this, side, ply, list, n, score);
    }
    profile[110] += n;
    sort_moves(list, score, n);
    return n;
}
