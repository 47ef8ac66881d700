#include "search/mate_one.h"

#include <cstddef>
#include <cstring>

#include "board/attack.h"
#include "board/new_board.h"
#include "movegen/make_evasion.h"
#include "movegen/make_legal.h"

namespace {

// The king's eight neighbours as steps; NEAR[7 - j] is the opposite step of NEAR[j].
constexpr int NEAR[8] = {-17, -16, -15, -1, 1, 15, 16, 17};

// Side-relative directions (0-7) of each type's one-step and sliding attacks.
constexpr int step_dirs[16] = {0, 0x01, 0, 0, 0xF1, 0x3F, 0, 0, 0xFF, 0x3F, 0x3F, 0x3F, 0x3F, 0, 0x0F, 0xF0};
constexpr int slide_dirs[16] = {0, 0, 0x01, 0, 0, 0, 0xF0, 0x0F, 0, 0, 0, 0, 0, 0, 0xF0, 0x0F};

constexpr int DIFF = 170;  // a difference of two squares (walls included) indexes the tables at DIFF + it

struct Tables {
    signed char near[2 * DIFF + 1];  // square - king -> index j of the neighbour, -1 when not next to it
    signed char line[2 * DIFF + 1];  // b - a -> the step from a toward b along a line, 0 off the lines
    signed char dir[2][35];          // [side][step + 17] -> the side-relative direction of a step
    unsigned short checks[2][8];     // [side][j] -> bit t: a piece of type t on neighbour j attacks the king
    unsigned char around[8];         // [j] -> the neighbours next to neighbour j
};

constexpr Tables make_tables()
{
    Tables t{};
    for (int i = 0; i <= 2 * DIFF; i++) {
        t.near[i] = -1;
        t.line[i] = 0;
    }
    for (int j = 0; j < 8; j++)
        t.near[DIFF + NEAR[j]] = static_cast<signed char>(j);
    for (int s : NEAR)
        for (int k = 1; k <= 8; k++)
            t.line[DIFF + k * s] = static_cast<signed char>(s);
    for (int side = 0; side < 2; side++) {
        for (int i = 0; i < 35; i++)
            t.dir[side][i] = -1;
        for (int d = 0; d < 8; d++)
            t.dir[side][delta[side][d] + 17] = static_cast<signed char>(d);
    }
    for (int side = 0; side < 2; side++)
        for (int j = 0; j < 8; j++) {
            const int d = t.dir[side][17 - NEAR[j]];  // from the neighbour toward the king
            for (int type = 1; type < 16; type++)
                if (((step_dirs[type] | slide_dirs[type]) >> d) & 1)
                    t.checks[side][j] = static_cast<unsigned short>(t.checks[side][j] | 1 << type);
        }
    for (int j = 0; j < 8; j++)
        for (int i = 0; i < 8; i++)
            for (int s : NEAR)
                if (NEAR[i] - NEAR[j] == s)
                    t.around[j] = static_cast<unsigned char>(t.around[j] | 1 << i);
    return t;
}
constexpr Tables T = make_tables();

int lowest(int m) { return __builtin_ctz(static_cast<unsigned>(m)); }
int edge_rank(int side, int sq) { return side ? (sq & 15) : 10 - (sq & 15); }

// The forms the engine's generators give a board move of `type` from `from` to `to`: the
// promote flag of each, in order; returns how many. A pawn, bishop or rook promotes whenever
// it may (the promoted piece attacks all the plain one does), a lance or knight on the last
// two ranks must.
int forms(int side, int type, int from, int to, bool *promote)
{
    const int r = edge_rank(side, to);
    const bool zone = r <= 3 || edge_rank(side, from) <= 3;
    promote[0] = false;
    switch (type) {
    case FU:
        promote[0] = r <= 3;
        return 1;
    case KY:
    case KE:
        promote[0] = r <= 3;
        promote[1] = false;
        return r == 3 ? 2 : 1;
    case GI:
        promote[1] = true;
        return zone ? 2 : 1;
    case KA:
    case HI:
        promote[0] = zone;
        return 1;
    default:
        return 1;
    }
}

// Makes move on a copy of p and looks for an answer of the defender: true when the move is
// legal and leaves none.
static_assert(offsetof(Position, hand) == offsetof(Position, board) + sizeof(Position::board));
static_assert(offsetof(Position, pin) < offsetof(Position, attack) && offsetof(Position, attack) < offsetof(Position, key));
bool mates(int side, const Position *p, int move)
{
    Position child;  // the pins are left out: MakeEvasion computes the defender's own
    std::memcpy(child.board, p->board, sizeof p->board + sizeof p->hand);
    std::memcpy(child.attack, p->attack, sizeof(Position) - offsetof(Position, attack));
    NewBoard(side, move, &child);
    if (in_check(side, &child))
        return false;  // the mover was pinned
    const int checkers = child.attack[side][child.king[side ^ 1]];
    if (!checkers)
        return false;
    int list[MOVE_LIST_SIZE];
    return MakeEvasion(side ^ 1, &child, checkers, list) == 0;
}

// One search for a mate in one. The filters before the copy-make only ever throw away
// moves that cannot mate: they count every attack that may exist after the move (the
// mover's old attacks stay counted) and only the defender's answers sure to remain.
struct Finder {
    const Position *p;
    int side, e, K;
    const int *b, *as, *ae;  // board, attacker's and defender's attack words
    int escapes;             // neighbours the king may step to now: not its own piece, not attacked

