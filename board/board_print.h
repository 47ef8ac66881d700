// The thinking log's printouts of a board and of moves, for people reading the log; they
// show the game as it really stands, turned back when Reverse is set.
#pragma once

#include "board/position.h"

void PrintBoard(const Position *p);
void MovePrint(const int *moves, int n, const int *values);
void PrintAttack(const Position *p);
void PrintPin(const Position *p);
