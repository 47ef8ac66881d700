// The move generators against the reference move sets of tests/data/movegen: the legal
// moves and the quiet checks of every position in both views; perft counts.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/attack.h"
#include "board/new_board.h"
#include "board/notation.h"
#include "board/position.h"
#include "movegen/make_check_nocap.h"
#include "movegen/make_legal.h"
#include "test_util.h"
#include "tools/perft_core.h"

namespace {

struct Entry {
    std::string file;
    std::string position;
    std::vector<std::string> moves;  // sorted
};

std::vector<Entry> reference_sets()
{
    std::vector<Entry> out;
    std::vector<std::filesystem::path> files;
    for (const auto &f : std::filesystem::directory_iterator(std::string(QVN_TEST_DATA) + "/movegen"))
        if (f.path().extension() == ".txt")
            files.push_back(f.path());
    std::sort(files.begin(), files.end());
    for (const auto &path : files) {
        std::ifstream in(path);
        std::string line;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#')
                continue;
            const auto tab = line.find('\t');
            Entry e{path.filename().string(), line.substr(0, tab), {}};
            std::istringstream words(tab == std::string::npos ? "" : line.substr(tab + 1));
            std::string w;
            while (words >> w)
                e.moves.push_back(w);
            std::sort(e.moves.begin(), e.moves.end());
            out.push_back(e);
        }
    }
    return out;
}

const std::vector<Entry> &entries()
{
    static const std::vector<Entry> all = reference_sets();
    return all;
}

// The legal moves of Trunk[0] for side, in real USI notation (turned as `turn` says), sorted.
std::vector<std::string> legal_usi(int side, bool turn)
{
    int list[MOVE_LIST_SIZE];
    const int n = legal_moves(0, side, list);
    std::vector<std::string> out;
    for (int i = 0; i < n; i++)
        out.push_back(usi(turn ? move_reverse(list[i]) : list[i]));
    std::sort(out.begin(), out.end());
    return out;
}

// Every position of every set, seen both ways: the engine's view (side 1 to move, as the
// position command builds it) and the same position turned (side 0 to move), so that the
// generators of both sides meet the reference.
TEST(ReferenceMoveSets, EveryPositionMatchesInBothViews)
{
    ASSERT_GT(entries().size(), 10000u);
    int failed = 0, in_check = 0, gote = 0, big = 0;
    for (const Entry &e : entries()) {
        ASSERT_GT(set_position(e.position + "\n"), 0) << e.position;
        const Position root = Trunk[0];
        const bool reverse = Reverse != 0;
        const auto engine_view = legal_usi(1, reverse);
        Trunk[0] = mirrored(root);
        const auto turned_view = legal_usi(0, !reverse);
        if ((engine_view != e.moves || turned_view != e.moves) && ++failed <= 5)
            ADD_FAILURE() << e.file << ": " << e.position << "\n  " << engine_view.size() << " / "
                          << turned_view.size() << " moves, expected " << e.moves.size();
        gote += reverse;
        in_check += root.attack[0][root.king[1]] != 0;
        big += e.moves.size() > static_cast<std::size_t>(MAX_MOVE);
    }
    EXPECT_EQ(failed, 0);
    // The sets cover evasions, gote to move and lists longer than MAX_MOVE.
    EXPECT_GT(in_check, 3000);
    EXPECT_GT(gote, 5000);
    EXPECT_GT(big, 0);
}

// ---- quiet checks ---------------------------------------------------------------------

// Whether m, made by side on p, checks the enemy king, and whether another piece than
// the one moved gives that check.
void check_kind(const Position &p, int side, int m, bool *check, bool *discovered)
{
    Position c = p;
    NewBoard(side, m, &c);
    const int k = c.king[side ^ 1];
    const int a = c.attack[side][k];
    *check = a != 0;
    *discovered = false;
    for (int bits = a; bits; bits &= bits - 1)
        *discovered |= attacker_square(&c, side, k, __builtin_ctz(static_cast<unsigned>(bits))) != move_to(m);
}

// The listed moves give check, take nothing and are legal; and every legal non-capturing
// checking move is listed, but for the horse's plain steps backward and sideways that
// check only directly.
void compare_with_legal(Position p, int side, const std::string &where)
{
    if (!p.king[0] || !p.king[1] || p.attack[side ^ 1][p.king[side]])
        return;  // in check: quiet checks are not asked for
    int all[MOVE_LIST_SIZE];
    int n = MakeMove(side, &p, all);
    n += MakeDrop(side, &p, all + n);
    const std::set<int> legal(all, all + n);
    int list[QUI_LIST_SIZE];
    const int c = MakeChecksNoncap(side, &p, list);
    std::set<int> listed;
    for (int i = 0; i < c; i++) {
        const int m = list[i];
        if (!m)
            continue;
        ASSERT_TRUE(listed.insert(m).second) << where << ": twice " << usi(m);
        ASSERT_EQ(move_cap(m), 0) << where << ": " << usi(m);
        bool check, discovered;
        check_kind(p, side, m, &check, &discovered);
        ASSERT_TRUE(check) << where << ": no check " << usi(m);
        // Beyond the full generator's moves only the plain pawn push onto the square in
        // front of the king (the full generator gives the promotion alone there).
        const bool plain_pawn = move_from(m) && move_piece(m) == FU && !move_is_promote(m) &&
                                legal.count(m | MOVE_PROMOTE);
        ASSERT_TRUE(legal.count(m) || plain_pawn) << where << ": not legal " << usi(m);
    }
    for (int m : legal) {
        if (move_cap(m))
            continue;
        bool check, discovered;
        check_kind(p, side, m, &check, &discovered);
        if (!check)
            continue;
        const int step = move_to(m) - move_from(m);
        const bool horse_side_step = move_from(m) && move_piece(m) == UM &&
                                     (step == delta[side][1] || step == delta[side][2] || step == delta[side][3]);
        if (horse_side_step && !discovered)
            continue;
        ASSERT_TRUE(listed.count(m)) << where << ": missing " << usi(m);
    }
}

// The quiet checks of every reference position not in check, in both views, against the
// legal moves that check without capturing.
TEST(MakeChecksNoncap, ListsExactlyTheQuietChecksOfTheReferencePositions)
{
    for (const Entry &e : entries()) {
        set_position(e.position + "\n");
        const Position root = Trunk[0];
        compare_with_legal(root, 1, e.position);
        compare_with_legal(mirrored(root), 0, e.position + " (turned)");
        if (HasFatalFailure())
            return;
    }
}

// ---- perft ---------------------------------------------------------------------------

TEST(Perft, CountsOfTheStartAndMiddleGamePositions)
{
    std::ifstream in(std::string(QVN_TEST_DATA) + "/perft.txt");
    std::string line;
    int checked = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        int depth;
        unsigned long long expected;
        fields >> depth >> expected;
        std::string position;
        std::getline(fields >> std::ws, position);
        ASSERT_GT(set_position(position + "\n"), 0) << position;
        EXPECT_EQ(perft(0, 1, depth), expected) << "depth " << depth << ": " << position;
        checked++;
    }
    EXPECT_GE(checked, 9);
}

}  // namespace
