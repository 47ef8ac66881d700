// The board moves of one side that end on one square, found through its attack word.
#pragma once

#include "board/position.h"

// Moves of side onto target (empty or holding an enemy piece), pins applied. The king is
// among the movers only when with_king is non-zero, and then only onto a square the
// enemy does not attack (callers pass it only when side is not in check). Writes at most
// two moves per attack bit.
int MoveTo(int side, const Position *p, int target, int *list, int with_king);
