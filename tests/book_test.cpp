// The opening book: lookup, choice, broken files, and the shipped book against its games.
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "board/notation.h"
#include "book/book_probe.h"
#include "frontend/usi_sub.h"
#include "test_util.h"
#include "tools/book_writer.h"

namespace {

struct Probe {
    unsigned moves[BOOK_MAX_CANDIDATES];
    unsigned weights[BOOK_MAX_CANDIDATES];
    int n;
};

Probe probe(const std::string &book)
{
    Probe p{};
    p.n = book_probe_file(book.c_str(), p.moves, p.weights);
    return p;
}

// Root key, and a legal move of the root in short form for each square pair given.
std::uint16_t short_move(const char *usi)
{
    const int m = usi2move(usi);
    return static_cast<std::uint16_t>(move2smove(Reverse ? move_reverse(m) : m));
}

TEST(Book, ShippedBookWeightsFollowTheGames)
{
    // Count, from the game files alone, how the first move of each game fared.
    std::map<std::string, int> expected, plays;
    for (const GameRecord &g : test_games()) {
        const std::string r = g.header.substr(g.header.find("result=") + 7, 3);
        const int score = r == "1-0" ? 2 : r == "0-1" ? 0 : 1;
        expected[g.moves[0]] += score;
        plays[g.moves[0]]++;
    }
    read_position("startpos\n");
    Probe p = probe("book.dat");
    ASSERT_GT(p.n, 3);
    std::set<std::string> listed;
    for (int i = 0; i < p.n; i++) {
        const std::string text = usi(static_cast<int>(p.moves[i]));
        listed.insert(text);
        EXPECT_EQ(static_cast<int>(p.weights[i]), expected[text]) << text;
        EXPECT_GE(plays[text], 2) << text;
    }
    for (const auto &[move, n] : plays) {
        if (n >= 2) {
            EXPECT_TRUE(listed.count(move)) << move;
        }
    }
}

class BookFile : public InTempDir {};

TEST_F(BookFile, ChainsCapsAndBrokenFiles)
{
    read_position("startpos\n");
    const std::uint64_t key = Trunk[0].key;
    const std::string name = "book.dat";

    // Forty records of the root in one chain: only the first 32 are read.
    std::vector<BookEntry> many;
    for (int i = 0; i < 40; i++)
        many.push_back({key, short_move("7g7f"), static_cast<std::uint16_t>(100 - i)});
    ASSERT_TRUE(write_book(name.c_str(), many, 1, 0));
    EXPECT_EQ(probe(name).n, 32);
    EXPECT_EQ(probe(name).weights[31], 69u);

    // Another position sharing the index slot does not count.
    std::vector<BookEntry> shared = {{key ^ 0x10000, short_move("2g2f"), 5}, {key, short_move("7g7f"), 3}};
    ASSERT_TRUE(write_book(name.c_str(), shared, 1, 0));
    Probe p = probe(name);
    ASSERT_EQ(p.n, 1);
    EXPECT_EQ(p.moves[0], static_cast<unsigned>(make_move(0x77, 0x76, FU, 0, false)));

    // A loop and a record number past the end are caught without reading beyond the file.
    auto header = std::make_unique<BookHeader>();
    header->index[key & 0xFFFF] = 1;
    const auto lo = static_cast<std::uint32_t>(key), hi = static_cast<std::uint32_t>(key >> 32);
    for (std::uint32_t next : {1u, 7u}) {
        const BookRecord recs[3] = {{}, {lo, hi, 2, short_move("7g7f"), 1}, {lo, hi, next, short_move("2g2f"), 1}};
        std::FILE *fp = std::fopen(name.c_str(), "wb");
        std::fwrite(header.get(), sizeof *header, 1, fp);
        std::fwrite(recs, sizeof recs, 1, fp);
        std::fclose(fp);
        int n = 0;
        const std::string log = log_of([&] { n = probe(name).n; });
        EXPECT_EQ(n, 2) << next;
        EXPECT_NE(log.find("book.dat: broken chain at record " + std::to_string(next)), std::string::npos) << log;
    }

    // A header alone: index 0 gives nothing; a file shorter than the header gives nothing.
    ASSERT_TRUE(write_book(name.c_str(), {}, 0, 0));
    EXPECT_EQ(probe(name).n, 0);
    {
        std::ofstream(name, std::ios::binary) << "short";
    }
    EXPECT_EQ(probe(name).n, 0);
    EXPECT_EQ(probe("/nonexistent/book.dat").n, 0);
}

TEST(Book, ChoiceByWeightAndRandomWindow)
{
    unsigned moves[3] = {1, 2, 3}, weights[3] = {0, 10, 10};
    EXPECT_EQ(book_choice(moves, weights, 3, 0, 5), 0);
    EXPECT_EQ(moves[0] * 100 + moves[1] * 10 + moves[2], 231u);  // heaviest first, ties in order
    std::set<int> picked;
    for (int move_number : {3, 4, 10})
        for (int i = 0; i < 100; i++) {
            const int k = book_choice(moves, weights, 3, 1, move_number);
            ASSERT_TRUE(k == 0 || (move_number == 4 && k < 3)) << move_number << " " << k;
            picked.insert(k);
        }
    EXPECT_GT(picked.size(), 1u);  // random from move 4 on
    unsigned one_move[1] = {7}, one_weight[1] = {4};
    EXPECT_EQ(book_choice(one_move, one_weight, 1, 1, 5), 0);
}

}  // namespace
