// The quiescence search below the horizon of the main search.
#pragma once

extern int MaxQuiPly;  // deepest quiescence ply reached since the root search reset it

// Captures (and quiet checks at its first ply, evasions when in check) from Trunk[ply]
// for side; fail-soft score from side's view.
int Quiescence(int side, int alpha, int beta, int ply, int qply);
