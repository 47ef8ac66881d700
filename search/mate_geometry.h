// Board geometry shared by the quick mate tests: the king's neighbours, which piece types
// check from where, lines between squares, the forms in which the generators give a move,
// and a copy of a position without its pins.
#pragma once

#include <cstddef>
#include <cstring>

#include "board/position.h"

namespace mate_geometry {

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
inline constexpr Tables T = make_tables();

inline int lowest(int m) { return __builtin_ctz(static_cast<unsigned>(m)); }
inline int type_of_highest(int m) { return 31 - __builtin_clz(static_cast<unsigned>(m)); }
// Rank counted from side's far edge: 1 is the last rank it moves toward.
template <int S> constexpr int edge_rank(int sq) { return S ? (sq & 15) : 10 - (sq & 15); }

// Origin of the piece of side S named by bit b of its attack word on sq.
template <int S>
inline int origin(const int *board, int sq, int b)
{
    if (b < 8 || b >= 16)
        return sq - delta[S][b];
    const int step = delta[S][b - 8];
    int from = sq - step;
    while (board[from] == 0)
        from -= step;
    return from;
}

// The forms the engine's generators give a board move of `type` from `from` to `to`: the
// promote flag of each, in order; returns how many. A pawn, bishop or rook promotes whenever
// it may (the promoted piece attacks all the plain one does), a lance or knight on the last
// two ranks must.
template <int S>
inline int forms(int type, int from, int to, bool *promote)
{
    const int r = edge_rank<S>(to);
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
        return r <= 3 || edge_rank<S>(from) <= 3 ? 2 : 1;
    case KA:
    case HI:
        promote[0] = r <= 3 || edge_rank<S>(from) <= 3;
        return 1;
    default:
        return 1;
    }
}

// The neighbours of the king on K that the piece x of side S on t attacks on the board b,
// with the king counted as absent (it cannot step back along a slide) and `from` as empty.
template <int S>
inline int king_cover(const int *b, int K, int x, int t, int from)
{
    const int type = x & 15;
    int mask = 0;
    for (int m = step_dirs[type]; m; m &= m - 1) {
        const int j = T.near[DIFF + t + delta[S][lowest(m)] - K];
        if (j >= 0)
            mask |= 1 << j;
    }
    for (int m = slide_dirs[type]; m; m &= m - 1) {
        const int st = delta[S][lowest(m)];
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

// A copy of from without the pins: MakeEvasion computes the defender's own, and neither
// the king's moves nor the mate tests read any.
static_assert(offsetof(Position, hand) == offsetof(Position, board) + sizeof(Position::board));
static_assert(offsetof(Position, pin) < offsetof(Position, attack) && offsetof(Position, attack) < offsetof(Position, key));
inline void copy_without_pins(Position *to, const Position *from)
{
    std::memcpy(to->board, from->board, sizeof from->board + sizeof from->hand);
    std::memcpy(to->attack, from->attack, sizeof(Position) - offsetof(Position, attack));
}

}  // namespace mate_geometry
