// Small services shared by the front end: the configuration reader, a cheap random
// source, move conversions and the diagnostic printouts of boards and moves.
#pragma once

#include "board/position.h"

// Reads "key=value" from a text file; the first line containing key decides.
int GetConfInt(const char *key, int default_value, const char *file_name);
// A cheap random number from the cycle counter.
unsigned my_rand();

// Turns a move 180 degrees (keeps piece, captured, promote and the first annotations).
int move_reverse(int move);
// The 16-bit form of the book: from (file*10+rank, or the dropped type), to, promote.
int move2smove(int move);
// Back to a move of the root position Trunk[0] (piece and captured read from its board).
int smove2move(int smove);

// Log printouts; they show the game as it really stands, turned back when Reverse is set.
void PrintBoard(const Position *p);
void MovePrint(const int *moves, int n, const int *values);
void PrintAttack(const Position *p);
void PrintPin(const Position *p);
