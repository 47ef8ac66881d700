// Evaluation weights, the material tables derived from the piece values, and the
// static evaluation with its cache.
#pragma once

#include <cstdint>

#include "board/position.h"

// ---- weights, read from "weight.dat" (owner's view: side 0's squares are turned) ------
// [king square][kind][square]: a piece near the enemy king / near its own king.
extern int OffensePos[81][9][81];
extern int DefensePos[81][9][81];
extern int Mobility[6][9];        // [direction class][average count]
extern int PinPieceValue[112];    // [type * 7 + distance to the own king]
extern int PinAttacks[4][3];      // [attack balance class][pinned pieces - 1]
extern int KingAttacks[13][9];    // [king-zone class][count]
extern int KingSpace[9];          // free squares next to the king (endgame)
extern int KingSpace2[9];         // ... at distance 2 (endgame)
extern int AttackKei;             // every own knight's head is defended
extern int AttackKaku;            // every own bishop's head is defended
extern int KingGuard[9];          // golds and silvers beside the own king
extern int HandValue[8][8];       // [type][count in hand]

// ---- tables derived from PieceValue -----------------------------------------------------
extern int piece_value[16];       // swing of capturing a piece of the type
extern int promote_value[8];      // gain of promoting the type
extern int mvv_lva[16][16];       // [victim][attacker] capture ordering

// Mode 1 loads the weights from file_name, then builds the derived tables; any other
// mode only builds the derived tables. A missing file leaves every weight at zero.
void InitEvalute(int flag, const char *file_name = "weight.dat");

// ---- the static evaluation --------------------------------------------------------------
struct NetAccumulator;
// Score of p from side 1's view, through the evaluation cache (counted in profile 13/14): the
// tables, plus the network's output when one is loaded. The network sees whose move it is
// (side), and reads p's sums from acc when given, else computes them afresh.
int Evalute(const Position *p, int side = 1, const NetAccumulator *acc = nullptr);
// The same score computed afresh: no cache, no counters.
int EvaluteNoHash(const Position *p);
// The weights one evaluation reads, for the learner: value = material + the sum of
// coefficient x weight over the list. Index is the weight's place in the file's flat
// order; coefficient +1 for side 1's terms, -1 for side 0's.
constexpr int MAX_EVAL_FEATURES = 256;
struct EvalFeature {
    int index;
    int coefficient;
};
struct EvalFeatures {
    int n = 0;
    EvalFeature feature[MAX_EVAL_FEATURES];
    int take(const int &weight, int coefficient);
};
// EvaluteNoHash that also lists the weights it read into out.
int EvaluteFeatures(const Position *p, EvalFeatures *out);
// Flat index (file order) of a weight table element, -1 when w is not in a table.
int weight_index(const int *w);
// The weight with that flat index.
int &weight_at(int index);
// Empties the evaluation cache and its counters.
void EvaluteHashClear();
// Number of set bits of an attack mask (the number of attackers). Bit arithmetic: the
// build targets processors without a population-count instruction.
constexpr int get_ncnt(std::uint32_t mask)
{
    mask = mask - ((mask >> 1) & 0x55555555u);
    mask = (mask & 0x33333333u) + ((mask >> 2) & 0x33333333u);
    return static_cast<int>((((mask + (mask >> 4)) & 0x0F0F0F0Fu) * 0x01010101u) >> 24);
}
