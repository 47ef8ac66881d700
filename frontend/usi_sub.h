// The "position" command and the USI move notation.
#pragma once

constexpr int MAX_GAME_MOVES = 500;  // moves one "position" command may carry

// Sets up Trunk[0] from the text after "position " in the engine's own view (side 1 to
// move; Reverse set when the real side to move is the second player). Returns the move
// number. Moves that cannot be read or are impossible end the list there; a position
// that cannot be set up leaves the previous root unchanged and returns -1.
int read_position(const char *text);

// Parses one USI move at the start of text; 0 when it is not a move.
int usi2move(const char *text);
// Writes the USI text of a move ("pass" for 0) into buf (at least 6 bytes).
void move2usi(int move, char *buf);
