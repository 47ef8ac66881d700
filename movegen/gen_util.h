// Small compile-time helpers of the move generators, by side (S = 0 or 1).
#pragma once

#include "board/position.h"

namespace gen {

// The side's colour bit; a test against it also stops at walls (which hold both bits).
template <int S> constexpr int OWN = S ? 16 : 32;
// Rank counted from the side's far edge: 1 is the last rank it moves toward.
template <int S> constexpr int edge_rank(int sq) { return S ? (sq & 15) : 10 - (sq & 15); }
template <int S> constexpr bool in_zone(int sq) { return edge_rank<S>(sq) <= 3; }
// The side's step in direction d (0-7 steps, 16/17 knight jumps).
template <int S> constexpr int step(int d) { return delta[S][d]; }

constexpr int opposite_dir[8] = {1, 0, 3, 2, 7, 6, 5, 4};

inline int word(int from, int to, int piece, int captured) { return from | (to << 8) | (piece << 16) | (captured << 20); }
inline int drop_word(int to, int piece) { return (to << 8) | (piece << 16); }

}  // namespace gen
