#include "search/mate_one.h"

#include "board/new_board.h"
#include "movegen/make_evasion.h"
#include "movegen/make_legal.h"
#include "search/mate_geometry.h"

namespace {

using namespace mate_geometry;

// Makes move on a copy of p and looks for an answer of the defender: true when the move is
// legal and leaves none.
bool mates(int side, const Position *p, int move)
{
    Position child;
    copy_without_pins(&child, p);
    NewBoard(side, move, &child);
    if (in_check(side, &child))
        return false;  // the mover was pinned
    const int checkers = child.attack[side][child.king[side ^ 1]];
    if (!checkers)
        return false;
    int list[MOVE_LIST_SIZE];
    return MakeEvasion(side ^ 1, &child, checkers, list) == 0;
}

// One search for a mate by side S. The filters before the copy-make only ever throw away
// moves that cannot mate: they count every attack that may exist after the move (the
// mover's old attacks stay counted) and only the defender's answers sure to remain.
template <int S>
struct Finder {
    static constexpr int E = S ^ 1;               // the defender
    static constexpr int OWN = S ? 16 : 32, FOE = S ? 32 : 16;
    const Position *p;
    int K;                   // the defender's king
    const int *b, *as, *ae;  // board, attacker's and defender's attack words
    int escapes = 0;         // neighbours the king may step to now: not its own piece, not attacked

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
        return (w & 0x30) == OWN && ((slide_dirs[w & 15] >> T.dir[S][17 - s]) & 1);
    }

    // True when one of the defender's pieces named by the attack bits `movers` of sq may
    // move there (a capture or an interposition), pins after the move applied.
    bool reaches(int sq, int movers, int from, int t, int x) const
    {
        for (; movers; movers &= movers - 1)
            if (!pinned(origin<E>(b, sq, lowest(movers)), from, t, x))
                return true;
        return false;
    }

    // The neighbours of the king that the attacker's sliders reach through `from` once the
    // mover has left it for t; *check is set when one of them reaches the king.
    int opened(int from, int t, bool *check) const
    {
        int mask = 0;
        for (int m = (as[from] >> 8) & 0xFF; m; m &= m - 1) {
            const int st = delta[S][lowest(m)];
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

    // The neighbours of the king that the attacker's piece x on t attacks (see king_cover).
    int cover(int x, int t, int from) const { return king_cover<S>(b, K, x, t, from); }

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
            if (!s || !((as[from] >> (8 + T.dir[S][s + 17])) & 1))
                return false;
        }
        bool double_check = false;
        const int open = from >= 0 && (as[from] & 0xFF00) ? opened(from, t, &double_check) : 0;
        const int rest = escapes & ~tbit & ~open;
        if (rest && (rest & ~cover(x, t, from)))
            return false;
        if (!double_check && takers && reaches(t, takers, from, t, x))
            return false;
        return mates(S, p, move);
    }

    // A check by the piece x on t, a knight's jump or a slide away from the king: nothing
    // but the mover's vacated square can take an escape from the king (bar a dragon's or
    // horse's step) beyond line_cover, the squares the slide takes; interpositions are for
    // the caller.
    bool distant_mate(int move, int x, int t, int from, int line_cover) const
    {
        bool double_check = false;
        const int open = from >= 0 && (as[from] & 0xFF00) ? opened(from, t, &double_check) : 0;
        const int rest = escapes & ~line_cover & ~open;
        if (rest && (rest & ~cover(x, t, from)))
            return false;
        if (!double_check && ae[t] && reaches(t, ae[t], from, t, x))
            return false;
        return mates(S, p, move);
    }

