#include "search/search.h"

#include <algorithm>
#include <cstdlib>

#include "board/new_board.h"
#include "eval/evalute.h"
#include "eval/get_grade.h"
#include "hash/hash.h"
#include "log/log.h"
#include "movegen/drop_fu_mate.h"
#include "movegen/make_legal.h"
#include "platform/platform.h"
#include "search/mate_one.h"
#include "search/mate_three.h"
#include "search/ordering.h"
#include "search/params.h"
#include "search/pv.h"
#include "search/quiescence.h"
#include "search/root_search.h"
#include "search/see.h"
#include "search/time_budget.h"
#include "search/worker.h"

std::atomic<int> AbortSearch;
std::atomic<int> AnalyzeMode;
int RemainTime;
int Countdown;
int Increment;
std::int64_t NodeLimit;
std::atomic<int> Elapsed;
int OnePlyTime;
std::atomic<int> Extend;
int (*search_clock)() = tick_count;

namespace {
std::atomic<int> start_time;  // written by "ponderhit" on the input thread
TimeBudget budget;            // this move's stops
std::atomic<int> go_tick;     // when the "go" was accepted, for the next CalcTime
std::atomic<bool> go_tick_set;
int go_start;                 // the tick of the "go" of this search
}  // namespace

void ClockStartsAt(int tick)
{
    go_tick = tick;
    go_tick_set = true;
}

// ---- time management ----------------------------------------------------------------

void CalcTime()
{
    start_time = go_tick_set.exchange(false) ? go_tick.load() : search_clock();
    go_start = start_time;
    Elapsed = 0;
    TimeControl clock;
    clock.remain = RemainTime;
    clock.increment = Increment;
    clock.byoyomi = Countdown;
    clock.moves_played = nMoves;
    clock.grade = Grade;
    clock.margin = TimeMargin;
    budget = plan_time(clock);
    OnePlyTime = budget.one_ply_time;
    lprintf("AnalyzeMode=%d RemainPly=%d RemainTime=%d Countdown=%d OnePlyTime=%d extension_time=%d\n",
            AnalyzeMode.load(), budget.remain_ply, RemainTime, Countdown, OnePlyTime, budget.extension);
    lprintf("Increment=%d stop=%d extended=%d hard=%d\n", Increment, budget.stop, budget.extended_stop,
            budget.hard_stop);
}

void ResetClock()
{
    start_time = search_clock();
    Elapsed = 0;
}

int ms_since_go() { return search_clock() - go_start; }

bool clock_test()
{
    const int elapsed = search_clock() - start_time;
    // Every thread passes here at every node: the shared word is written once a millisecond,
    // not at every node, so that the threads do not fight over its cache line.
    if (Elapsed.load(std::memory_order_relaxed) != elapsed)
        Elapsed = elapsed;
    if (!AnalyzeMode) {
        if (elapsed >= (Extend ? budget.extended_stop : budget.stop))
            AbortSearch = 1;
        if (elapsed >= budget.hard_stop) {
            AbortSearch = 1;
            return true;
        }
    }
    return AbortSearch != 0;
}

// ---- the main search ------------------------------------------------------------------

bool use_hash_table = true;

void table_store(int side, const Position *node, int ply, int bound, int depth, int value, int move)
{
    if (use_hash_table)
        HashStore(side, node, static_cast<std::uint8_t>(bound), static_cast<std::uint8_t>(depth),
                  static_cast<std::uint16_t>(to_table(value, ply)), move);
}

