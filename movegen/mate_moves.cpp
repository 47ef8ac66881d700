#include "movegen/mate_moves.h"

#include "board/new_board.h"
#include "movegen/drop_fu_mate.h"
#include "movegen/make_evasion.h"
#include "movegen/make_legal.h"

bool mate_plain_moves = true;

namespace {

// line_step[a][b]: the step that leads from a to b along a rank, file or diagonal, 0
// when they are not on one line.
struct LineTable {
    signed char step[BOARD_SIZE][BOARD_SIZE];
};
constexpr LineTable make_line_table()
{
    LineTable t{};
    constexpr int steps[8] = {1, -1, 16, -16, 17, -17, 15, -15};
    for (int a : position_tbl)
        for (int s : steps)
            for (int b = a + s; on_board(b); b += s)
                t.step[a][b] = static_cast<signed char>(s);
    return t;
}
constexpr LineTable lines = make_line_table();

// Side-relative directions (0-7) of a piece type's one-step and sliding attacks.
constexpr int step_dirs[16] = {0, 0x01, 0, 0, 0xF1, 0x3F, 0, 0, 0xFF, 0x3F, 0x3F, 0x3F, 0x3F, 0, 0x0F, 0xF0};
constexpr int slide_dirs[16] = {0, 0, 0x01, 0, 0, 0, 0xF0, 0x0F, 0, 0, 0, 0, 0, 0, 0xF0, 0x0F};

// The side-relative direction index of an absolute step.
int direction(int side, int s)
{
    for (int d = 0; d < 8; d++)
        if (delta[side][d] == s)
            return d;
    return -1;
}

int edge_rank(int side, int sq) { return side ? (sq & 15) : 10 - (sq & 15); }

// True when a piece of side and type standing on sq attacks k; `vacated` counts as empty.
bool attacks(int side, int type, int sq, int k, const int *board, int vacated)
{
    const int s = lines.step[sq][k];
    if (s == 0)
        return type == KE && (sq + delta[side][16] == k || sq + delta[side][17] == k);
    const int d = direction(side, s);
    if (sq + s == k && (step_dirs[type] >> d & 1))
        return true;
    if (!(slide_dirs[type] >> d & 1))
        return false;
    for (int t = sq + s; t != k; t += s)
        if (board[t] != 0 && t != vacated)
            return false;
    return true;
}

// True when moving the piece on `from` to `to` uncovers an own slider's line onto k.
bool discovers(int side, const Position *p, int from, int to, int k)
{
    const int s = lines.step[from][k];
    if (s == 0 || !(p->attack[side][from] & (0x100 << direction(side, s))))
        return false;
    const int along = lines.step[from][to];
    if (along == s || along == -s)
        return false;  // the piece stays on the line
    for (int t = from + s; t != k; t += s)
        if (p->board[t] != 0)
            return false;
    return true;
}

// Appends the plain twin of every promoting pawn, lance, bishop or rook move that the
// engine's generators give without it (a twin is always listed right beside its move).
int add_plain_moves(int side, int *list, int n)
{
    if (!mate_plain_moves)
        return n;
    int out = n;
    for (int i = 0; i < n; i++) {
        const int m = list[i];
        const int piece = move_piece(m);
        if (!move_is_promote(m) || !(piece == FU || piece == KY || piece == KA || piece == HI))
            continue;
        const int plain = m & ~MOVE_PROMOTE;
        if ((i > 0 && list[i - 1] == plain) || (i + 1 < n && list[i + 1] == plain))
            continue;
        if ((piece == FU || piece == KY) && edge_rank(side, move_to(m)) < 2)
            continue;  // it could never move again
        list[out++] = plain;
    }
    return out;
}

// True when side's move is a pawn drop that checkmates: illegal.
bool mating_pawn_drop(int side, const Position *p, int move, Position *scratch)
{
    if (move_from(move) != 0 || move_piece(move) != FU || !p->king[side ^ 1])
        return false;
    if (move_to(move) != p->king[side ^ 1] - delta[side][0])
        return false;
    *scratch = *p;
    NewBoard(side, move, scratch);
    return DropFuMate(side ^ 1, scratch) != 0;
}

// Removes the mating pawn drops from a list.
int drop_pawn_mates(int side, const Position *p, int *list, int n, Position *scratch)
{
    int out = 0;
    for (int i = 0; i < n; i++)
        if (!mating_pawn_drop(side, p, list[i], scratch))
            list[out++] = list[i];
    return out;
}

// The drops of side that check king k: onto the squares from which the piece attacks k,
// off the dead ranks, no second unpromoted pawn on a file.
int check_drops(int side, const Position *p, int k, int *list)
{
    int *out = list;
    const int own = colour(side);
    for (int type = FU; type <= HI; type++) {
        if (!p->hand[side][type])
            continue;
        const int min_rank = type == FU || type == KY ? 2 : type == KE ? 3 : 1;
        auto put = [&](int sq) {
            if (on_board(sq) && p->board[sq] == 0 && edge_rank(side, sq) >= min_rank)
                *out++ = (sq << 8) | (type << 16);
        };
        if (type == FU) {
            const int sq = k - delta[side][0];
            bool pawn_on_file = false;
            for (int r = 1; r <= 9; r++)
                pawn_on_file |= p->board[(sq & 0xF0) + r] == (own | FU);
            if (!pawn_on_file)
                put(sq);
            continue;
        }
        if (type == KE) {
            put(k - delta[side][16]);
            put(k - delta[side][17]);
            continue;
        }
        for (int d = 0; d < 8; d++) {
            if (slide_dirs[type] >> d & 1) {
                for (int sq = k - delta[side][d]; p->board[sq] == 0; sq -= delta[side][d])
                    put(sq);
            } else if (step_dirs[type] >> d & 1) {
                put(k - delta[side][d]);
            }
        }
    }
    return static_cast<int>(out - list);
}

}  // namespace

bool move_checks(int side, const Position *p, int move)
{
    const int k = p->king[side ^ 1];
    if (!k)
        return false;
    const int from = move_from(move), to = move_to(move);
    const int type = move_is_promote(move) ? move_piece(move) | PROMOTE : move_piece(move);
    if (attacks(side, type, to, k, p->board, from))
        return true;
    return from != 0 && discovers(side, p, from, to, k);
}

int mate_checks(int side, Position *p, int *list, Position *scratch)
{
    const int k = p->king[side ^ 1];
    if (!k)
        return 0;
    int moves[MATE_LIST_SIZE];
    const bool checked = in_check(side, p);
    int n = checked ? MakeEvasion(side, p, p->attack[side ^ 1][p->king[side]], moves) : MakeMove(side, p, moves);
    n = add_plain_moves(side, moves, n);
    int count = 0;
    for (int i = 0; i < n; i++)
        if (move_checks(side, p, moves[i]))
            list[count++] = moves[i];
    if (!checked)
        count += check_drops(side, p, k, list + count);
    return drop_pawn_mates(side, p, list, count, scratch);
}

int mate_evasions(int side, Position *p, int *list, Position *scratch)
{
    int n = MakeEvasion(side, p, p->attack[side ^ 1][p->king[side]], list);
    n = add_plain_moves(side, list, n);
    return drop_pawn_mates(side, p, list, n, scratch);
}

int all_legal_moves(int side, Position *p, int *list, Position *scratch)
{
    if (in_check(side, p))
        return mate_evasions(side, p, list, scratch);
    int n = MakeMove(side, p, list);
    n = add_plain_moves(side, list, n);
    n += MakeDrop(side, p, list + n);
    return drop_pawn_mates(side, p, list, n, scratch);
}