    // True when the defender can block a slide toward its king on `sq`, one of the empty
    // squares between, by a drop (it holds no silver, gold, bishop or rook) or a board move
    // of a piece not pinned now. line_bits: the step and the slide along the line toward the
    // king, which only a piece on or beyond the checker's square can make (the checker
    // takes the one and stops the other); king_bit: the king's own step.
    bool interposes(int sq, int line_bits, int king_bit) const
    {
        const int *hand = p->hand[E];
        const int r = edge_rank<E>(sq);
        if ((hand[KY] && r >= 2) || (hand[KE] && r >= 3))
            return true;
        if (hand[FU] && r >= 2) {
            const int file = sq & 0xF0;
            bool pawn_on_file = false;
            for (int rank = 1; rank <= 9; rank++)
                pawn_on_file |= b[file + rank] == (FOE | FU);
            if (!pawn_on_file)
                return true;
        }
        const int movers = ae[sq] & ~line_bits & ~king_bit;
        return movers && reaches(sq, movers, -1, -1, 0);
    }

    int find();
    int contact_checks(int targets);
    int knight_checks();
    int distant_checks(int empty);
    int line_checks(int j);
};

template <int S>
int Finder<S>::find()
{
    // Neighbours of the king: where it may step now, where a piece could check by contact
    // (the attacker must attack it, or the king takes the piece there), which are empty.
    int targets = 0, empty = 0;
#pragma GCC unroll 8
    for (int j = 0; j < 8; j++) {
        const int n = K + NEAR[j];
        const int w = b[n], a = as[n];
        escapes |= (!(w & FOE) && !a) << j;
        targets |= (a && !(w & OWN)) << j;  // a wall holds both colours
        empty |= (w == 0) << j;
    }
    if (const int m = targets ? contact_checks(targets) : 0)
        return m;
    if (const int m = knight_checks())
        return m;
    // Slides from a distance never mate against a silver, gold, bishop or rook in hand: it
    // can be dropped between.
    const int *defender_hand = p->hand[E];
    if (defender_hand[GI] | defender_hand[KI] | defender_hand[KA] | defender_hand[HI])
        return 0;
    return distant_checks(empty);
}

// 1. Checks from the squares next to the king that the attacker attacks.
template <int S>
int Finder<S>::contact_checks(int targets)
{
    const int *hand = p->hand[S];
    int drops = 0;  // types in hand that may mate by a drop next to the king (a pawn never may)
    for (int type = KY; type <= HI; type++)
        drops |= (hand[type] != 0 && type != KE) << type;
    for (; targets; targets &= targets - 1) {
        const int j = lowest(targets);
        const int t = K + NEAR[j];
        const int a = as[t];
        const int w = b[t];
        const int checking = T.checks[S][j];
        const int takers = ae[t] & ~(1 << T.dir[E][NEAR[j] + 17]);
        if (w == 0 && (drops & checking) && !(takers && reaches(t, takers, -1, t, 0))) {
            for (int type = HI; type >= KY; type--) {
                if (!(((drops & checking) >> type) & 1))
                    continue;
                const int move = make_move(0, t, type, 0, false);
                if (contact_mate(move, OWN | type, t, j, -1, 0, 0))
                    return move;
            }
        }
        for (int m = a; m; m &= m - 1) {
            const int bit = lowest(m);
            const int from = origin<S>(b, t, bit);
            const int type = b[from] & 15;
            if (type == OU)
                continue;
            bool promote[2];
            const int n = forms<S>(type, from, t, promote);
            for (int i = 0; i < n; i++) {
                const int placed = promote[i] ? type | PROMOTE : type;
                if (!((checking >> placed) & 1))
                    continue;
                const int move = make_move(from, t, type, w & 15, promote[i]);
                if (contact_mate(move, OWN | placed, t, j, from, 1 << bit, takers))
                    return move;
            }
        }
    }
    return 0;
}

