// The opening book "book.dat": position keys (engine's view, side 1 to move) mapped to
// candidate moves with weights.
//
// Layout (little-endian): a 262,160-byte header (time stamp 8, game count 4, move count 4,
// 65,536 record numbers indexed by key & 0xFFFF), then 16-byte records numbered from 1:
// key low, key high, next record in the chain (0 ends it), short move, weight.
#pragma once

#include <cstdint>

constexpr int BOOK_MAX_CANDIDATES = 32;
constexpr long BOOK_HEADER_SIZE = 16 + 65536 * 4;
constexpr long BOOK_RECORD_SIZE = 16;

struct BookHeader {
    std::uint64_t time_stamp;  // seconds since 1970 in the low 32 bits
    std::uint32_t games;
    std::uint32_t moves;
    std::uint32_t index[65536];
};
static_assert(sizeof(BookHeader) == BOOK_HEADER_SIZE);

struct BookRecord {
    std::uint32_t key_low;
    std::uint32_t key_high;
    std::uint32_t next;
    std::uint16_t move;    // short move form
    std::uint16_t weight;
};
static_assert(sizeof(BookRecord) == BOOK_RECORD_SIZE);

// The book file ("book.dat", the "book_file" option), found as any data file.
constexpr int BOOK_FILE_SIZE = 256;
extern char BookFile[BOOK_FILE_SIZE];
// Candidates of the root position Trunk[0] in the book file: fills up to 32 moves and
// weights, returns their number.
int BookProbe(unsigned *moves, unsigned *weights);
// The same from any book file.
int book_probe_file(const char *name, unsigned *moves, unsigned *weights);

// Sorts the candidates by weight, heaviest first (stable), logs them and returns the
// index to play: 0, or with random_book one of the five heaviest at moves 4 to 9.
int book_choice(unsigned *moves, unsigned *weights, int n, int random_book, int move_number);
