// A small evaluation network beside the linear tables: its output is added to them, so it
// learns what the tables miss (king danger above all).
//
// Inputs: one feature per piece, seen from each side. A piece on the board is its kind
// (P L N S G B R K +P +L +N +S +B +R), whose it is (ours or theirs) and its square; a piece
// in hand is its place there (the n-th pawn, lance, ... in hand: 18 4 4 4 4 2 2 slots).
// Side 0's view turns the board 180 degrees, so both views share one weight matrix:
//   2 owners x 14 kinds x 81 squares + 2 owners x 38 slots = 2,344 inputs.
// Network: (2344 -> H) for each view, a clipped ReLU (or its square) on both, then one
// output from [side to move's H, the other's H], in the engine's centipawns (pawn 128).
//
// Copy-make: an accumulator (H int16 per view) goes with each position copy; a move
// changes it by a few weight rows (a board move one out and one in per view, a capture or
// a drop one more of each) without looking at the rest of the board.
#pragma once

#include <cstdint>
#include <string>

#include "board/position.h"

constexpr int NET_KINDS = 14;
constexpr int NET_BOARD_FEATURES = 2 * NET_KINDS * 81;                // 2,268
constexpr int NET_HAND_SLOTS = 38;                                     // per owner
constexpr int NET_FEATURES = NET_BOARD_FEATURES + 2 * NET_HAND_SLOTS;  // 2,344
constexpr int NET_MAX_HIDDEN = 128;
constexpr int NET_MAX_ACTIVE = 40;     // a full set of pieces, kings included
constexpr int NET_FEATURE_SET = 1;     // the inputs above, no king buckets

// Fixed-point units: an accumulator value of 1.0 is NET_QACC, an output weight of 1.0 is
// NET_QB; fine enough that rounding moves the output by a centipawn or two. The clipped
// ReLU passes the accumulator on whole; its square is taken of 8 bits (NET_QA is 1.0) so
// that it fits 16 bits: (c * c + 128) >> 8, where 1.0 is NET_QA^2 / 256.
constexpr int NET_QA = 255;
constexpr int NET_ACC_SHIFT = 2;
constexpr int NET_QACC = NET_QA << NET_ACC_SHIFT;
constexpr int NET_QB = 256;
// An activation of 1.0 in fixed point.
constexpr double net_activation_unit(int activation)
{
    return activation == 1 ? NET_QA * NET_QA / 256.0 : NET_QACC;
}

enum NetActivation : int {
    NET_CRELU = 0,    // clamp(x, 0, 1)
    NET_SCRELU = 1,   // clamp(x, 0, 1) squared
};

// First slot of each type in a side's 38 hand slots (types FU..HI), and the slots of each.
inline constexpr int net_hand_base[8] = {0, 0, 18, 22, 26, 30, 34, 36};
inline constexpr int net_hand_slots[8] = {0, 18, 4, 4, 4, 4, 2, 2};

// Kind 0..13 of a board type (FU..RY), -1 for none.
constexpr int net_kind(int type)
{
    constexpr int kinds[16] = {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, -1, 12, 13};
    return kinds[type & 15];
}

// The feature of owner's piece of board type on square sq, in perspective's view. The king
// bucket is for inputs relative to the own king (none yet: bucket 0).
constexpr int net_board_feature(int perspective, int owner, int type, int sq, int bucket = 0)
{
    int i = ((sq >> 4) - 1) * 9 + (sq & 15) - 1;
    if (perspective == 0)
        i = 80 - i;
    const int theirs = owner == perspective ? 0 : 1;
    return bucket * NET_FEATURES + (theirs * NET_KINDS + net_kind(type)) * 81 + i;
}
// The feature of owner's n-th piece of type (FU..HI) in hand, n from 1.
constexpr int net_hand_feature(int perspective, int owner, int type, int n, int bucket = 0)
{
    const int theirs = owner == perspective ? 0 : 1;
    return bucket * NET_FEATURES + NET_BOARD_FEATURES + theirs * NET_HAND_SLOTS + net_hand_base[type] + n - 1;
}
// The active features of p in perspective's view; returns their number (at most 40 for
// a position of one set).
int net_features(const Position *p, int perspective, int *out);

