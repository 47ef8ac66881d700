#include "search/quiescence.h"

#include <cstddef>
#include <cstring>

#include "board/attack.h"
#include "board/new_board.h"
#include "eval/evalute.h"
#include "hash/hash.h"
#include "log/log.h"
#include "movegen/drop_fu_mate.h"
#include "movegen/make_check_nocap.h"
#include "movegen/make_evasion.h"
#include "movegen/make_legal.h"
#include "movegen/move_to.h"
#include "search/mate_one.h"
#include "search/ordering.h"
#include "search/params.h"
#include "search/pv.h"
#include "search/search.h"
#include "search/see.h"
#include "search/worker.h"

namespace {

constexpr int MAX_QUI_DEPTH = 11;
constexpr int QUIET_EVASIONS = 2;

// Makes move on child (the do-move itself: attacks and keys, no pins) and carries the
// evaluation forward by the material it changes.
void make_capture_move(int side, int move, Position *child)
{
    NewBoard(side, move, child);
    int gain = piece_value[move_cap(move)];
    if (move_is_promote(move))
        gain += promote_value[move_piece(move)];
    child->eval += side ? gain : -gain;
}

// The child of a quiescence node needs the board, hands, attack tables, king squares,
// last move, carried evaluation and keys; pins are recomputed before use.
static_assert(offsetof(Position, hand) == offsetof(Position, board) + sizeof(Position::board));
static_assert(offsetof(Position, attack) < offsetof(Position, king) && offsetof(Position, king) < offsetof(Position, last_move) &&
              offsetof(Position, last_move) < offsetof(Position, eval) && offsetof(Position, eval) < offsetof(Position, board_key) &&
              offsetof(Position, key) + sizeof(Position::key) == sizeof(Position));
void copy_for_quiescence(Position *child, const Position *node)
{
    std::memcpy(child->board, node->board, sizeof node->board + sizeof node->hand);
    std::memcpy(child->attack, node->attack, sizeof(Position) - offsetof(Position, attack));
}

// Most valuable victim first, moves that take nothing last, each group in the order it had
// (a stable insertion sort): the captures of a node, and the answers to a check, whose quiet
// ones stay as generated (king moves, then moves between, then drops).
int victim_key(int move) { return move_cap(move) ? 1 + mvv_lva[move_cap(move)][move_piece(move)] : 0; }

void sort_by_victim(int *list, int n)
{
    for (int i = 1; i < n; i++) {
        const int m = list[i], key = victim_key(m);
        int j = i;
        for (; j > 0 && victim_key(list[j - 1]) < key; j--)
            list[j] = list[j - 1];
        list[j] = m;
    }
}

}  // namespace

