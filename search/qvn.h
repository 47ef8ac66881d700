// The move decision for one "go", and the game history it keeps for the repetition rules.
#pragma once

#include <cstdint>

// History of the game indexed by move number (1 .. number of moves + 1).
constexpr int GAME_RECORD_SIZE = 512;
extern std::uint64_t HashRecord[GAME_RECORD_SIZE];   // position key
extern std::uint64_t BoardRecord[GAME_RECORD_SIZE];  // board key
extern int HandRecord[GAME_RECORD_SIZE];             // pieces in side 1's hand
extern int CheckRecord[GAME_RECORD_SIZE];            // the move that led here gave check

// Result codes of Think.
constexpr int THINK_MOVE = 1, THINK_RESIGN = 0, THINK_WIN = -5, THINK_TOO_LONG = -4;

// Settings of the move decision, from "qvn.conf" and the USI options of the same names.
extern int no_book, random_book;
extern int mate_probe;  // ms of the mate probe before each search; 0: none

// Decides the move for Trunk[0]: best[0] the move, best[1] the expected reply.
int Think(int *best, int max_depth);