    // True when the defender's piece on q may not leave its line to the king once a piece
    // has left `from` (-1: none) and the attacker's piece x stands on t.
    bool pinned(int q, int from, int t, int x) const
    {
        const int s = T.line[DIFF + q - K];
        if (!s)
            return false;
        for (int n = K + s; n != q; n += s)
            if (n == t || (b[n] && n != from))
                return false;
        int n = q + s;
        while (n != t && (b[n] == 0 || n == from))
            n += s;
        const int w = n == t ? x : b[n];
        return (w & 0x30) == colour(side) && ((slide_dirs[w & 15] >> T.dir[side][17 - s]) & 1);
    }

    // True when one of the defender's pieces named by the attack bits `movers` of sq may
    // move there (a capture or an interposition), pins after the move applied.
    bool reaches(int sq, int movers, int from, int t, int x) const
    {
        for (; movers; movers &= movers - 1)
            if (!pinned(attacker_square(p, e, sq, lowest(movers)), from, t, x))
                return true;
        return false;
    }

    // The neighbours of the king that the attacker's sliders reach through `from` once the
    // mover has left it for t; *check is set when one of them reaches the king.
    int opened(int from, int t, bool *check) const
    {
        int mask = 0;
        for (int m = (as[from] >> 8) & 0xFF; m; m &= m - 1) {
            const int st = delta[side][lowest(m)];
            if (T.line[DIFF + from - t] == st)
                continue;  // the mover went back along the slide and still stops it
            for (int n = from + st;; n += st) {
                if (n == K) {
                    *check = true;
                    mask |= 1 << T.near[DIFF + st];
                    break;
                }
                const int j = T.near[DIFF + n - K];
                if (j >= 0)
                    mask |= 1 << j;
                if (n == t || b[n])
                    break;
            }
        }
        return mask;
    }

    // The neighbours of the king that the attacker's piece x on t attacks, with the king
    // counted as absent (it cannot step back along a slide) and `from` as empty.
    int cover(int x, int t, int from) const
    {
        const int type = x & 15;
        const int *dl = delta[side];
        int mask = 0;
        for (int m = step_dirs[type]; m; m &= m - 1) {
            const int j = T.near[DIFF + t + dl[lowest(m)] - K];
            if (j >= 0)
                mask |= 1 << j;
        }
        for (int m = slide_dirs[type]; m; m &= m - 1) {
            const int st = dl[lowest(m)];
            for (int n = t + st;; n += st) {
                if (n == K) {
                    mask |= 1 << T.near[DIFF + st];
                    break;
                }
                const int j = T.near[DIFF + n - K];
                if (j < 0)
                    break;  // a slide leaves the king's surroundings for good
                mask |= 1 << j;
                if (b[n] && n != from)
                    break;
            }
        }
        return mask;
    }