int SearchWorker::Quiescence(int side, int alpha, int beta, int ply, int qply)
{
    // The clock too, every 256 nodes: with full hands one quiescence search from a single
    // leaf can take tens of thousands of nodes, far past a short byoyomi on a busy machine.
    if (AbortSearch || node_limit_reached(nodes) || ((nodes & 255) == 0 && clock_test()))
        return 0;
    profile[3]++;
    if (qply > MaxQuiPly)
        MaxQuiPly = qply;
    if (ply > sel_depth)
        sel_depth = ply;
    Position *node = &trunk[ply];
    // The table: its first ply also searches quiet checks, so only an entry of that depth or
    // deeper answers for it.
    const int table_depth = qply == 0 ? 1 : 0;
    HashEntry *e = use_hash_table ? HashProbe(side, node) : nullptr;
    if (e && e->depth >= table_depth) {
        const int v = from_table(e->value, ply);
        const int bound = e->flags & HASH_EXACT;
        if (bound == HASH_EXACT || (bound == HASH_LOWER && v >= beta) || (bound == HASH_UPPER && v <= alpha)) {
            profile[33]++;
            return v;
        }
    }
    const int alpha_in = alpha;
    int best_move = 0;
    int list[QUI_LIST_SIZE];
    int n = 0;
    const int checkers = node->king[side] ? node->attack[side ^ 1][node->king[side]] : 0;
    if (checkers) {
        n = MakeEvasion(side, node, checkers, list);
        if (n == 0)
            return ply - 30000;
        sort_by_victim(list, n);
    }
    if (qply == 0) {
        node->eval = evaluate(side, ply);
        // Captures and checks change what the network sees (hands, the kings' shelters):
        // its part is evaluated at every node, the tables' carried by material.
        if (NetActive)
            net_part[ply] = network_part(side, ply);
    }
    int best = side ? node->eval : -node->eval;  // stand pat
    if (qply > MAX_QUI_DEPTH || ply > MAX_SEARCH_PLY)
        return best;

    if (checkers) {
        best = -30000;
    } else {
        if (best >= beta)
            return best;
        // A mate at once is worth more than any capture; known mates come from the table.
        if (params.qs_mate_one && !e) {
            if (const int m = mate_in_one(side, node)) {
                profile[122]++;
                const int v = MATE - 1 - ply;
                table_store(side, node, ply, HASH_EXACT, table_depth, v, m & MOVE_MASK);
                return v;
            }
        }
        if (best > alpha)
            alpha = best;
        MakePin(side, node);
        if (qply < 1 && params.qs_checks)
            n = MakeChecksNoncap(side, node, list);
        const int first_capture = n;
        const int enemy = colour(side ^ 1);
        for (int sq : position_tbl)
            if ((node->board[sq] & enemy) && node->attack[side][sq])
                n += MoveTo(side, node, sq, list + n, 1);
        sort_by_victim(list + first_capture, n - first_capture);  // the checks keep their order
    }
    if (n > MAX_QUI_MOVE - 1) {
        lprintf("OUT OF MAX_QUI_MOVE !!!!!!!!!!!!!!!!! %d\n", n);
        n = MAX_QUI_MOVE - 1;
    }
    if (n < 1 || AbortSearch)
        return best;

    const int recapture_square = move_to(node->last_move);
    int quiet_evasions = 0, searched = 0;
    Position *child = &trunk[ply + 1];
    for (int i = 0; i < n; i++) {
        const int m = list[i];
        if (m == 0)
            continue;
        if (checkers && !move_cap(m)) {
            // Once an answer to the check is known not to lose at once, two quiet ones are
            // enough: with a full hand every square between is a drop of each kind.
            if (best > -MATE_BOUND && quiet_evasions >= QUIET_EVASIONS) {
                profile[32]++;
                continue;
            }
            quiet_evasions++;
        }
        if (!checkers) {
            // Deep in the tree only what can change the material much is looked at.
            if (qply > params.qs_recapture_ply - 2 && move_cap(m) == FU && move_piece(m) != FU && !move_is_promote(m))
                continue;
            if (qply > params.qs_recapture_ply && move_to(m) != recapture_square)
                continue;
            // A pawn taken by a piece away from the last move's square seldom changes the
            // outcome of the exchanges still running.
            if (params.qs_pawn_ply && qply >= params.qs_pawn_ply && move_cap(m) == FU && move_piece(m) != FU &&
                !move_is_promote(m) && move_to(m) != recapture_square) {
                profile[125]++;
                continue;
            }
        }
        if (use_hash_table)
            HashPrefetch(key_after(side, node, m));  // loads while the child is made and tested
        copy_for_quiescence(child, node);
        child->last_move = m;
        make_capture_move(side, m, child);
        if (NetActive)
            carry_network(side, ply, m);
        // A pawn dropped to mate is illegal, not a win.
        if (illegal_pawn_drop(side, m, child))
            continue;
        // An answer to a check that just loses the piece it moves or drops, once another
        // answer has shown that the check is no mate: interpositions with full hands.
        if (checkers && params.qs_evasion_see && best > -MATE_BOUND && move_piece(m) != OU &&
            child->attack[side ^ 1][move_to(m)] && See(move_to(m), child) < 0) {
            profile[120]++;
            continue;
        }
        const bool check = gives_check(side, child);
        // A quiet check whose piece is simply lost: with full hands these are most of the
        // checks, and each one opens a whole tree of evasions.
        if (!checkers && check && !move_cap(m) && child->attack[side ^ 1][move_to(m)] &&
            See(move_to(m), child) < 0) {
            profile[42]++;
            continue;
        }
        // A capture that checks is exempt from futility, but deep in the tree one that leaves
        // the material far below alpha seldom wins it back, and each opens a tree of evasions.
        if (!checkers && check && move_cap(m) && params.qs_check_ply && qply >= params.qs_check_ply &&
            alpha >= (side ? child->eval : -child->eval) + params.qs_check_margin) {
            profile[126]++;
            continue;
        }
        if (!checkers && !check) {
            profile[39]++;
            const int after = side ? child->eval : -child->eval;
            if (alpha >= after + (move_piece(m) == OU ? params.king_futility_margin : params.qs_futility_margin)) {
                profile[40]++;
                continue;
            }
            const int to = move_to(m);
            // The first moves in victim order hold the material's story; later ones that
            // do not recapture rarely change it.
            if (params.qs_move_limit && searched >= params.qs_move_limit && to != recapture_square) {
                profile[121]++;
                continue;
            }
            if (move_cap(m) && (params.qs_see_all || piece_value[move_cap(m)] < piece_value[move_piece(m)]) &&
                child->attack[side ^ 1][to] && See(to, child) < 0) {
                profile[41]++;
                continue;
            }
        }
        searched++;
        const int v = -Quiescence(side ^ 1, -beta, -alpha, ply + 1, qply + 1);
        if (AbortSearch)
            return v > best ? v : best;
        if (v > best) {
            if (v > alpha) {
                if (v >= beta) {
                    table_store(side, node, ply, HASH_LOWER, table_depth, v, m & MOVE_MASK);
                    return v;
                }
                alpha = v;
                best_move = m & MOVE_MASK;
            }
            best = v;
        }
    }
    table_store(side, node, ply, best > alpha_in ? HASH_EXACT : HASH_UPPER, table_depth, best, best_move);
    return best;
}