// 2. Knight checks: the knight takes no square next to the king.
template <int S>
int Finder<S>::knight_checks()
{
    if (edge_rank<S>(K) > 7)
        return 0;  // the knight's squares are off the board
    for (int jump = 16; jump <= 17; jump++) {
        const int t = K - delta[S][jump];  // two ranks further back: the knight need not promote
        const int w = b[t];
        if (w & OWN)
            continue;  // the attacker's own piece, or a wall
        if (w == 0 && p->hand[S][KE] && !escapes) {
            const int move = make_move(0, t, KE, 0, false);
            if (distant_mate(move, OWN | KE, t, -1, 0))
                return move;
        }
        for (int m = as[t] & 0x30000; m; m &= m - 1) {
            const int from = t - delta[S][lowest(m)];
            if (escapes && !(as[from] & 0xFF00))
                continue;  // nothing but a slide through from could take the escapes
            const int move = make_move(from, t, KE, w & 15, false);
            if (distant_mate(move, OWN | KE, t, from, 0))
                return move;
        }
    }
    return 0;
}

// 3. Slides from a distance along each line out of the king through an empty neighbour.
template <int S>
int Finder<S>::distant_checks(int empty)
{
    for (; empty; empty &= empty - 1)
        if (const int m = line_checks(lowest(empty)))
            return m;
    return 0;
}

// Along the line out of the king through its empty neighbour j: lance, bishop and rook
// drops, and board moves after which a lance, bishop, rook, horse or dragon slides to the
// king from beyond that neighbour.
template <int S>
int Finder<S>::line_checks(int j)
{
    const int line_cover = 1 << j | 1 << (7 - j);  // the first square out and the one behind the king
    const int rest = escapes & ~line_cover;
    if (rest & ~T.around[j])
        return 0;  // only a dragon's or horse's step onto a square next to the first one could take more
    const int *hand = p->hand[S];
    const int s = NEAR[j];           // outward from the king
    const int d = T.dir[S][17 - s];  // the direction of the check
    const int drop = rest ? 0 : d == 0 && hand[KY] ? KY : d < 4 ? (hand[HI] ? HI : 0) : (hand[KA] ? KA : 0);
    // Attack bits on a square of the line of the pieces that may slide along it after their
    // move: slides across it, and the diagonal steps of a dragon (orthogonal line) or the
    // orthogonal steps of a horse (diagonal line).
    const int sliders = d < 4 ? 0x0FF0 : 0xF00F;
    const int line_bits = 0x101 << T.dir[E][17 - s];
    const int king_bit = 1 << T.dir[E][s + 17];
    int clear = K + s;  // the squares before this one take no interposition
    for (int t = K + 2 * s;; t += s) {
        const int w = b[t];
        if (w != 0 && (w & 0x30) != FOE)
            return 0;
        const int movers = as[t] & sliders;
        if ((w == 0 && drop) || movers) {
            for (; clear != t; clear += s)
                if (interposes(clear, line_bits, clear == K + s ? king_bit : 0))
                    return 0;
            if (w == 0 && drop) {
                const int move = make_move(0, t, drop, 0, false);
                if (distant_mate(move, OWN | drop, t, -1, line_cover))
                    return move;
            }
            for (int m = movers; m; m &= m - 1) {
                const int bit = lowest(m);
                const int from = origin<S>(b, t, bit);
                const int type = b[from] & 15;
                bool promote[2];
                const int n = forms<S>(type, from, t, promote);
                for (int i = 0; i < n; i++) {
                    const int placed = promote[i] ? type | PROMOTE : type;
                    if (!((slide_dirs[placed] >> d) & 1))
                        continue;
                    const int move = make_move(from, t, type, w & 15, promote[i]);
                    if (distant_mate(move, OWN | placed, t, from, line_cover))
                        return move;
                }
            }
        }
        if (w != 0)
            return 0;
    }
}

template <int S>
int find_mate(const Position *p)
{
    const int K = p->king[S ^ 1];
    if (!K || in_check(S, p) || in_check(S ^ 1, p))
        return 0;
    Finder<S> f{p, K, p->board, p->attack[S], p->attack[S ^ 1]};
    return f.find();
}

}  // namespace

int mate_in_one(int side, const Position *p) { return side ? find_mate<1>(p) : find_mate<0>(p); }
