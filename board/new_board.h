// The do-move: makes one move on a position record in place.
#pragma once

#include "board/position.h"

// Makes move (piece and captured fields filled in) for side on p: board, hands, king
// squares, keys and both attack tables. Pins, last_move, hash_move and eval are left alone.
void NewBoard(int side, int move, Position *p);