namespace {

HashEntry *probe(int side, Position *node)
{
    return use_hash_table ? HashProbe(side, node) : nullptr;
}

// The statistics keep the average move number of beta cuts for the first plies only.
constexpr int BETA_CUT_PLIES = 33;
// Internal iterative reduction from 4 plies (half plies).
constexpr int IIR_DEPTH = 8;
// History sums stay below this, so (cut + 1) << 13 fits the ordering's 32-bit arithmetic.
constexpr unsigned HISTORY_LIMIT = 1u << 18;
// The largest gravity bonus: a deep cut moves an entry a quarter of the way to the bound.
constexpr int GRAVITY_BONUS_CAP = 4096;

int side_eval(SearchWorker &w, int side, int ply)
{
    const int e = w.evaluate(side, ply);
    return side ? e : -e;
}

bool is_quiet(int move) { return (move & 0x1F00000) == 0; }

// Makes move for side from trunk[ply] into trunk[ply + 1].
Position *make_child(SearchWorker &w, int side, int ply, int move)
{
    Position *child = &w.trunk[ply + 1];
    if (use_hash_table)
        HashPrefetch(key_after(side, &w.trunk[ply], move));  // loads while the child is made
    *child = w.trunk[ply];
    child->last_move = move;
    NewBoard(side, move, child);
    if (NetActive && w.acc_key[ply] == w.trunk[ply].key)
        w.make_sums(side, ply, move);
    return child;
}

void shift_killers(SearchWorker &w, int ply, int move)
{
    if (move && is_quiet(move) && move != w.KillerMove1[ply]) {
        w.KillerMove2[ply] = w.KillerMove1[ply];
        w.KillerMove1[ply] = move;
    }
}

// Margin of the futility rules: what the move can gain at most, plus a reserve.
int futility_margin(int move)
{
    if (move_from(move) == 0)
        return params.futility_margin;
    const int c = piece_value[move_cap(move)];
    if (move_piece(move) == OU)
        return c + params.king_futility_margin;
    if (move_is_promote(move))
        return c + promote_value[move_piece(move)] + params.futility_margin;
    return c + params.futility_margin;
}

// Extension in half plies: checks and forced replies near the root, less further out.
int extension(int move, int ply, int full_band, int half_band)
{
    if (ply < full_band)
        return (move & FLAG_CHECK) ? 2 : (move & FLAG_FORCED) ? 1 : 0;
    if (ply < half_band)
        return (move & (FLAG_CHECK | FLAG_FORCED)) ? 1 : 0;
    return 0;
}

// A node not in check without a move from the table: when side mates at once (or in three
// plies by a contact check), the mate's score (stored deeper than the node, for it holds at
// any depth), else 0. A node searched once has a table move, so each position is tested once.
int mate_at_once(SearchWorker &w, int side, int ply, int depth, int *pv)
{
    int m = params.mate_one ? mate_in_one(side, &w.trunk[ply]) : 0, plies = 1;
    if (!m && params.mate_three && ply + 3 <= MAX_SEARCH_PLY) {
        m = mate_in_three(side, &w.trunk[ply]);
        plies = 3;
    }
    if (!m)
        return 0;
    profile[123]++;
    const int v = MATE - plies - ply;
    table_store(side, &w.trunk[ply], ply, HASH_EXACT, std::min(depth + 12, HASH_KEEP_DEPTH - 1), v, m & MOVE_MASK);
    pv[0] = m & MOVE_MASK;
    pv[1] = PV_END;
    return v;
}

// The table's move when the node qualifies for a singular test, else 0: deep enough, not the
// root nor inside another test, a lower bound from a search not much shallower, no mate.
int singular_candidate(const SearchWorker &w, const HashEntry &e, int ply, int depth)
{
    if (!params.singular || ply == 0 || w.verifying || depth < params.singular_depth || e.move == 0)
        return 0;
    const int v = from_table(e.value, ply);
    return (e.flags & HASH_LOWER) && e.depth >= depth - 6 && v >= -MATE_BOUND && v <= MATE_BOUND ? e.move : 0;
}

// What another move must reach for the table's move not to be singular: its value less a
// margin that grows with the depth (in plies).
int singular_beta(int value, int depth) { return value - params.singular_margin * depth / 2; }

// The extension of a move in half plies: a singular move's at least one ply.
int move_extension(int move, int singular_move, int ply, int full_band, int half_band)
{
    const int e = extension(move, ply, full_band, half_band);
    return (move & MOVE_MASK) == singular_move ? std::max(e, 2) : e;
}

// Every node: counted, then the clock; true when the node must return at once.
bool enter_node(SearchWorker &w, int ply)
{
    if (node_limit_reached(w.nodes))
        return true;
    profile[0]++;
    if (clock_test())
        return true;
    if (ply > w.MaxPly)
        w.MaxPly = ply;
    if (ply > w.sel_depth)
        w.sel_depth = ply;
    return false;
}

void halve_history(SearchWorker &w)
{
    for (int i = 0; i < HISTORY_SIZE; i++) {
        w.HistoryCut[i] >>= 1;
        w.HistoryTride[i] >>= 1;
    }
}

// Adds bonus, less the nearer the entry already is to the bound of bonus's sign: entries
// stay within ±GRAVITY_MAX, and recent cuts outweigh old ones.
void gravity(std::int16_t &h, int bonus)
{
    h = static_cast<std::int16_t>(h + bonus - h * std::abs(bonus) / GRAVITY_MAX);
}

// The cutting quiet move gains in each gravity history, the quiet moves tried before it
// lose as much. 32 x plies², so that a shallow cut still moves the entries.
void reward_gravity(SearchWorker &w, int side, int ply, int depth, int best_move, const int *tried, int n_tried)
{
    const int bonus = std::min(8 * depth * depth, GRAVITY_BONUS_CAP);
    int rows[2];
    w.continuation_rows(side, ply, rows);
    auto update = [&](int move, int b) {
        const int k = gravity_key(move);
        gravity(w.GravityHistory[side][k], b);
        gravity(w.Continuation[0][rows[0]][k], b);
        gravity(w.Continuation[1][rows[1]][k], b);
    };
    for (int i = 0; i < n_tried; i++)
        if (tried[i] != best_move)
            update(tried[i], -bonus);
    update(best_move, bonus);
}

// After a fail high: the mate killer, or the killers and the history of the quiet moves.
void reward_cut(SearchWorker &w, int side, int ply, int depth, int best, int best_move, const int *tried,
                int n_tried)
{
    if (best == MATE - 1 - ply) {
        w.KillerMate[ply] = best_move;
        return;
    }
    if (!is_quiet(best_move))
        return;
    if (w.KillerMove1[ply] != best_move) {
        w.KillerMove2[ply] = w.KillerMove1[ply];
        w.KillerMove1[ply] = best_move;
    }
    if (params.history_gravity) {
        reward_gravity(w, side, ply, depth, best_move, tried, n_tried);
        return;
    }
    const unsigned bonus = static_cast<unsigned>(depth * depth);
    bool full = false;
    for (int i = 0; i < n_tried; i++) {
        unsigned &t = w.HistoryTride[history_index(tried[i])];
        t += bonus;
        full = full || t > HISTORY_LIMIT;
    }
    w.HistoryCut[history_index(best_move)] += bonus;
    if (full)
        halve_history(w);  // keeps every ratio, and the sums inside 32 bits
}

// Null-window search of a child at depth nd (quiescence at the horizon).
int search_child_null(SearchWorker &w, int side, int beta, int ply, int nd)
{
    int child_pv[PV_SIZE];
    if (nd <= 1)
        return -w.Quiescence(side ^ 1, -beta, 1 - beta, ply + 1, 0);
    return -w.SearchNonPv(side ^ 1, 1 - beta, ply + 1, nd, 1, child_pv);
}

// The gravity histories' part of a reduction, in half plies: +2 for a move that has mostly
// failed where another cut, down to -2 for one that mostly cut.
int gravity_adjustment(const SearchWorker &w, int side, const int *rows, int move)
{
    const int s = w.gravity_score(side, rows, move);
    if (s < -3 * GRAVITY_MAX / 4)
        return 2;
    if (s < -3 * GRAVITY_MAX / 8)
        return 1;
    if (s < 3 * GRAVITY_MAX / 8)
        return 0;
    if (s < GRAVITY_MAX)
        return -1;
    return -2;
}

// The history's part of a reduction, in half plies: -2 for a move that cut about as often
// as it was tried, up to +2 for one that almost never cut.
int history_adjustment(const SearchWorker &w, int side, const int *rows, int move)
{
    if (params.history_gravity)
        return gravity_adjustment(w, side, rows, move);
    const unsigned h = w.HistoryCut[history_index(move)], t = w.HistoryTride[history_index(move)];
    if (t > 10 * h)
        return 2;
    if (t > 4 * h)
        return 1;
    if (t > 3 * h / 2)
        return 0;
    if (t > h)
        return -1;
    return -2;
}

bool improving(const SearchWorker &w, int ply, int eval)
{
    return ply < 2 || w.static_eval[ply - 2] == NO_EVAL || eval > w.static_eval[ply - 2];
}

// The null move's reduction in half plies, by depth (half plies) and the static
// evaluation's lead over beta.
int null_reduction(int depth, int lead)
{
    if (!params.null_growth)
        return depth > 11 ? 8 : 4;
    return 4 + 2 * (depth / 6) + 2 * std::min(lead / 256, 3);
}

// Late-move pruning: how many moves a shallow node tries before it drops the quiet ones.
int move_count_limit(int depth, bool improving)
{
    const int d = depth / 2;
    const int limit = params.lmp_base + params.lmp_scale * d * d / 100;
    return improving ? limit : limit / 2;
}

}  // namespace

