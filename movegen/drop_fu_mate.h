// The pawn-drop mate rule.
#pragma once

#include "board/position.h"

// side: the defender, whose king a pawn just dropped in front of it checks; p: the
// position after the drop. Returns 1 when the drop mates (and is therefore illegal):
// the king has no move and no other piece can take the pawn. Recomputes the defender's
// pins first, so that masks left from an earlier position never decide the answer.
int DropFuMate(int side, Position *p);

// True when move, just made by side into child, is a checking pawn drop that mates: an
// illegal move.
inline bool illegal_pawn_drop(int side, int move, Position *child)
{
    return move_from(move) == 0 && move_piece(move) == FU && gives_check(side, child) && DropFuMate(side ^ 1, child);
}
