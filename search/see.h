// Static exchange evaluation on one square, from the attack tables alone.
#pragma once

#include "board/position.h"

// Material balance of the exchange on sq for the owner of the piece standing there
// (negative: the owner loses material). sq must hold a piece.
int See(int sq, const Position *p);
