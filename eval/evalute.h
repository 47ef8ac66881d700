// Evaluation weights and the static evaluation.
#pragma once

// Loads "weight.dat" and builds the material tables derived from it.
void InitEvalute(int flag);
