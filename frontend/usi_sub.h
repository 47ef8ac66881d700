// The "position" command.
#pragma once

constexpr int MAX_GAME_MOVES = 500;  // moves one "position" command may carry

// Sets up Trunk[0] from the text after "position " in the engine's own view (side 1 to
// move; Reverse set when the real side to move is the second player). Returns the move
// number. Moves that cannot be read or are impossible end the list there; a position
// that cannot be set up leaves the previous root unchanged and returns -1.
int read_position(const char *text);
