#include "search/mate_three.h"

#include "board/new_board.h"
#include "movegen/make_evasion.h"
#include "movegen/make_legal.h"
#include "search/mate_geometry.h"
#include "search/mate_one.h"

namespace {

using namespace mate_geometry;

// Answers to a contact check: at most 8 king moves and two moves per attack bit (18) onto
// the checker's square; a contact check leaves nothing to interpose, and with a second
// (discovered) checker only the king moves.
constexpr int ANSWER_LIST_SIZE = 64;

// A check after which the king may still step to this many squares is left out: each of
// them would need a mate in one, which is rare (about 3% of the mates) and costly to prove.
constexpr int ROOMY = 3;
// True when the mask of squares m holds ROOMY of them or more.
constexpr bool roomy_mask(int m)
{
    for (int i = 1; i < ROOMY; i++)
        m &= m - 1;
    return m != 0;
}

template <int S>
struct Finder {
    static constexpr int E = S ^ 1;  // the defender
    static constexpr int OWN = S ? 16 : 32, FOE = S ? 32 : 16;
    const Position *p;
    int K;                   // the defender's king
    const int *b, *as, *ae;  // board, attacker's and defender's attack words
    int escapes = 0;         // neighbours the king may step to now: not its own piece, not attacked

    // True when, after the answer made on a copy of child, mate_in_one finds a mate.
    bool answered(const Position *child, int answer) const
    {
        Position next;
        copy_without_pins(&next, child);
        NewBoard(E, answer, &next);
        return mate_in_one(S, &next) != 0;
    }

    // True when move (a contact check by construction) is legal and every answer of the
    // defender is met by a mate in one; a move without answers mates at once and counts,
    // but for a pawn drop (illegal then). The king's moves come first: most often one of
    // them escapes, and the captures (with the pins they need) are then never generated.
    bool proves(int move) const
    {
        Position child;
        copy_without_pins(&child, p);
        NewBoard(S, move, &child);
        if (in_check(S, &child))
            return false;  // the mover was pinned
        const int checkers = child.attack[S][K];
        int list[ANSWER_LIST_SIZE];
        const int kings = MakeMoveKing(E, &child, list);
        for (int i = 0; i < kings; i++)
            if (!answered(&child, list[i]))
                return false;
        // Captures of the checker by other pieces than the king, when it stands alone and
        // a piece of the defender attacks it.
        const int t = move_to(move);
        const int j = T.near[DIFF + t - K];
        const int takers = child.attack[E][t] & ~(j >= 0 ? 1 << T.dir[E][t - K + 17] : 0);
        int n = kings;
        if (takers && !(checkers & (checkers - 1))) {
            n = MakeEvasion(E, &child, checkers, list);  // the same king moves first, then the captures
            for (int i = kings; i < n; i++)
                if (!answered(&child, list[i]))
                    return false;
        }
        return n > 0 || move_from(move) != 0 || move_piece(move) != FU;
    }

    // The attacker attacks t once the piece on `from` (mover_bit on t) has moved there:
    // another piece, or a slider behind the mover that follows it.
    bool supported(int t, int from, int mover_bit) const
    {
        if (as[t] & ~mover_bit)
            return true;
        const int s = T.line[DIFF + t - from];
        return s && ((as[from] >> (8 + T.dir[S][s + 17])) & 1);
    }

    // The neighbours of the king that the attacker's piece x on t attacks (see king_cover).
    int cover(int x, int t, int from) const { return king_cover<S>(b, K, x, t, from); }

    // The neighbours of the king that the attacker's sliders reach through `from` once the
    // mover has left it for t.
    int opened(int from, int t) const
    {
        int mask = 0;
        for (int m = (as[from] >> 8) & 0xFF; m; m &= m - 1) {
            const int st = delta[S][lowest(m)];
            if (T.line[DIFF + from - t] == st)
                continue;  // the mover went back along the slide and still stops it
            for (int n = from + st; n != K; n += st) {
                const int j = T.near[DIFF + n - K];
                if (j >= 0)
                    mask |= 1 << j;
                if (n == t || b[n])
                    break;
            }
        }
        return mask;
    }

