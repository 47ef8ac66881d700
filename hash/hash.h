// Position keys (Zobrist tables read from "hash_key.dat") and the transposition table.
#pragma once

#include <atomic>
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
// Every search thread reads and writes the one table at once, without locks. A slot is two
// words, the data and the key XOR the data, each read and written whole: a slot that two
// threads wrote at the same time no longer matches either key, so a reader sees a miss and
// never another position's move or score. Empty when both words are 0. The key is
// complemented when side 0 is to move, so the two sides to move of one position never share
// an entry.
struct HashSlot {
    std::atomic<std::uint64_t> check;  // key ^ data
    std::atomic<std::uint64_t> data;   // move | value << 32 | depth << 48 | flags << 56
};
static_assert(sizeof(HashSlot) == 16);

// An entry as one thread read it: a copy, so another thread's store cannot change it under
// the reader.
struct HashEntry {
    std::uint64_t key;    // as stored; 0 when empty
    int move;             // best move, 0 if none
    std::int16_t value;
    std::int8_t depth;    // remaining depth in half plies; 100 and more is never replaced
    std::uint8_t flags;   // bits 0-1 bound (1 lower, 2 upper, 3 exact), bits 4-7 age
    HashSlot *slot;       // where it was read, for HashRefresh
};

constexpr int HASH_BUCKETS = 1 << 21;                  // the default size
constexpr int HASH_WAYS = 4;
constexpr int HASH_ENTRIES = HASH_BUCKETS * HASH_WAYS;  // 2^23 entries, 128 MiB
constexpr int HASH_DEFAULT_MIB = 128;
constexpr int HASH_MAX_MIB = 16384;
constexpr int HASH_LOWER = 1, HASH_UPPER = 2, HASH_EXACT = 3;
constexpr int HASH_KEEP_DEPTH = 100;                     // entries this deep are never victims

// The table: hash_buckets buckets (a power of two) of four slots. It is allocated
// outside any search (first clear, or a new size at "isready"), never during one.
extern HashSlot (*hash_tbl)[HASH_WAYS];
extern std::uint32_t hash_buckets;
// Number of entries of the table as it is now.
long hash_entry_count();
// Gives the table mib MiB (rounded down to a power of two, 1 to HASH_MAX_MIB) and
// clears it; returns the size it has, the old one when the memory cannot be had.
int HashResize(int mib);
// Searches since the last clear; its low four bits are the age of fresh entries. Changed
// only while no search thread runs.
extern std::uint8_t SearchAge;

// Clears the table, its statistics and the search age.
void HashClear();
// The entry of p with side to move (non-zero: side 1), or null. The entry is the calling
// thread's copy, valid until its next probe. A hit also sets p->hash_move to the entry's
// move: a move of this position unless two different positions share the 64-bit key, so
// the search only uses it by finding it among the moves it generates.
HashEntry *HashProbe(int side, Position *p);
// Starts loading the bucket of a position with this key, so that its probe a little later
// finds it in the cache.
void HashPrefetch(std::uint64_t key);
// The key of p after side plays move: the child's key before the child is made.
std::uint64_t key_after(int side, const Position *p, int move);
// Stores a search result of p; a store with move 0 onto the same key keeps the old move.
void HashStore(int side, const Position *p, std::uint8_t flags, std::uint8_t depth, std::uint16_t value,
               int move);
// Marks the probed entry as used by the current search (when its slot still holds it);
// null does nothing.
void HashRefresh(const HashEntry *entry);
// The entry in a slot of the table, decoded (for tests and statistics).
HashEntry hash_entry_at(std::uint32_t bucket, int way);
// Permille of the first 1000 entries that the current search has written or used ("hashfull").
int HashFull();
