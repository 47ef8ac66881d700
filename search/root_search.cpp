#include "search/root_search.h"

#include <algorithm>
#include <cstring>

#include "board/new_board.h"
#include "eval/evalute.h"
#include "eval/get_grade.h"
#include "hash/hash.h"
#include "log/log.h"
#include "movegen/drop_fu_mate.h"
#include "movegen/make_evasion.h"
#include "movegen/make_legal.h"
#include "platform/platform.h"
#include "search/ordering.h"
#include "search/params.h"
#include "search/quiescence.h"
#include "search/qvn.h"
#include "search/report.h"
#include "search/search.h"
#include "search/threads.h"
#include "search/worker.h"

int MultiPV = 1;

namespace {

constexpr int REJECTED = -30000, NOT_BEST = -30001;
constexpr int ROOT_PV_SIZE = 33;

// Records by descending key, equal keys by descending nodes; stable (bubble sort). With
// exact scores for several moves (MultiPV), equal scores keep the order of the pass, as a
// single best move does: the first to reach a score keeps it.
void sort_root(RootRecord *root_list, int *root_move, int n, bool by_nodes)
{
    auto smaller = [by_nodes](const RootRecord &a, const RootRecord &b) {
        return a.key < b.key || (a.key == b.key && by_nodes && a.nodes < b.nodes);
    };
    for (int i = 0; i < n - 1; i++)
        for (int j = n - 1; j > i; j--)
            if (smaller(root_list[j - 1], root_list[j])) {
                std::swap(root_list[j - 1], root_list[j]);
                std::swap(root_move[j - 1], root_move[j]);
            }
}

// A root record's principal variation: the move, then the child's, within 33 words.
void set_root_pv(RootRecord *r, int move, const int *child)
{
    r->pv[0] = move;
    int i = 0;
    for (; i < ROOT_PV_SIZE - 2 && child[i] != PV_END; i++)
        r->pv[i + 1] = child[i];
    r->pv[i + 1] = PV_END;
}

bool in_zone(int sq) { return (sq & 15) >= 1 && (sq & 15) <= 3; }
bool major(int type) { return type == KA || type == HI || type == UM || type == RY; }

enum class Verdict { Search, Reject, ChooseRepetition };

// The repetition and horizon rules for the position after a root move.
Verdict history_verdict(const Position &after)
{
    bool seen = false;
    for (int k = std::min(nMoves, GAME_RECORD_SIZE - 1); k >= 1; k--) {
        if (HashRecord[k] == after.key) {
            if (seen) {
                if (CheckRecord[k]) {
                    lputs("連続王手回避");
                    return Verdict::Reject;
                }
                const int e = Evalute(&after, 0);
                if (e < -768 && Grade == 0) {
                    lprintf("千日手選択[序盤]:eval=%d\n", e);
                    return Verdict::ChooseRepetition;
                }
                if (e < -1100 && Grade == 1) {
                    lprintf("千日手選択[中盤]:eval=%d\n", e);
                    return Verdict::ChooseRepetition;
                }
                lprintf("千日手回避:eval=%d\n", e);
                return Verdict::Reject;
            }
            seen = true;
        }
        // The same board again with fewer pieces in hand: drops that only delay.
        if (BoardRecord[k] == after.board_key && HandRecord[k] > hand_count(&after, 1)) {
            lputs("水平線現象検出");
            return Verdict::Reject;
        }
    }
    return Verdict::Search;
}

// The declaration test of the search: counts the pieces of the whole board.
bool entering_king_after_move(const Position *p)
{
    const int k = p->king[1];
    if (!k || !in_zone(k))
        return false;
    int count = 0, points = 0;
    for (int sq : position_tbl) {
        const int w = p->board[sq];
        if (!(w & 16) || (w & 15) == OU)
            continue;
        if (in_zone(sq))
            count++;
        points += major(w & 15) ? 5 : 1;
    }
    for (int t = FU; t <= HI; t++)
        points += p->hand[1][t] * (t == KA || t == HI ? 5 : 1);
    return count >= 10 && points >= (Reverse ? 27 : 28);
}

// The move to play when the search stopped before finishing an iteration: the best one the
// unfinished pass searched, else the first legal move that the history rules allow (a
// repetition can throw a won game away), else the first legal move.
int fallback_move(SearchWorker &w)
{
    const RootRecord *root_list = w.root_list;
    Position *trunk = w.trunk;
    int best = 0, best_key = REJECTED;
    for (int i = 0; i < w.root_n_move; i++) {
        const RootRecord &r = root_list[i];
        if (r.pv[0] != 0 && r.key > best_key) {
            best = r.pv[0];
            best_key = r.key;
        }
    }
    if (best)
        return best;
    int first = 0;
    for (int i = 0; i < w.root_n_move; i++) {
        const int m = w.root_move[i];
        trunk[1] = trunk[0];
        NewBoard(1, m, &trunk[1]);
        if (illegal_pawn_drop(1, m, &trunk[1]))
            continue;
        if (nMoves == 0 || history_verdict(trunk[1]) != Verdict::Reject)
            return m;
        if (!first)
            first = m;
    }
    return first;
}

// Lazy SMP: helper k searches only some of the depths, so that the threads spread over the
// next iterations instead of all searching the same one. Helpers 1 and 2 take every other
// depth (the even ones, the odd ones); 3 to 6 two depths in four, at four phases; 7 to 12
// three in six; and so on.
bool helper_skips(int id, int depth)
{
    if (id == 0)
        return false;
    int k = (id - 1) % 20, size = 1;
    while (k >= 2 * size) {
        k -= 2 * size;
        size++;
    }
    return (depth + k) / size % 2 != 0;
}

// The best scores of a pass, best first: with MultiPV k the k best root moves get exact
// scores, so every other move is searched against the k-th best score found so far.
struct TopScores {
    explicit TopScores(int k) : k(k) {}
    int k, n = 0;
    int score[MAX_MULTI_PV];
    // The window's lower end for the next move: the k-th best, alpha until there are k.
    int bar(int alpha) const { return n == k ? score[k - 1] : alpha; }
    int best(int alpha) const { return n ? score[0] : alpha; }
    void add(int v)
    {
        int i = n < k ? n++ : k - 1;
        for (; i > 0 && score[i - 1] < v; i--)
            score[i] = score[i - 1];
        score[i] = v;
    }
};

// True when move is a legal move of side in p (generated there, and not a pawn drop that
// mates): a move read from the table is only followed after this test.
bool legal_in(int side, const Position &p, int move)
{
    Position node = p;
    int list[MOVE_LIST_SIZE];
    int n;
    if (in_check(side, &node)) {
        n = MakeEvasion(side, &node, node.attack[side ^ 1][node.king[side]], list);
    } else {
        n = MakeMove(side, &node, list);
        n += MakeDrop(side, &node, list + n);
    }
    for (int i = 0; i < n; i++)
        if (list[i] == move) {
            NewBoard(side, move, &node);
            return !illegal_pawn_drop(side, move, &node);
        }
    return false;
}

// A variation as reported: a table hit ends a principal variation where it was found, so
// the table's own moves lengthen it, up to the iteration's depth, for as long as each is a
// legal move of its position and no position repeats. The search's own variation is cut at
// its first move that is not legal where it stands: a node whose best move was answered by
// the quiescence search (or by a null-window search) passes on a child variation left over
// from another move.
void reported_pv(const SearchWorker &w, const int *pv, int *out)
{
    Position p = w.trunk[0];
    std::uint64_t seen[ROOT_PV_SIZE];
    int side = 1, n = 0;
    for (; n < ROOT_PV_SIZE - 1 && pv[n] != PV_END && pv[n] != 0 && (n == 0 || legal_in(side, p, pv[n])); n++) {
        seen[n] = p.key;
        out[n] = pv[n];
        NewBoard(side, pv[n], &p);
        side ^= 1;
    }
    // The table's statistics in the log count the search's probes only.
    const int probes = profile[7], hits = profile[8];
    while (n > 0 && n < std::min(w.Iterate, ROOT_PV_SIZE - 1) && use_hash_table) {
        p.hash_move = 0;
        const int m = HashProbe(side, &p) ? p.hash_move : 0;
        if (m == 0 || std::find(seen, seen + n, p.key) != seen + n || !legal_in(side, p, m))
            break;
        seen[n] = p.key;
        out[n++] = m;
        NewBoard(side, m, &p);
        side ^= 1;
    }
    profile[7] = probes;
    profile[8] = hits;
    out[n] = PV_END;
}

void report(const SearchWorker &w, int multipv, int value, ScoreBound bound, const int *pv)
{
    int line[ROOT_PV_SIZE];
    reported_pv(w, pv, line);
    report_search_info(w.Iterate, w.sel_depth, multipv, value, bound, line);
}

// The "info" lines of a finished iteration: the best move, or the k best with MultiPV k.
void report_iteration(const SearchWorker &w, int multi_pv, int accepted, bool special)
{
    if (multi_pv == 1 || special) {
        report(w, 0, accepted, ScoreBound::Exact, w.root_list[0].pv);
        return;
    }
    for (int i = 0; i < multi_pv && i < w.root_n_move && w.root_list[i].key > REJECTED; i++)
        report(w, i + 1, w.root_list[i].key, ScoreBound::Exact, w.root_list[i].pv);
}

void reset_pass_counters()
{
    profile[0] = profile[1] = 1;
    for (int w = 2; w <= 6; w++)
        profile[w] = 0;
    for (int w = 15; w <= 43; w++)
        profile[w] = 0;
}

}  // namespace

