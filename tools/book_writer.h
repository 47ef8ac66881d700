// Builds opening books from game records (used by the book tools and the tests).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "book/book_probe.h"

struct BookEntry {
    std::uint64_t key;     // position key in the engine's view
    std::uint16_t move;    // short move, engine's view
    std::uint16_t weight;
};

struct BookOptions {
    int max_ply = 16;            // positions after at most this many moves
    int min_count = 2;           // a move must have been played this often
    std::uint32_t time_stamp = 0;
};

// Collects the entries of games given as lines "startpos moves ..." (a "# game ...
// result=1-0|0-1|1/2-1/2" line before a game gives its result). Each play of a move scores
// 2 when its player won the game, 1 for a draw or an unknown result, 0 when it lost; the
// weight of a move is the sum of its scores. Sets *games to the number of games read.
std::vector<BookEntry> collect_book_entries(const std::vector<std::string> &lines, const BookOptions &options,
                                            std::uint32_t *games);

// Writes entries as a book file; returns false when the file cannot be written.
bool write_book(const char *name, std::vector<BookEntry> entries, std::uint32_t games, std::uint32_t time_stamp);
