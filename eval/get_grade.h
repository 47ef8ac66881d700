// The game phase: opening, middle game or endgame.
#pragma once

#include "board/position.h"

constexpr int GRADE_OPENING = 0, GRADE_MIDDLE = 1, GRADE_ENDGAME = 2;

// The phase of the current game; keeps its value when no rule of GetGrade applies.
extern int Grade;

// Classifies the game from p (the root) and the move number nMoves into Grade.
void GetGrade(const Position *p);
