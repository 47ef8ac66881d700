// Game phase: 0 opening, 1 middle game, 2 endgame.
#pragma once

#include "board/position.h"

extern int Grade;

// Classifies the game from p and the move number into Grade.
void GetGrade(const Position *p);
