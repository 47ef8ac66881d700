// The answers to a check: king moves, captures of the checker, interpositions.
#pragma once

#include "board/position.h"

// Moves of side, whose king is in check by the pieces of `checkers` (the enemy's attack
// word on the king's square, non-zero): king moves first; against a single checker the
// captures of it, then on each square between a distant slider and the king the moves
// onto it, then the drops onto those squares. Recomputes side's pins unless the check
// is double. Pawn-drop mates are not tested.
int MakeEvasion(int side, Position *p, int checkers, int *list);