bool SearchWorker::is_singular(int side, int ply, int depth, int move, int beta)
{
    int pv[PV_SIZE];
    excluded[ply] = move;
    verifying = true;
    const int v = SearchNonPv(side, beta, ply, depth / 2, 0, pv);
    excluded[ply] = 0;
    verifying = false;
    trunk[ply].hash_move = move;  // the search probed anew, and another thread may have replaced the entry
    return v < beta;
}

int SearchWorker::SearchNonPv(int side, int beta, int ply, int depth, int null_ok, int *pv)
{
    profile[2]++;
    int child_pv[PV_SIZE];
    pv[0] = child_pv[0] = PV_END;
    if (enter_node(*this, ply))
        return 0;
    Position *node = &trunk[ply];
    if (ply > MAX_SEARCH_PLY)
        return side_eval(*this, side, ply);
    // Mate-distance bounds.
    if (ply - (MATE - 1) > beta)
        return beta;
    if (beta > MATE - 1 - ply)
        return beta - 1;

    // A search without the table's move (a singular test) neither takes the table's result
    // nor stores its own, and takes none of the shortcuts of a node without a table move.
    const int excluded_move = excluded[ply];
    node->hash_move = 0;
    int tt_move = 0, tt_value = 0;  // the singular test's candidate
    if (HashEntry *e = probe(side, node)) {
        const int score = from_table(e->value, ply);
        const bool usable = e->depth >= depth || score >= std::max(beta, 29900) || score < std::min(beta, -29900);
        if (!excluded_move && usable &&
            ((score >= beta && (e->flags & HASH_LOWER)) || (score < beta && (e->flags & HASH_UPPER)))) {
            HashRefresh(e);
            if (score >= beta)
                shift_killers(*this, ply, node->hash_move);
            return score;
        }
        tt_move = singular_candidate(*this, *e, ply, depth);
        tt_value = score;
    }
    const bool new_node = node->hash_move == 0 && !excluded_move;
    const bool check = in_check(side, node);
    if (!check && new_node)
        if (const int v = mate_at_once(*this, side, ply, depth, pv); v)
            return v;
    if (ply != MAX_SEARCH_PLY)
        KillerMove1[ply + 2] = KillerMove2[ply + 2] = 0;
    const int eval = side_eval(*this, side, ply);
    static_eval[ply] = check ? NO_EVAL : eval;
    const bool better = !check && improving(*this, ply, eval);

    // Razoring: far below beta near the horizon, ask the quiescence search.
    if (depth <= 6 && !check && new_node && eval + params.razor_margin + 32 * depth < beta &&
        beta >= -29899 && beta <= 29899) {
        const int r = beta - params.razor_margin - 32 * depth;
        profile[15]++;
        trunk[ply + 1] = *node;
        copy_accumulator(ply);
        const int v = Quiescence(side, r - 1, r, ply + 1, 0);
        if (v < r)
            return v;
    }
    // Reverse futility: far above beta near the horizon, unless the opponent's mate in one
    // makes the lead worthless.
    if (depth <= 2 * params.rfp_depth && !check && !excluded_move && beta > -MATE_BOUND && beta < MATE_BOUND &&
        eval - params.rfp_margin * (depth / 2 - (better ? 1 : 0)) >= beta && !mate_in_one(side ^ 1, node)) {
        profile[124]++;
        return eval;
    }
    // Null move.
    bool mate_threat = false;
    if (null_ok && !excluded_move && depth >= 4 && eval >= beta && !check) {
        const int R = null_reduction(depth, eval - beta);
        trunk[ply + 1] = *node;
        trunk[ply + 1].last_move = 0;
        copy_accumulator(ply);
        const int nd = depth - 2 - R;
        const int v = nd <= 1 ? -Quiescence(side ^ 1, -beta, 1 - beta, ply + 1, 0)
                              : -SearchNonPv(side ^ 1, 1 - beta, ply + 1, nd, 0, child_pv);
        if (v >= beta) {
            profile[16]++;
            return beta;
        }
        mate_threat = v < -29900;
    }
    // No move from the table: the node is new or was cut short; a shallower search of it
    // costs less than a search for a move to try first.
    if (depth >= IIR_DEPTH && new_node) {
        depth -= 2;
        profile[18]++;
    }
    int singular_move = 0;
    if (tt_move) {
        const int sb = singular_beta(tt_value, depth);
        if (is_singular(side, ply, depth, tt_move, sb))
            singular_move = tt_move;
        else if (sb >= beta && !AbortSearch)
            return sb;  // the table's move and another reach beta: expect one of them to cut
    }

    int list[MOVE_LIST_SIZE];
    const int n = GenerateOrder(side, ply, list);
    if (n == 0 && check)
        return ply - MATE;
    int best = -MATE, best_move = 0;
    int tried[MAX_MOVE];
    int rows[2];  // the gravity histories' continuation rows
    continuation_rows(side, ply, rows);
    int n_tried = 0, move_count = 0;
    const int full_band = 3 * Iterate / 2, half_band = 2 * Iterate;
    const int lmp_limit = depth <= 2 * params.lmp_depth ? move_count_limit(depth, better) : MAX_MOVE;
    child_pv[0] = PV_END;  // the moves' own searches keep their variations to themselves
    for (int i = 0; i < n && !AbortSearch; i++) {
        int m = list[i];
        if (m == 0 || (m & MOVE_MASK) == excluded_move)
            continue;
        Position *child = make_child(*this, side, ply, m);
        if (gives_check(side, child)) {
            if (illegal_pawn_drop(side, m, child))
                continue;
            m |= FLAG_CHECK;
        }
        int nd = depth - 2 + move_extension(m, singular_move, ply, full_band, half_band);
        const bool quiet = is_quiet(m);
        move_count++;
        int v, r = 0;
        if (check) {
            if (quiet)
                tried[n_tried++] = m & MOVE_MASK;
            v = search_child_null(*this, side, beta, ply, nd);
        } else {
            // A check whose piece is simply lost is pruned and reduced like any quiet move:
            // with full hands most drops next to the king are such checks.
            const bool lost_check = (m & FLAG_CHECK) && child->attack[side ^ 1][move_to(m)] && See(move_to(m), child) < 0;
            const bool plain = !(m & FLAG_KILLER) && (!(m & FLAG_CHECK) || lost_check);
            if (quiet && plain && !mate_threat && move_count > lmp_limit && best > -MATE_BOUND) {
                profile[43]++;
                continue;
            }
            if (quiet)
                tried[n_tried++] = m & MOVE_MASK;
            if (depth > 1 && !mate_threat && quiet && plain && move_count > 1) {
                r = std::clamp(lmr_reduction(depth, move_count) + (better ? 0 : 1) +
                                   history_adjustment(*this, side, rows, m),
                               0, std::max(0, nd - 1));
                profile[24 + std::min(r, 4)]++;
                nd -= r;
            }
            if (nd <= 4 && plain && !mate_threat) {
                profile[34]++;
                const int margin = futility_margin(m);
                if (nd <= 2 && eval + margin <= beta) {
                    profile[35]++;
                    continue;
                }
                if ((nd == 3 || nd == 4) && eval + margin + 63 < beta) {
                    profile[36]++;
                    continue;
                }
                if (!quiet) {
                    if (m & FLAG_BADCAP) {
                        profile[38]++;
                        continue;
                    }
                } else if (lost_check || (!(m & FLAG_CHECK) && child->attack[side ^ 1][move_to(m)] &&
                                          See(move_to(m), child) < 0)) {
                    profile[37]++;
                    continue;
                }
            }
            v = search_child_null(*this, side, beta, ply, nd);
            if (v >= beta && r > 0) {
                profile[6]++;
                v = search_child_null(*this, side, beta, ply, nd + r);
            }
        }
        if (v > best) {
            best = v;
            if (v >= beta) {
                best_move = m & MOVE_MASK;
                PvAdd(pv, child_pv, best_move);
                if (ply < BETA_CUT_PLIES)
                    profile[77 + ply] = (10 * i + profile[77 + ply]) / 2;
                break;
            }
        }
    }

    if (AbortSearch)
        return best;
    if (!excluded_move)
        table_store(side, node, ply, best < beta ? HASH_UPPER : HASH_LOWER, depth, best, best_move);
    if (best >= beta)
        reward_cut(*this, side, ply, depth, best, best_move, tried, n_tried);
    return best;
}

