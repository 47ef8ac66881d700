// Training records as the learner sees them: the weights a position's evaluation reads,
// the rest of its value, and how well an evaluation picks the recorded moves.
#pragma once

#include <vector>

#include "eval/evalute.h"
#include "tools/learn/record.h"

struct PositionTerms {
    EvalFeatures features;
    int value;   // the evaluation with the engine's current weights, side to move's view
    int base;    // material plus the quiescence search's material swing
};

// Sets the record's position up as the engine's root (Trunk[0], side 1 to move, the
// record's game phase) and lists its terms. False for a position the learner skips: one
// that cannot be set up, or where the quiescence search finds a mate.
bool position_terms(const TrainingRecord &r, PositionTerms *out);

// Material of p from side 1's view: pieces on the board (kings left out) and in hand.
int material(const Position &p);

// The share of the records whose move is the best one by the engine's current weights at
// one ply (each legal move followed by the quiescence search).
double move_agreement(const std::vector<TrainingRecord> &records);