    // A check by the piece x landing next to the king on neighbour j (t), from `from` (-1
    // for a drop) whose attack bit on t is mover_bit; takers: the defender's attack bits on t
    // but its king's.
    bool contact_mate(int move, int x, int t, int j, int from, int mover_bit, int takers) const
    {
        const int tbit = 1 << j;
        if (from >= 0 && !(as[t] & ~mover_bit)) {
            // Only the mover attacks t: the king takes it unless a slider behind the mover
            // follows it onto t.
            const int s = T.line[DIFF + t - from];
            if (!s || !((as[from] >> (8 + T.dir[side][s + 17])) & 1))
                return false;
        }
        bool double_check = false;
        const int open = from >= 0 && (as[from] & 0xFF00) ? opened(from, t, &double_check) : 0;
        if ((escapes & ~tbit & ~open) && (escapes & ~tbit & ~open & ~cover(x, t, from)))
            return false;
        if (!double_check && takers && reaches(t, takers, from, t, x))
            return false;
        return mates(side, p, move);
    }

    // A check by the piece x on t, a knight's jump or a slide away from the king: nothing
    // but the mover's vacated square can take an escape from the king (bar a dragon's or
    // horse's step), interpositions are for the caller.
    bool distant_mate(int move, int x, int t, int from, int line_cover) const
    {
        bool double_check = false;
        const int open = from >= 0 && (as[from] & 0xFF00) ? opened(from, t, &double_check) : 0;
        const int rest = escapes & ~line_cover & ~open;
        if (rest && (rest & ~cover(x, t, from)))
            return false;
        if (!double_check && ae[t] && reaches(t, ae[t], from, t, x))
            return false;
        return mates(side, p, move);
    }

    // True when the defender can block a slide toward its king on `sq`, one of the empty
    // squares between, by a drop (it holds no silver, gold, bishop or rook) or a board move
    // of a piece not pinned now. line_bits: the step and the slide along the line toward the
    // king, which only a piece on or beyond the checker's square can make (the checker
    // takes the one and stops the other); king_bit: the king's own step.
    bool interposes(int sq, int line_bits, int king_bit) const
    {
        const int *hand = p->hand[e];
        const int r = edge_rank(e, sq);
        if ((hand[KY] && r >= 2) || (hand[KE] && r >= 3))
            return true;
        if (hand[FU] && r >= 2) {
            const int file = sq & 0xF0, pawn = colour(e) | FU;
            bool pawn_on_file = false;
            for (int rank = 1; rank <= 9; rank++)
                pawn_on_file |= b[file + rank] == pawn;
            if (!pawn_on_file)
                return true;
        }
        const int movers = ae[sq] & ~line_bits & ~king_bit;
        return movers && reaches(sq, movers, -1, -1, 0);
    }

