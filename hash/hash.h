// Position keys (Zobrist tables read from "hash_key.dat") and the transposition table.
#pragma once

#include <cstdint>

#include "board/position.h"

constexpr int HASH_SEED_ROWS = 32, HASH_SEED_COLS = 154;
constexpr int HAND_SEED_ROWS = 16, HAND_SEED_COLS = 19;
constexpr long HASH_KEY_FILE_SIZE = 8L * (HASH_SEED_ROWS * HASH_SEED_COLS + HAND_SEED_ROWS * HAND_SEED_COLS);

// hash_seed[side * 16 + type][square]; row 0 (empty square) is all zero.
extern std::uint64_t hash_seed[HASH_SEED_ROWS][HASH_SEED_COLS];
// hand_hash_seed[side * 8 + type][count in hand].
extern std::uint64_t hand_hash_seed[HAND_SEED_ROWS][HAND_SEED_COLS];

// Loads "hash_key.dat" from the working directory; a missing file ends the process.
void HashInit();
// Computes the three keys of Trunk[0] from scratch.
void RootHash();
// The same for any record.
void set_keys(Position *p);
// Board and hand keys of p computed from scratch.
std::uint64_t board_key_of(const Position *p);
std::uint64_t hand_key_of(const Position *p);
// Recomputes the keys of p and logs a mismatch with the stored ones.
void hash_test(const Position *p);

// ---- transposition table -------------------------------------------------------------
// Clears the table, its statistics and the search age.
void HashClear();