// The network in its fixed-point form, as the file holds it. Rows of the input weights are
// hidden values apart (not NET_MAX_HIDDEN), so a small network stays small in the caches.
struct NetParameters {
    int hidden = 0;                  // H: 16, 32, 64 or 128
    int activation = NET_CRELU;
    int output_scale = 0;            // centipawns of an output of 1.0 (written for people)
    std::int32_t output_multiplier = 0;  // centipawns = (sum * multiplier) >> shift
    int output_shift = 0;
    std::uint32_t stamp = 0;         // free for the trainer (a time or a run number)
    alignas(32) std::int16_t input_weights[NET_FEATURES * NET_MAX_HIDDEN];
    alignas(32) std::int16_t input_bias[NET_MAX_HIDDEN];
    alignas(32) std::int16_t output_weights[2 * NET_MAX_HIDDEN];  // side to move's half first
    std::int32_t output_bias = 0;    // in units of the output sum
};

// Accumulators of both views; goes beside a position copy.
struct NetAccumulator {
    alignas(32) std::int16_t v[2][NET_MAX_HIDDEN];
};

// ---- the file -------------------------------------------------------------------------
// Little-endian. A 64-byte header:
//   0 u32 magic "QVNN"      4 u16 version (1)       6 u16 hidden H
//   8 u16 feature set (1)  10 u16 king buckets (1) 12 u16 activation (0 crelu, 1 screlu)
//  14 u16 qacc (1020)     16 u16 qb (256)          18 u16 output scale (centipawns)
//  20 i32 output multiplier                        24 u32 output shift
//  28 u32 payload bytes    32 u32 checksum: FNV-1a over bytes 0..31, then the payload
//  36 u32 stamp            40..63 zero
// then the payload: i16 input weights [2344][H], i16 input bias [H], i16 output weights
// [2H] (side to move's half first), i32 output bias.
constexpr int NET_HEADER_BYTES = 64;
constexpr std::uint32_t NET_MAGIC = 0x4E4E5651;  // "QVNN"
constexpr int NET_VERSION = 1;
constexpr long net_file_bytes(int hidden)
{
    return NET_HEADER_BYTES + 2L * (static_cast<long>(NET_FEATURES) * hidden + hidden + 2 * hidden) + 4;
}
// The multiplier and shift that turn an output sum into centipawns for an output scale.
void net_set_output_scale(NetParameters *net, int output_scale);

// Writes net to path; false with a message in *error when it cannot.
bool net_write_file(const char *path, const NetParameters &net, std::string *error);
// Reads path into *net; false with a message in *error (and *net unspecified) when the file
// is missing, short or long, has a bad header or checksum.
bool net_read_file(const char *path, NetParameters *net, std::string *error);

// ---- the engine's network --------------------------------------------------------------
extern NetParameters Net;
constexpr int EVAL_FILE_SIZE = 4096;
extern char EvalFile[EVAL_FILE_SIZE];  // the network file ("EvalFile"); empty: none
extern bool NetActive;           // a network is loaded: the evaluation adds its output

// Loads the engine's network from path. On failure the engine keeps the linear evaluation
// alone (NetActive false) and *error says why, for the caller to print.
bool NetLoad(const char *path, std::string *error);

// ---- computing ---------------------------------------------------------------------------
// Both views of p computed from nothing.
void net_refresh(const NetParameters &net, const Position *p, NetAccumulator *acc);
// The accumulator after side's move (its piece and captured fields filled in, as NewBoard
// takes it) from the one of before, the position the move is made in.
void net_update(const NetParameters &net, const NetAccumulator &parent, const Position *before, int side,
                int move, NetAccumulator *child);
// The network's output in centipawns from the side to move's view.
int net_evaluate(const NetParameters &net, const NetAccumulator &acc, int side_to_move);

// Whether the AVX2 code runs (when the processor has it); false forces the portable code.
// Returns whether AVX2 is in use afterwards.
bool net_use_avx2(bool on);
