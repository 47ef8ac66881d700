#include "search/qvn.h"

#include <algorithm>

#include "board/board_print.h"
#include "board/new_board.h"
#include "book/book_probe.h"
#include "eval/evalute.h"
#include "eval/get_grade.h"
#include "hash/hash.h"
#include "log/log.h"
#include "movegen/drop_fu_mate.h"
#include "search/mate_search.h"
#include "search/ordering.h"
#include "search/report.h"
#include "search/root_search.h"
#include "search/search.h"

int no_book, random_book;
int mate_probe;

std::uint64_t HashRecord[GAME_RECORD_SIZE];
std::uint64_t BoardRecord[GAME_RECORD_SIZE];
int HandRecord[GAME_RECORD_SIZE];
int CheckRecord[GAME_RECORD_SIZE];

namespace {

constexpr int MAX_GAME_LENGTH = 499;
constexpr const char *grade_name[3] = {"序盤", "中盤", "終盤"};

// A book move is played only when it is a legal move of the root: a book built with
// another key file, or a damaged one, must never make the engine play an illegal move.
bool legal_at_root(int move)
{
    int list[MOVE_LIST_SIZE];
    const int n = GenerateRoot(&Trunk[0], list);
    for (int i = 0; i < n; i++) {
        if (list[i] != move)
            continue;
        Trunk[1] = Trunk[0];
        NewBoard(1, move, &Trunk[1]);
        return !illegal_pawn_drop(1, move, &Trunk[1]);
    }
    return false;
}

// The book's move for the root, 0 when there is none to play.
int book_move(int *weight)
{
    unsigned moves[BOOK_MAX_CANDIDATES], weights[BOOK_MAX_CANDIDATES];
    const int n = BookProbe(moves, weights);
    if (n == 0)
        return 0;
    const int i = book_choice(moves, weights, n, random_book, nMoves);
    const int move = static_cast<int>(moves[i]);
    if (weights[i] == 0 || !legal_at_root(move))
        return 0;
    *weight = static_cast<int>(weights[i]);
    return move;
}

// A short mate search before the alpha-beta search (qvn.conf mate_probe: its time in
// ms, at most a quarter of the move's budget). A mate it proves is played at once,
// unless the first move repeats a position of the game (the solver knows no history).
bool probe_mate(int *best, int *value)
{
    static MateResult r;
    MateLimits limits;
    limits.time_ms = OnePlyTime > 0 && OnePlyTime / 4 < mate_probe ? OnePlyTime / 4 : mate_probe;
    limits.stop = &AbortSearch;
    mate_solve(1, &Trunk[0], limits, &r);
    lprintf("mate probe: %s, %d plies, %llu nodes, %d ms\n",
            r.status == MATE_FOUND ? "mate" : r.status == MATE_NONE ? "no mate" : "unknown", r.length,
            static_cast<unsigned long long>(r.nodes), r.ms);
    if (r.status != MATE_FOUND)
        return false;
    Position after = Trunk[0];
    NewBoard(1, r.line[0], &after);
    for (int k = std::min(nMoves, GAME_RECORD_SIZE - 1); k >= 0; k--)
        if (HashRecord[k] == after.key)
            return false;
    best[0] = r.line[0];
    best[1] = r.length > 1 ? r.line[1] : -1;
    *value = MATE - r.length;
    report_mate(r);
    return true;
}

}  // namespace

int Think(int *best, int max_depth)
{
    Position local = Trunk[0];
    if (nMoves > MAX_GAME_LENGTH) {
        lputs("引き分け");
        return THINK_TOO_LONG;
    }
    CalcTime();
    GetGrade(&local);
    lprintf("進行度:%s\n", grade_name[Grade]);
    lprintf("現局面評価:%d\n", Evalute(&local));

    int result;
    int weight = 0;
    const int from_book = no_book ? 0 : book_move(&weight);
    if (from_book) {
        best[0] = from_book;
        best[1] = -1;
        report_book_move(weight, best);
        result = 0;
    } else if (!(mate_probe > 0 && probe_mate(best, &result))) {
        result = IterativeDeep(best, max_depth);
    }

    nMoves++;
    lprintf("\n%s %d手目 ", Reverse ? "△" : "▲", nMoves);
    MovePrint(best, 1, nullptr);
    if (result == ENTERING_KING_WIN) {
        // Declare only what the rules accept in the position as it stands now.
        if (entering_king_declaration(&Trunk[0], Reverse ? 27 : 28)) {
            lputs("入玉勝ち");
            return THINK_WIN;
        }
        best[1] = 0;
    }
    if (result < -29999)
        return (lputs("参りました"), THINK_RESIGN);

    // The position after the engine's own move enters the game's history.
    NewBoard(1, best[0], &local);
    hash_test(&local);
    const int k = nMoves < GAME_RECORD_SIZE ? nMoves : GAME_RECORD_SIZE - 1;
    CheckRecord[k] = gives_check(1, &local) ? 1 : 0;
    HashRecord[k] = local.key;
    BoardRecord[k] = local.board_key;
    HandRecord[k] = hand_count(&local, 1);
    return THINK_MOVE;
}
