// Moves of the mate solver: every legal check and every legal answer to a check.
//
// Unlike the search's generators these include the plain (non-promoting) pawn, lance,
// bishop and rook moves into and inside the promotion zone: in mating problems such a
// move is sometimes the only mate. Pawn drops that mate are left out (illegal).
#pragma once

#include "board/position.h"

// When false, the generators below leave out the same plain moves as the search's
// generators (tools and tests compare the two rule sets with it).
extern bool mate_plain_moves;

// Room for any list below: checks (board moves and drops) or evasions.
constexpr int MATE_LIST_SIZE = 1024;

// True when side's move (from the side's legal moves in p) checks the enemy king:
// directly, by the piece where it lands, or by uncovering an own slider.
bool move_checks(int side, const Position *p, int move);

// Every legal checking move of side (in check or not). scratch is a record the
// generator may overwrite (the pawn-drop mate test makes the drop there).
int mate_checks(int side, Position *p, int *list, Position *scratch);

// Every legal move of side, whose king is in check.
int mate_evasions(int side, Position *p, int *list, Position *scratch);

// Every legal move of side: the engine's generators plus the plain moves they leave
// out, less pawn-drop mates. Used by checkers and tests, not by the solver.
int all_legal_moves(int side, Position *p, int *list, Position *scratch);
