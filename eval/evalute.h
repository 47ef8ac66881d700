// Evaluation weights and the static evaluation.
#pragma once

// Tables derived from the piece values.
extern int piece_value[16];    // swing of capturing a piece of the type
extern int promote_value[8];   // gain of promoting the type
extern int mvv_lva[16][16];    // [victim][attacker] capture ordering

// Loads "weight.dat" and builds the material tables derived from it.
void InitEvalute(int flag);
