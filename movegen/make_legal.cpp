#include "movegen/make_legal.h"

#include "board/attack.h"
#include "movegen/gen_util.h"

using namespace gen;

namespace {

// Writes the moves of one piece. QUIET: only moves onto empty squares. `dirs` are the
// pin-mask bits of the directions allowed; a knight jumps only when dirs is 255.
template <int S, bool QUIET>
struct PieceMoves {
    const Position *p;
    int from;
    int *out;

    // Target is free for a step: empty, or (not QUIET) an enemy piece; never own or wall.
    bool open(int t) const { return QUIET ? p->board[t] == 0 : !(p->board[t] & OWN<S>); }
    void put(int t, int piece) { *out++ = word(from, t, piece, p->board[t] & 15); }
    void put_promote(int t, int piece) { *out++ = word(from, t, piece, p->board[t] & 15) | MOVE_PROMOTE; }

    // Pawn and knight targets: last two ranks promote only, third both, else plain.
    void forward_piece(int t, int piece)
    {
        const int r = edge_rank<S>(t);
        if (r <= 2) {
            put_promote(t, piece);
        } else if (r == 3) {
            put_promote(t, piece);
            put(t, piece);
        } else {
            put(t, piece);
        }
    }

    template <int D> void pawn()
    {
        const int t = from + step<S>(D);
        if (open(t)) {
            if (in_zone<S>(t))
                put_promote(t, FU);
            else
                put(t, FU);
        }
    }
    void lance()
    {
        for (int t = from + step<S>(0);; t += step<S>(0)) {
            const int w = p->board[t];
            if (w == 0) {
                forward_piece(t, KY);
                continue;
            }
            if (!QUIET && !(w & OWN<S>))
                forward_piece(t, KY);
            break;
        }
    }
    template <int D> void knight()
    {
        const int t = from + step<S>(D);
        if (open(t))
            forward_piece(t, KE);
    }
    // Silver: forward steps promote when the target is in the zone, backward ones when
    // the origin is; both forms, promotion first.
    template <int D> void silver(bool origin_in_zone)
    {
        const int t = from + step<S>(D);
        if (!open(t))
            return;
        if (D <= 5 ? in_zone<S>(t) : origin_in_zone)
            put_promote(t, GI);
        put(t, GI);
    }
    template <int D> void plain_step(int piece)
    {
        const int t = from + step<S>(D);
        if (open(t))
            put(t, piece);
    }
    // Bishop or rook: one move per target, promoting whenever it may.
    template <int D> void slide_promotable(int piece, bool origin_in_zone)
    {
        for (int t = from + step<S>(D);; t += step<S>(D)) {
            const int w = p->board[t];
            if (w != 0 && (QUIET || (w & OWN<S>)))
                break;
            if (origin_in_zone || in_zone<S>(t))
                put_promote(t, piece);
            else
                put(t, piece);
            if (w != 0)
                break;
        }
    }
    template <int D> void slide_plain(int piece)
    {
        for (int t = from + step<S>(D);; t += step<S>(D)) {
            const int w = p->board[t];
            if (w != 0 && (QUIET || (w & OWN<S>)))
                break;
            put(t, piece);
            if (w != 0)
                break;
        }
    }
    // King step: unattacked target, and not away from a slider that checks along the line.
    template <int D> void king(int enemy_on_king)
    {
        const int t = from + step<S>(D);
        if (open(t) && p->attack[S ^ 1][t] == 0 && !(enemy_on_king & (0x100 << opposite_dir[D])))
            put(t, OU);
    }

