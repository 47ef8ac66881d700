// Board moves and drops of one side, and the list capacities of the generators.
//
// A move list is a caller-owned array of move words. A generator writes its moves from
// the address it is given, returns how many it wrote, writes no terminator and checks no
// bound: the caller's buffer must hold everything a generator can write (see below).
#pragma once

#include "board/position.h"

// Lists the search cuts to: at most MAX_MOVE - 1 moves in a node or root list and
// MAX_QUI_MOVE - 1 in a quiescence list. The cut comes after generation, so the
// buffers are sized by what the generators can write, not by these numbers.
constexpr int MAX_MOVE = 512;
constexpr int MAX_QUI_MOVE = 80;

// Room for MakeMove followed by MakeDrop, or for MakeEvasion, in any position.
// Bound: a board piece has at most 20 moves (a dragon or horse; one move per target for
// a bishop or rook, two per target for the others, which reach at most 9 targets);
// each type in hand gives at most one drop per empty square. With k types in hand at
// least k pieces are off the board, so the side has at most 38 - k pieces besides its
// king and at most 79 - (38 - k) empty squares are left: 8 + 20 (38 - k) + k (41 + k)
// <= 964 for k <= 7. (More than MAX_MOVE can really occur: the king and every other
// piece in one hand gives over 520 drops.)
constexpr int MOVE_LIST_SIZE = 1024;
// Room for MakeChecksNoncap followed by MoveTo on every enemy piece. Checks: 86 table
// rows, at most 4 lances x 8 squares, two bishops, horses, rooks and dragons with at
// most 16, 17, 16 and 20 moves, at most 8 discovering pieces x 20 moves and at most 86
// drops: under 512. Captures: at most two moves per attack bit (18 bits) on each of at
// most 39 enemy pieces: 1404.
constexpr int QUI_LIST_SIZE = 2048;

// All board moves of side, which must not be in check. Recomputes side's pins first.
int MakeMove(int side, Position *p, int *list);
// The moves of side's king alone (the side must have a king); reads no pins.
int MakeMoveKing(int side, const Position *p, int *list);
// The moves of the piece with board code `code` standing on `from`, side's pins applied.
int move_sub(int side, int from, int code, const Position *p, int *list);
// The moves onto empty squares of the piece on `from` in the directions of `dirs`
// (pin-mask bits; a knight jumps only when dirs is 255), with the promotion rules of
// move_sub; a king also keeps off attacked squares. Discovered checks use it.
int move_sub_quiet(int side, int from, int dirs, const Position *p, int *list);
// All drops of side: dead ranks and the two-pawn rule obeyed, pawn-drop mates not tested.
int MakeDrop(int side, const Position *p, int *list);
