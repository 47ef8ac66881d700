// A quick test for a mate in one move, cheap enough for most nodes of the search.
#pragma once

#include "board/position.h"

// The move (or drop) by which side, to move in p, mates at once; 0 when it finds none.
//
// A move it answers is always a legal mate, and one of the moves the engine's generators
// give (MakeMove, MakeDrop): every candidate that passes the quick filters is made on a copy
// and the defender's answers are generated. It looks at
//   - drops next to the king (lance, silver, gold, bishop, rook) and knight drops;
//   - board moves onto a square next to the king or a knight's jump from it, captures and
//     promotions included, that check by the piece moved (a mate by the moved piece that a
//     discovered check doubles is found);
//   - lance, bishop and rook drops at a distance, and board moves after which a lance,
//     bishop, rook, horse or dragon checks from a distance, when the defender holds no
//     silver, gold, bishop or rook in hand (else it can always drop one between).
// It misses
//   - discovered checks: moves whose check comes only from another piece than the one moved;
//   - distant checks that mate only because the mover's leaving its square uncovers an
//     attack on an escape square, or pins a piece that could otherwise block the check;
//   - mates where the defender's only answer would be a pawn dropped between that mates in
//     turn (so illegal): that drop counts as an answer.
// Pawn drops are never answers: a pawn dropped to mate is illegal. Returns 0 when side is
// in check, or the enemy has no king or is in check.
int mate_in_one(int side, const Position *p);
