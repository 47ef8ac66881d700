// Incremental attack tables and pins.
//
// attack[s][sq] holds one bit per attacker of side s on sq: bits 0-7 a one-step attack
// in direction d, bits 8-15 a slide along direction d (the slider is the nearest piece
// behind sq on that ray), bits 16/17 a knight jump. Each bit names exactly one piece.
#pragma once

#include "board/position.h"

// Adds / removes the attacks of the piece standing on sq to side's table.
void AttackSet(int side, int sq, Position *p);
void AttackClr(int side, int sq, Position *p);
// sq is becoming empty: slides of both sides that reach sq continue beyond it.
void AttackJmpSet(int sq, Position *p);
// sq is becoming occupied: slides of both sides that reach sq stop there.
void AttackJmpClr(int sq, Position *p);
// Builds both tables from the board; every piece becomes unpinned.
void AttackInit(Position *p);
// Recomputes pin[side] from the board, king[side] and the opponent's attacks.
void MakePin(int side, Position *p);

// Origin of the attacker named by bit index b (0..17) of attack[side][sq].
int attacker_square(const Position *p, int side, int sq, int b);
