// Quiet checking moves: board moves onto empty squares and drops that check the enemy king.
#pragma once

#include "board/position.h"

// One-step moves of a pawn, knight, silver or gold (or promoted minor piece) after which
// the piece on the target checks the king K: piece type, origin and target offsets from
// K in side 1's view (side 0 uses K - offset), promote flag, the direction bit of the
// step (pin-mask bit; 0x10000 / 0x20000 for the knight jumps). Ends with a row of zeros.
extern const int check_tbl[87][5];

// The non-capturing checking moves of side, which is not in check and whose pins are
// current: table checks, lance, bishop, horse, rook and dragon checks, discovered checks,
// then checking drops. Covers every such move except the horse's steps backward and
// sideways and the plain moves the board-move rules leave out; a checking pawn drop is
// not tested for mate. A move found twice is listed once: the earlier copy becomes 0,
// and the count includes it.
int MakeChecksNoncap(int side, const Position *p, int *list);