    void run(int code, int dirs)
    {
        const bool oz = in_zone<S>(from);
        switch (code) {
        case OWN<S> | FU:
            if (dirs & 0x01) pawn<0>();
            break;
        case OWN<S> | KY:
            if (dirs & 0x01) lance();
            break;
        case OWN<S> | KE:
            if (dirs == 255) {
                knight<16>();
                knight<17>();
            }
            break;
        case OWN<S> | GI:
            if (dirs & 0x01) silver<0>(oz);
            if (dirs & 0x10) silver<4>(oz);
            if (dirs & 0x20) silver<5>(oz);
            if (dirs & 0x40) silver<6>(oz);
            if (dirs & 0x80) silver<7>(oz);
            break;
        case OWN<S> | KI:
        case OWN<S> | TO:
        case OWN<S> | NY:
        case OWN<S> | NK:
        case OWN<S> | NG: {
            const int piece = code & 15;
            if (dirs & 0x01) plain_step<0>(piece);
            if (dirs & 0x02) plain_step<1>(piece);
            if (dirs & 0x04) plain_step<2>(piece);
            if (dirs & 0x08) plain_step<3>(piece);
            if (dirs & 0x10) plain_step<4>(piece);
            if (dirs & 0x20) plain_step<5>(piece);
            break;
        }
        case OWN<S> | KA:
            if (dirs & 0x10) slide_promotable<4>(KA, oz);
            if (dirs & 0x20) slide_promotable<5>(KA, oz);
            if (dirs & 0x40) slide_promotable<6>(KA, oz);
            if (dirs & 0x80) slide_promotable<7>(KA, oz);
            break;
        case OWN<S> | HI:
            if (dirs & 0x01) slide_promotable<0>(HI, oz);
            if (dirs & 0x02) slide_promotable<1>(HI, oz);
            if (dirs & 0x04) slide_promotable<2>(HI, oz);
            if (dirs & 0x08) slide_promotable<3>(HI, oz);
            break;
        case OWN<S> | OU: {
            const int on_king = p->attack[S ^ 1][from];
            if (dirs & 0x01) king<0>(on_king);
            if (dirs & 0x02) king<1>(on_king);
            if (dirs & 0x04) king<2>(on_king);
            if (dirs & 0x08) king<3>(on_king);
            if (dirs & 0x10) king<4>(on_king);
            if (dirs & 0x20) king<5>(on_king);
            if (dirs & 0x40) king<6>(on_king);
            if (dirs & 0x80) king<7>(on_king);
            break;
        }
        case OWN<S> | UM:
            if (dirs & 0x10) slide_plain<4>(UM);
            if (dirs & 0x20) slide_plain<5>(UM);
            if (dirs & 0x40) slide_plain<6>(UM);
            if (dirs & 0x80) slide_plain<7>(UM);
            if (dirs & 0x01) plain_step<0>(UM);
            if (dirs & 0x02) plain_step<1>(UM);
            if (dirs & 0x04) plain_step<2>(UM);
            if (dirs & 0x08) plain_step<3>(UM);
            break;
        case OWN<S> | RY:
            if (dirs & 0x01) slide_plain<0>(RY);
            if (dirs & 0x02) slide_plain<1>(RY);
            if (dirs & 0x04) slide_plain<2>(RY);
            if (dirs & 0x08) slide_plain<3>(RY);
            if (dirs & 0x10) plain_step<4>(RY);
            if (dirs & 0x20) plain_step<5>(RY);
            if (dirs & 0x40) plain_step<6>(RY);
            if (dirs & 0x80) plain_step<7>(RY);
            break;
        default:
            break;  // not a piece of this side (or type 13, which no piece has)
        }
    }
};

template <int S, bool QUIET>
inline int piece_moves(int from, int code, int dirs, const Position *p, int *list)
{
    PieceMoves<S, QUIET> g{p, from, list};
    g.run(code, dirs);
    return static_cast<int>(g.out - list);
}

template <int S>
int make_move(Position *p, int *list)
{
    MakePin(S, p);
    int *out = list;
    for (int sq : position_tbl) {
        const int w = p->board[sq];
        if (w & OWN<S>)
            out += piece_moves<S, false>(sq, w, p->pin[S][sq], p, out);
    }
    return static_cast<int>(out - list);
}

template <int S>
int make_drop(const Position *p, int *list)
{
    const int *hand = p->hand[S];
    const int *board = p->board;
    int *out = list;
    // Ranks where a pawn or lance can stand, ascending: side 0 ranks 1-8, side 1 ranks 2-9.
    constexpr int first = S ? 2 : 1, last = S ? 9 : 8;
    if (hand[FU]) {
        for (int f = 16; f <= 144; f += 16) {
            bool pawn_on_file = false;
            for (int r = first; r <= last; r++)
                pawn_on_file |= board[f + r] == (OWN<S> | FU);
            if (pawn_on_file)
                continue;
            for (int r = first; r <= last; r++)
                if (board[f + r] == 0)
                    *out++ = drop_word(f + r, FU);
        }
    }
    int empty[81];
    int n = 0;
    for (int sq : position_tbl)
        if (board[sq] == 0)
            empty[n++] = sq;
    if (hand[KY])
        for (int i = 0; i < n; i++)
            if (edge_rank<S>(empty[i]) >= 2)
                *out++ = drop_word(empty[i], KY);
    if (hand[KE])
        for (int i = 0; i < n; i++)
            if (edge_rank<S>(empty[i]) >= 3)
                *out++ = drop_word(empty[i], KE);
    for (int type = GI; type <= HI; type++)
        if (hand[type])
            for (int i = 0; i < n; i++)
                *out++ = drop_word(empty[i], type);
    return static_cast<int>(out - list);
}

}  // namespace

int MakeMove(int side, Position *p, int *list) { return side ? make_move<1>(p, list) : make_move<0>(p, list); }

int MakeMoveKing(int side, const Position *p, int *list)
{
    const int k = p->king[side];
    return side ? piece_moves<1, false>(k, 16 | OU, 255, p, list) : piece_moves<0, false>(k, 32 | OU, 255, p, list);
}

int move_sub(int side, int from, int code, const Position *p, int *list)
{
    const int dirs = p->pin[side][from];
    return side ? piece_moves<1, false>(from, code, dirs, p, list) : piece_moves<0, false>(from, code, dirs, p, list);
}

int move_sub_quiet(int side, int from, int dirs, const Position *p, int *list)
{
    const int code = p->board[from];
    return side ? piece_moves<1, true>(from, code, dirs, p, list) : piece_moves<0, true>(from, code, dirs, p, list);
}

int MakeDrop(int side, const Position *p, int *list) { return side ? make_drop<1>(p, list) : make_drop<0>(p, list); }
