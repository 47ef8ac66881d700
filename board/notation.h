// Move notation: the engine's move words as USI text and as the book's 16-bit form, and a
// position read from an SFEN. It sits beside the position record, so that the book, the
// search's reports, the tools and the front end all reach it downward.
#pragma once

#include <string>

#include "board/position.h"

// Turns a move 180 degrees (keeps piece, captured, promote and the first annotations).
int move_reverse(int move);
// The 16-bit form of the book: from (file*10+rank, or the dropped type), to, promote.
int move2smove(int move);
// Back to a move of the root position Trunk[0] (piece and captured read from its board).
int smove2move(int smove);

// Parses one USI move at the start of text; 0 when it is not a move.
int usi2move(const char *text);
// Writes the USI text of a move ("pass" for 0) into buf (at least 6 bytes).
void move2usi(int move, char *buf);

// Reads the board and hand fields of an SFEN into p (sente as side 1). Sets *gote_to_move
// and *rest to the text after the hand field. Returns an error text, or nullptr.
const char *parse_sfen(const char *s, Position *p, bool *gote_to_move, const char **rest);
// The SFEN of p as it stands (side 1 is sente), for messages and records.
std::string write_sfen(const Position &p, bool gote_to_move, int move_number);
// Fills in piece and captured of a board move and checks that side can make it in p:
// its own piece, a square it really reaches, not onto its own piece or a king, legal
// promotion. Drops: a piece in hand onto an empty square, no dead rank, no second pawn.
// (Whether the mover's king is left in check is not tested.)
int complete_move(int move, int side, const Position *p);
