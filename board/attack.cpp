#include "board/attack.h"

#include <cstring>

namespace {

struct Pattern {
    int step;    // one-step directions, bit d = direction d
    int slide;   // sliding directions
    bool knight;
};

constexpr int GOLD_STEPS = 0x3F;  // forward, backward, both sideways, forward diagonals
constexpr Pattern patterns[16] = {
    {0, 0, false},            // empty (and walls: 48 & 15 == 0)
    {0x01, 0, false},         // pawn
    {0, 0x01, false},         // lance
    {0, 0, true},             // knight
    {0xF1, 0, false},         // silver
    {GOLD_STEPS, 0, false},   // gold
    {0, 0xF0, false},         // bishop
    {0, 0x0F, false},         // rook
    {0xFF, 0, false},         // king
    {GOLD_STEPS, 0, false},   // promoted pawn
    {GOLD_STEPS, 0, false},   // promoted lance
    {GOLD_STEPS, 0, false},   // promoted knight
    {GOLD_STEPS, 0, false},   // promoted silver
    {0, 0, false},            // no such piece
    {0x0F, 0xF0, false},      // horse
    {0xF0, 0x0F, false},      // dragon
};

inline int lowest_bit(int m) { return __builtin_ctz(static_cast<unsigned>(m)); }

// Sets (on) or clears bit on every square from sq + step up to the first non-empty one.
template <bool on>
inline void walk_slide(int *a, const int *board, int sq, int step, int bit)
{
    int t = sq;
    do {
        t += step;
        if (on) a[t] |= bit;
        else a[t] &= ~bit;
    } while (board[t] == 0);
}

// Sets (on) or clears the bits of the piece on sq in side's table.
template <bool on>
inline void apply_pattern(int side, int sq, Position *p)
{
    const int word = p->board[sq];
    const Pattern &pt = patterns[word & 15];
    const int *dl = delta[(word & 16) ? 1 : 0];
    int *a = p->attack[side];
    for (int m = pt.step; m; m &= m - 1) {
        const int d = lowest_bit(m);
        if (on) a[sq + dl[d]] |= 1 << d;
        else a[sq + dl[d]] &= ~(1 << d);
    }
    for (int m = pt.slide; m; m &= m - 1) {
        const int d = lowest_bit(m);
        walk_slide<on>(a, p->board, sq, dl[d], 0x100 << d);
    }
    if (pt.knight) {
        if (on) {
            a[sq + dl[16]] |= 0x10000;
            a[sq + dl[17]] |= 0x20000;
        } else {
            a[sq + dl[16]] &= ~0x10000;
            a[sq + dl[17]] &= ~0x20000;
        }
    }
}

// Continues (on) or cuts every slide that reaches sq beyond it.
template <bool on>
inline void slide_through(int sq, Position *p)
{
    for (int s = 1; s >= 0; s--) {
        int *a = p->attack[s];
        for (int m = (a[sq] >> 8) & 0xFF; m; m &= m - 1) {
            const int d = lowest_bit(m);
            walk_slide<on>(a, p->board, sq, delta[s][d], 0x100 << d);
        }
    }
}

}  // namespace

void AttackSet(int side, int sq, Position *p) { apply_pattern<true>(side, sq, p); }
void AttackClr(int side, int sq, Position *p) { apply_pattern<false>(side, sq, p); }
void AttackJmpSet(int sq, Position *p) { slide_through<true>(sq, p); }
void AttackJmpClr(int sq, Position *p) { slide_through<false>(sq, p); }

void AttackInit(Position *p)
{
    std::memset(p->attack, 0, sizeof p->attack);
    for (int sq : position_tbl) {
        const int w = p->board[sq];
        if (w & 16)
            AttackSet(1, sq, p);
        else if (w & 32)
            AttackSet(0, sq, p);
        p->pin[0][sq] = 255;
        p->pin[1][sq] = 255;
    }
}

void MakePin(int side, Position *p)
{
    for (int sq : position_tbl)
        p->pin[side][sq] = 255;
    const int k = p->king[side];
    if (k == 0)
        return;
    const int own = colour(side);
    const int *enemy_attack = p->attack[side ^ 1];
    for (int d = 0; d < 8; d++) {
        const int step = delta[side][d];
        int c = k + step;
        while (p->board[c] == 0)
            c += step;
        // A wall has the own colour bit too, but no slide ever reaches it from outside.
        if ((p->board[c] & own) && ((enemy_attack[c] >> 8) & pin_dirs[side][d]))
            p->pin[side][c] = pin_dirs[side][d];
    }
}

int attacker_square(const Position *p, int side, int sq, int b)
{
    if (b < 8)
        return sq - delta[side][b];
    if (b >= 16)
        return sq - delta[side][b];
    const int step = delta[side][b - 8];
    int t = sq - step;
    while (p->board[t] == 0)
        t -= step;
    return t;
}