    // True when the king may still step to ROOMY squares or more after the piece x has
    // checked from t (from: its origin, 0 for a drop; j: t's index next to the king, -1
    // for a knight's square). Attacks that the move takes away (the mover's own from its
    // origin, slides it stops on t) are still counted: the test errs toward trying.
    bool roomy(int x, int t, int j, int from) const
    {
        int rest = j >= 0 ? escapes & ~(1 << j) : escapes;
        if (!roomy_mask(rest))
            return false;
        rest &= ~cover(x, t, from);
        if (from && (as[from] & 0xFF00))
            rest &= ~opened(from, t);
        return roomy_mask(rest);
    }

    // A pawn of the attacker stands on the file of sq.
    bool pawn_on_file(int sq) const
    {
        const int file = sq & 0xF0;
        for (int rank = 1; rank <= 9; rank++)
            if (b[file + rank] == (OWN | FU))
                return true;
        return false;
    }

    int find();
};

template <int S>
int Finder<S>::find()
{
    // Neighbours of the king: where it may step now, where a piece could check by contact
    // with support (the attacker attacks it and holds no piece there).
    int targets = 0;
#pragma GCC unroll 8
    for (int j = 0; j < 8; j++) {
        const int n = K + NEAR[j];
        const int w = b[n], a = as[n];
        escapes |= (!(w & FOE) && !a) << j;
        targets |= (a && !(w & OWN)) << j;  // a wall holds both colours
    }
    const int *hand = p->hand[S];
    int drops = -1;  // types in hand, once needed
    // 1. Onto the squares next to the king. A checker there that nothing of the attacker's
    // attacks is taken by the king: such sacrifices are left out.
    for (; targets; targets &= targets - 1) {
        const int j = lowest(targets);
        const int t = K + NEAR[j];
        const int w = b[t];
        const int checking = T.checks[S][j];
        if (w == 0) {
            if (drops < 0) {
                drops = 0;
#pragma GCC unroll 7
                for (int type = FU; type <= HI; type++)
                    drops |= (hand[type] != 0) << type;
            }
            for (int m = drops & checking; m; m &= ~(1 << type_of_highest(m))) {
                const int type = type_of_highest(m);
                if ((type == FU && pawn_on_file(t)) || roomy(OWN | type, t, j, 0))
                    continue;
                const int move = make_move(0, t, type, 0, false);
                if (proves(move))
                    return move;
            }
        }
        for (int m = as[t]; m; m &= m - 1) {
            const int bit = lowest(m);
            const int from = origin<S>(b, t, bit);
            const int type = b[from] & 15;
            if (type == OU || !supported(t, from, 1 << bit))
                continue;
            bool promote[2];
            const int n = forms<S>(type, from, t, promote);
            for (int i = 0; i < n; i++) {
                const int placed = promote[i] ? type | PROMOTE : type;
                if (!((checking >> placed) & 1) || roomy(OWN | placed, t, j, from))
                    continue;
                const int move = make_move(from, t, type, w & 15, promote[i]);
                if (proves(move))
                    return move;
            }
        }
    }
    // 2. Knight checks, dropped or jumped (the plain form: a knight two ranks behind the king
    // never must promote). One that a defender's piece can take with nothing to take back
    // is left out; one that nothing can take needs no support.
    if (edge_rank<S>(K) > 7)
        return 0;  // the knight's squares are off the board
    if (!hand[KE] && !((as[K - delta[S][16]] | as[K - delta[S][17]]) & 0x30000))
        return 0;  // no knight to drop or to jump there
    for (int jump = 16; jump <= 17; jump++) {
        const int t = K - delta[S][jump];
        const int w = b[t];
        if (w & OWN)
            continue;
        const bool safe = !ae[t];
        if (w == 0 && hand[KE] && (safe || as[t]) && !roomy(OWN | KE, t, -1, 0)) {
            const int move = make_move(0, t, KE, 0, false);
            if (proves(move))
                return move;
        }
        for (int m = as[t] & 0x30000; m; m &= m - 1) {
            const int bit = lowest(m);
            const int from = t - delta[S][bit];
            if ((!safe && !supported(t, from, 1 << bit)) || roomy(OWN | KE, t, -1, from))
                continue;
            const int move = make_move(from, t, KE, w & 15, false);
            if (proves(move))
                return move;
        }
    }
    return 0;
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

int mate_in_three(int side, const Position *p) { return side ? find_mate<1>(p) : find_mate<0>(p); }