    int find() const;
};

int Finder::find() const
{
    const int own = colour(side), foe = colour(e);
    const int *hand = p->hand[side];
    int drops = 0;  // types in hand that may mate by a drop next to the king (a pawn never may)
    for (int type = KY; type <= HI; type++)
        if (hand[type] && type != KE)
            drops |= 1 << type;

    // 1. Checks from the squares next to the king. A piece there needs the attacker's
    //    support (else the king takes it), so only squares it attacks now are looked at.
    for (int j = 0; j < 8; j++) {
        const int t = K + NEAR[j];
        const int a = as[t];
        const int w = b[t];
        if (!a || (w != 0 && (w & 0x30) != foe))
            continue;
        const int checking = T.checks[side][j];
        const int takers = ae[t] & ~(1 << T.dir[e][NEAR[j] + 17]);
        if (w == 0 && (drops & checking) && !(takers && reaches(t, takers, -1, t, 0))) {
            for (int type = HI; type >= KY; type--) {
                if (!(((drops & checking) >> type) & 1))
                    continue;
                const int move = make_move(0, t, type, 0, false);
                if (contact_mate(move, own | type, t, j, -1, 0, 0))
                    return move;
            }
        }
        for (int m = a; m; m &= m - 1) {
            const int bit = lowest(m);
            const int from = attacker_square(p, side, t, bit);
            const int type = b[from] & 15;
            if (type == OU)
                continue;
            bool promote[2];
            const int n = forms(side, type, from, t, promote);
            for (int i = 0; i < n; i++) {
                const int placed = promote[i] ? type | PROMOTE : type;
                if (!((checking >> placed) & 1))
                    continue;
                const int move = make_move(from, t, type, w & 15, promote[i]);
                if (contact_mate(move, own | placed, t, j, from, 1 << bit, takers))
                    return move;
            }
        }
    }

    // 2. Knight checks: the knight covers no square next to the king.
    for (int jump = 16; jump <= 17; jump++) {
        const int t = K - delta[side][jump];
        if (!on_board(t) || edge_rank(side, t) < 3)
            continue;  // a knight there would have to promote
        const int w = b[t];
        if (w != 0 && (w & 0x30) != foe)
            continue;
        if (w == 0 && hand[KE] && !escapes) {
            const int move = make_move(0, t, KE, 0, false);
            if (distant_mate(move, own | KE, t, -1, 0))
                return move;
        }
        for (int m = as[t] & 0x30000; m; m &= m - 1) {
            const int from = t - delta[side][lowest(m)];
            const int move = make_move(from, t, KE, w & 15, false);
            if (distant_mate(move, own | KE, t, from, 0))
                return move;
        }
    }

    // 3. Slides from a distance. Against a silver, gold, bishop or rook in hand they never
    //    mate: it can be dropped between.
    const int *defender_hand = p->hand[e];
    if (defender_hand[GI] | defender_hand[KI] | defender_hand[KA] | defender_hand[HI])
        return 0;
    for (int j = 0; j < 8; j++) {
        const int s = NEAR[j];  // outward from the king
        const int b1 = K + s;
        if (b[b1] != 0)
            continue;
        const int line_cover = 1 << j | 1 << (7 - j);  // the first square out and the one behind the king
        if (escapes & ~line_cover & ~T.around[j])
            continue;  // only a dragon's or horse's step onto a square next to b1 could take more
        const int d = T.dir[side][17 - s];  // the direction of the check
        const int drop = d == 0 && hand[KY] ? KY : d < 4 ? (hand[HI] ? HI : 0) : (hand[KA] ? KA : 0);
        const int line_bits = 0x101 << T.dir[e][17 - s];
        for (int prev = b1, t = b1 + s;; prev = t, t += s) {
            if (interposes(prev, line_bits, prev == b1 ? 1 << T.dir[e][s + 17] : 0))
                break;
            const int w = b[t];
            if (w != 0 && (w & 0x30) != foe)
                break;
            if (w == 0 && drop) {
                const int move = make_move(0, t, drop, 0, false);
                if (distant_mate(move, own | drop, t, -1, line_cover))
                    return move;
            }
            for (int m = as[t]; m; m &= m - 1) {
                const int bit = lowest(m);
                const int from = attacker_square(p, side, t, bit);
                const int type = b[from] & 15;
                bool promote[2];
                const int n = forms(side, type, from, t, promote);
                for (int i = 0; i < n; i++) {
                    const int placed = promote[i] ? type | PROMOTE : type;
                    if (!((slide_dirs[placed] >> d) & 1))
                        continue;
                    const int move = make_move(from, t, type, w & 15, promote[i]);
                    if (distant_mate(move, own | placed, t, from, line_cover))
                        return move;
                }
            }
            if (w != 0)
                break;
        }
    }
    return 0;
}

}  // namespace

int mate_in_one(int side, const Position *p)
{
    const int e = side ^ 1, K = p->king[e];
    if (!K || in_check(side, p) || in_check(e, p))
        return 0;
    Finder f{p, side, e, K, p->board, p->attack[side], p->attack[e], 0};
    const int own = colour(side);
    for (int j = 0; j < 8; j++) {
        const int n = K + NEAR[j];
        const int w = p->board[n];
        if ((w == 0 || (w & 0x30) == own) && !p->attack[side][n])
            f.escapes |= 1 << j;
    }
    return f.find();
}