int SearchWorker::SearchPv(int side, int alpha, int beta, int ply, int depth, int *pv)
{
    profile[1]++;
    int child_pv[PV_SIZE];
    pv[0] = child_pv[0] = PV_END;
    if (enter_node(*this, ply))
        return 0;
    Position *node = &trunk[ply];
    if (ply > MAX_SEARCH_PLY)
        return side_eval(*this, side, ply);
    const int alpha_in = alpha;
    alpha = std::max(alpha, ply - MATE);
    beta = std::min(beta, MATE - 1 - ply);
    if (alpha >= beta)
        return alpha;

    node->hash_move = 0;
    int tt_move = 0, tt_value = 0;  // the singular test's candidate
    if (HashEntry *e = probe(side, node)) {
        const int score = from_table(e->value, ply);
        if (e->depth >= depth && (e->flags & HASH_EXACT) == HASH_EXACT) {
            HashRefresh(e);
            if (score >= beta)
                shift_killers(*this, ply, node->hash_move);
            return score;
        }
        tt_move = singular_candidate(*this, *e, ply, depth);
        tt_value = score;
    }
    const bool check = in_check(side, node);
    if (ply > 0 && !check && node->hash_move == 0)
        if (const int v = mate_at_once(*this, side, ply, depth, pv); v)
            return v;
    if (ply != MAX_SEARCH_PLY)
        KillerMove1[ply + 2] = KillerMove2[ply + 2] = 0;
    const int eval = side_eval(*this, side, ply);
    static_eval[ply] = check ? NO_EVAL : eval;
    if (depth >= IIR_DEPTH && node->hash_move == 0) {
        depth -= 2;
        profile[17]++;
    }
    const int singular_move =
        tt_move && is_singular(side, ply, depth, tt_move, singular_beta(tt_value, depth)) ? tt_move : 0;

    int list[MOVE_LIST_SIZE];
    const int n = GenerateOrder(side, ply, list);
    if (n == 0 && check)
        return ply - MATE;
    int best = -MATE, best_move = 0;
    int tried[MAX_MOVE];
    int rows[2];  // the gravity histories' continuation rows
    continuation_rows(side, ply, rows);
    int n_tried = 0;
    const int full_band = 2 * Iterate, half_band = 3 * Iterate;
    for (int i = 0; i < n && !AbortSearch; i++) {
        int m = list[i];
        if (m == 0)
            continue;
        child_pv[0] = PV_END;  // a move the quiescence search answers has no variation of its own
        Position *child = make_child(*this, side, ply, m);
        if (gives_check(side, child)) {
            if (illegal_pawn_drop(side, m, child))
                continue;
            m |= FLAG_CHECK;
        }
        const int nd = depth - 2 + move_extension(m, singular_move, ply, full_band, half_band);
        const bool quiet = is_quiet(m);
        if (quiet)
            tried[n_tried++] = m & MOVE_MASK;
        if (nd <= 2 && !check && !(m & (FLAG_KILLER | FLAG_FORCED | FLAG_CHECK))) {
            profile[29]++;
            if (i >= 5 && alpha >= eval + futility_margin(m)) {
                profile[30]++;
                continue;
            }
        }
        int v;
        if (i == 0) {
            v = nd <= 1 ? -Quiescence(side ^ 1, -beta, -alpha, ply + 1, 0)
                        : -SearchPv(side ^ 1, -beta, -alpha, ply + 1, nd, child_pv);
        } else {
            bool reduced = false;
            if (nd >= 2 && !check && quiet && !(m & (FLAG_KILLER | FLAG_CHECK))) {
                const int r = std::clamp(lmr_reduction(depth, i + 1) - 2 + history_adjustment(*this, side, rows, m),
                                         0, std::max(0, nd - 1));
                profile[19 + std::min(r, 3)]++;
                v = nd - r <= 1 ? -Quiescence(side ^ 1, -alpha - 1, -alpha, ply + 1, 0)
                                : -SearchNonPv(side ^ 1, -alpha, ply + 1, nd - r, 1, child_pv);
                reduced = r > 0;
            } else {
                v = alpha + 1;
            }
            if (v > alpha) {
                v = nd <= 1 ? -Quiescence(side ^ 1, -alpha - 1, -alpha, ply + 1, 0)
                            : -SearchNonPv(side ^ 1, -alpha, ply + 1, nd, 1, child_pv);
                if (reduced)
                    profile[4]++;
            }
            if (v > alpha && (v < beta || reduced)) {
                v = nd <= 1 ? -Quiescence(side ^ 1, -beta, -alpha, ply + 1, 0)
                            : -SearchPv(side ^ 1, -beta, -alpha, ply + 1, nd, child_pv);
                profile[5]++;
            }
        }
        if (v > best) {
            best = v;
            if (v > alpha) {
                best_move = m & MOVE_MASK;
                PvAdd(pv, child_pv, best_move);
                if (v >= beta) {
                    if (ply < BETA_CUT_PLIES)
                        profile[44 + ply] = (10 * i + profile[44 + ply]) / 2;
                    break;
                }
                alpha = v;
            }
        }
    }

    if (AbortSearch)
        return best;
    if (best <= alpha_in) {
        table_store(side, node, ply, HASH_UPPER, depth, best, 0);
        return best;
    }
    if (best < beta) {
        table_store(side, node, ply, HASH_EXACT, depth, best, best_move);
        return best;
    }
    table_store(side, node, ply, HASH_LOWER, depth, best, best_move);
    reward_cut(*this, side, ply, depth, best, best_move, tried, n_tried);
    return best;
}