bool entering_king_declaration(const Position *p, int points_needed)
{
    const int k = p->king[1];
    if (!k || !in_zone(k) || p->attack[0][k])
        return false;
    int count = 0, points = 0;
    for (int sq : position_tbl) {
        const int w = p->board[sq];
        if ((w & 16) && (w & 15) != OU && in_zone(sq)) {
            count++;
            points += major(w & 15) ? 5 : 1;
        }
    }
    for (int t = FU; t <= HI; t++)
        points += p->hand[1][t] * (t == KA || t == HI ? 5 : 1);
    return count >= 10 && points >= points_needed;
}

int SearchWorker::IterativeDeep(int *best, int max_depth)
{
    set_root();
    root_n_move = GenerateRoot(&trunk[0], root_move);
    init_search_params();
    static_eval[0] = NO_EVAL;
    lprintf("ルート生成数=%d\n", root_n_move);
    if (root_n_move == 0)
        return -MATE;
    // The main thread sets up what the threads share, then starts the helpers on it; only it
    // changes the shared flags and reports.
    const bool is_main = id == 0;
    const int multi_pv = std::clamp(MultiPV, 1, MAX_MULTI_PV);
    // AbortSearch is left alone: the front end cleared it when it accepted the "go".
    if (is_main)
        Extend = 0;
    nodes = 0;
    std::memset(root_list, 0, sizeof(RootRecord) * root_n_move);
    clear_search_tables();
    if (is_main) {
        EvaluteHashClear();
        SearchAge++;
        start_helpers(max_depth);
    }
    iterate_value[0] = iterate_value[1] = 0;
    Iterate = 1;
    int previous = 0, result = 0;
    bool aborted = false, ignore_history = false;

    while (Iterate <= max_depth && !aborted) {
        if (helper_skips(id, Iterate) && Iterate < max_depth) {
            iterate_value[Iterate++] = previous;
            continue;
        }
        int it_time = tick_count();
        sel_depth = 0;
        int alpha = -MATE, beta = MATE;
        // Several exact scores want the open window.
        if (Iterate > 2 && previous >= -14999 && previous <= 14999 && multi_pv == 1) {
            alpha = previous - params.aspiration;
            beta = previous + params.aspiration;
        }
        int fail_high = 0, fail_low = 0;
        int accepted;
        for (;;) {  // passes until the result lies inside the window
            reset_pass_counters();
            alpha = std::max(alpha, -MATE);
            beta = std::min(beta, MATE);
            lprintf("\n*** Iterate=%d (alpha:%d beta:%d ret:%d)\n", Iterate, alpha, beta, previous);
            for (int i = 0; i < KILLER_SIZE; i++)
                KillerMove1[i] = KillerMove2[i] = KillerMate[i] = 0;
            trunk[0].hash_move = 0;
            if (AbortSearch) {
                aborted = true;
                break;
            }
            TopScores scores(multi_pv);
            int a = alpha, special = 0, searched = 0, held_back = 0;
            for (int i = 0; i < root_n_move; i++) {
                const int m = root_move[i];
                MaxPly = MaxQuiPly = 0;
                int local_pv[PV_SIZE] = {PV_END};
                const int nodes_before = profile[0];
                trunk[0].eval = 0;
                trunk[1] = trunk[0];
                trunk[1].last_move = m;
                NewBoard(1, m, &trunk[1]);

                const Verdict verdict = nMoves > 0 && !ignore_history ? history_verdict(trunk[1]) : Verdict::Search;
                if (verdict == Verdict::ChooseRepetition) {
                    special = REPETITION_CHOSEN;
                } else if (verdict == Verdict::Reject && root_n_move > 1) {
                    root_list[i].key = REJECTED;
                    held_back++;
                    continue;
                }
                const bool check = gives_check(1, &trunk[1]);
                const bool pawn_drop = move_from(m) == 0 && move_piece(m) == FU;
                // A pawn dropped to mate is illegal: tested before anything can choose it.
                if (illegal_pawn_drop(1, m, &trunk[1])) {
                    root_list[i].key = REJECTED;
                    continue;
                }
                if (!special && entering_king_after_move(&trunk[1])) {
                    lputs("入玉勝ち");
                    special = ENTERING_KING_WIN;
                }
                if (special) {
                    // Record 0 carries the chosen move and keeps the top place in the sort.
                    const int empty[1] = {PV_END};
                    set_root_pv(&root_list[0], m, empty);
                    root_list[0].key = INT16_MAX;
                    break;
                }
                searched++;
                const int depth = 2 * Iterate + (check && !pawn_drop ? 2 : 0);
                int v;
                if (i < multi_pv || Iterate < 3) {
                    v = -SearchPv(0, -beta, -a, 1, depth, local_pv);
                    if (is_main && (i == 0 || Iterate < 3))
                        Extend = Iterate > 1 && v < iterate_value[Iterate - 1] - 31 ? 1 : 0;
                } else {
                    v = -SearchNonPv(0, -a, 1, depth, 1, local_pv);
                    if (a < v && v < beta) {
                        profile[5]++;
                        v = -SearchPv(0, -beta, -a, 1, depth, local_pv);
                    }
                }
                if (AbortSearch) {
                    aborted = true;
                    break;
                }
                RootRecord &r = root_list[i];
                r.nodes = profile[0] - nodes_before;
                r.max_ply = static_cast<std::uint8_t>(MaxPly);
                r.max_qui_ply = static_cast<std::uint8_t>(MaxQuiPly);
                r.value = static_cast<std::int16_t>(v);
                set_root_pv(&r, m, local_pv);
                if (v > a) {
                    r.key = static_cast<std::int16_t>(v);
                    const bool new_best = v > scores.best(alpha);
                    scores.add(v);
                    a = scores.bar(alpha);
                    if (is_main && new_best && v >= iterate_value[Iterate - 1] - 23)
                        Extend = 0;
                } else {
                    r.key = NOT_BEST;
                }
            }
            if (aborted)
                break;
            if (!special && searched == 0 && held_back > 0) {
                // Every legal move repeats or only delays: play one of them rather than resign.
                ignore_history = true;
                continue;
            }
            const int r = special ? special : scores.best(alpha);
            if (alpha < r && r < beta) {
                accepted = r;
                break;
            }
            if (r >= beta) {
                beta = fail_high++ == 0 ? beta + params.widen : MATE;
                lprintf("high fail score:%d beta:%d\n", r, beta);
            }
            if (r <= alpha) {
                alpha = fail_low++ == 0 ? alpha - params.widen : -MATE;
                lprintf("low fail score:%d alpha:%d\n", r, alpha);
            }
            sort_root(root_list, root_move, root_n_move, multi_pv == 1);
            if (r < -29899 || r > 29899) {
                accepted = r;
                break;
            }
            // A GUI redraws its pane for every line: short searches keep to one per iteration.
            if (is_main && ms_since_go() >= 1000)
                report(*this, 0, r, r >= beta ? ScoreBound::Lower : ScoreBound::Upper, root_list[0].pv);
        }
        if (aborted)
            break;

        result = accepted;
        iterate_value[Iterate] = accepted;
        sort_root(root_list, root_move, root_n_move, multi_pv == 1);
        const RootRecord &top = root_list[0];
        best[0] = top.pv[0];
        best[1] = top.pv[1];
        MaxPly = top.max_ply;
        HashStore(1, &trunk[0], HASH_EXACT, static_cast<std::uint8_t>(2 * Iterate), static_cast<std::uint16_t>(accepted),
                  best[0]);
        it_time = tick_count() - it_time + 1;
        if (is_main)
            report_iteration(*this, multi_pv, accepted, accepted >= ENTERING_KING_WIN && accepted <= REPETITION_CHOSEN);
        log_root_table(root_list, root_n_move);
        log_iteration_statistics(Elapsed, it_time);

        if (accepted >= ENTERING_KING_WIN && accepted <= REPETITION_CHOSEN) {
            best[1] = 0;
            lprintf("千日手,入玉勝ち score:%d\n", accepted);
            break;
        }
        if (accepted > 29899) {
            lprintf("勝ち判定 score=%d\n", accepted);
            break;
        }
        if (accepted < -29899 && Iterate >= 6) {
            lprintf("負け判定 score=%d\n", accepted);
            break;
        }
        if (is_main && !AnalyzeMode && Iterate >= 8 && root_list[1].key == REJECTED) {
            // One move takes nearly all the effort: more depth will not change it.
            const long long nodes = profile[0];
            if ((top.nodes > nodes * 87 / 100 && Elapsed > OnePlyTime / 10) ||
                (top.nodes > nodes * 60 / 100 && Elapsed > OnePlyTime / 2)) {
                lputs("反復打ち切り");
                break;
            }
        }
        Iterate++;
        previous = accepted;
    }
    if (is_main)
        stop_helpers();
    if (aborted) {
        lprintf(">>> AbortSearch(Elapsed=%d[ms])\n", Elapsed.load());
        result = previous;
        // Never "pass": without a finished iteration the best move searched so far is played.
        if (best[0] == 0) {
            best[0] = fallback_move(*this);
            best[1] = 0;
            if (best[0] == 0)
                result = -MATE;
        }
    }
    log_final_tables(MaxPly);
    return result;
}

int IterativeDeep(int *best, int max_depth) { return main_worker().IterativeDeep(best, max_depth); }
