#include "movegen/move_to.h"

#include "movegen/gen_util.h"

using namespace gen;

namespace {

template <int S>
struct ToSquare {
    const Position *p;
    int to;
    int captured;
    bool to_zone;
    int *out;

    void put(int from, int piece) { *out++ = word(from, to, piece, captured); }
    void put_promote(int from, int piece) { *out++ = word(from, to, piece, captured) | MOVE_PROMOTE; }

    // A one-step attack in direction D: the piece stands on to - step(D).
    template <int D> void stepper(int with_king)
    {
        const int from = to - step<S>(D);
        const int type = p->board[from] & 15;
        if (type == OU) {
            if (with_king && p->attack[S ^ 1][to] == 0)
                put(from, OU);
            return;
        }
        if (!(p->pin[S][from] & (1 << D)))
            return;
        switch (type) {
        case FU:
            if (to_zone)
                put_promote(from, FU);
            else
                put(from, FU);
            break;
        case GI:
            put(from, GI);
            if (to_zone || in_zone<S>(from))
                put_promote(from, GI);
            break;
        default:  // gold, promoted pieces, horse and dragon steps
            put(from, type);
            break;
        }
    }
    template <int D> void knight()
    {
        const int from = to - step<S>(D);
        if (p->pin[S][from] != 255)
            return;
        const int r = edge_rank<S>(to);
        if (r <= 2) {
            put_promote(from, KE);
        } else {
            put(from, KE);
            if (r == 3)
                put_promote(from, KE);
        }
    }
    // A sliding attack along direction D: the slider is the first piece behind to.
    template <int D> void slider()
    {
        int from = to - step<S>(D);
        while (p->board[from] == 0)
            from -= step<S>(D);
        if (!(p->pin[S][from] & (1 << D)))
            return;
        const int type = p->board[from] & 15;
        if (type == UM || type == RY) {
            put(from, type);
        } else if (to_zone) {  // lance, bishop, rook
            put_promote(from, type);
        } else {
            put(from, type);
            if (in_zone<S>(from))
                put_promote(from, type);
        }
    }

    void run(int a, int with_king)
    {
        if (a & 0xFF) {
            if (a & 0x01) stepper<0>(with_king);
            if (a & 0x10) stepper<4>(with_king);
            if (a & 0x20) stepper<5>(with_king);
            if (a & 0x04) stepper<2>(with_king);
            if (a & 0x08) stepper<3>(with_king);
            if (a & 0x40) stepper<6>(with_king);
            if (a & 0x80) stepper<7>(with_king);
            if (a & 0x02) stepper<1>(with_king);
        }
        if (a & 0x10000) knight<16>();
        if (a & 0x20000) knight<17>();
        if (a & 0xFF00) {
            if (a & 0x100) slider<0>();
            if (a & 0x200) slider<1>();
            if (a & 0x400) slider<2>();
            if (a & 0x800) slider<3>();
            if (a & 0x1000) slider<4>();
            if (a & 0x2000) slider<5>();
            if (a & 0x4000) slider<6>();
            if (a & 0x8000) slider<7>();
        }
    }
};

template <int S>
int move_to_square(const Position *p, int target, int *list, int with_king)
{
    const int a = p->attack[S][target];
    if (a == 0)
        return 0;
    ToSquare<S> g{p, target, p->board[target] & 15, in_zone<S>(target), list};
    g.run(a, with_king);
    return static_cast<int>(g.out - list);
}

}  // namespace

int MoveTo(int side, const Position *p, int target, int *list, int with_king)
{
    return side ? move_to_square<1>(p, target, list, with_king) : move_to_square<0>(p, target, list, with_king);
}
