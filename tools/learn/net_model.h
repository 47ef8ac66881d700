// The evaluation network in floating point, as the trainer learns it, and its rounding to
// the engine's fixed-point form (eval/network.h).
//
// value (centipawns) = output_scale x (sum_i wo[i] act(a_us[i]) + wo[H + i] act(a_them[i]) + bo)
// a_us = b1 + sum of the W1 rows of the side to move's features, a_them the same for the
// other side's view; act = clamp(x, 0, 1) or its square.
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "eval/network.h"

// The other view's feature of the same piece: owner exchanged, the board turned.
constexpr int net_other_view_of(int f)
{
    if (f < NET_BOARD_FEATURES) {
        const int square = f % 81, kind = f / 81 % NET_KINDS, theirs = f / 81 / NET_KINDS;
        return ((1 - theirs) * NET_KINDS + kind) * 81 + 80 - square;
    }
    const int slot = (f - NET_BOARD_FEATURES) % NET_HAND_SLOTS, theirs = (f - NET_BOARD_FEATURES) / NET_HAND_SLOTS;
    return NET_BOARD_FEATURES + (1 - theirs) * NET_HAND_SLOTS + slot;
}

inline constexpr auto net_other_view_table = [] {
    std::array<std::uint16_t, NET_FEATURES> t{};
    for (int f = 0; f < NET_FEATURES; f++)
        t[static_cast<std::size_t>(f)] = static_cast<std::uint16_t>(net_other_view_of(f));
    return t;
}();
// The same from a table (the trainer asks it for every feature of every position).
inline int net_other_view(int f) { return net_other_view_table[static_cast<std::size_t>(f)]; }

struct NetModel {
    int hidden = 32;
    int activation = NET_CRELU;
    float output_scale = 100;  // centipawns of an output of 1.0 (small: finer output weights)
    std::vector<float> w1, b1, wo;
    float bo = 0;

    // Small random weights from seed; the output starts near zero (the linear evaluation alone).
    void init(int hidden_size, int activation_kind, std::uint64_t seed);
    // The network's value in centipawns of a position given its side to move's features
    // (the other view's are derived). Fills a_us and a_them (H each) when not null.
    float forward(const std::uint16_t *features, int n, float *a_us = nullptr, float *a_them = nullptr) const;
    // The fixed-point network: weights rounded to the engine's units and clipped to what
    // its int16 sums hold.
    void quantize(NetParameters *out) const;
    // Keeps the weights where their fixed-point form cannot overflow the engine's sums.
    void clip();
};

// The activation and its derivative, in floating point.
float net_activate(float x, int activation);
float net_activate_slope(float x, int activation);
