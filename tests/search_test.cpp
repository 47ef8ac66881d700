// The search core: mates checked by brute force, quiescence, the table, the clock.
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "board/new_board.h"
#include "eval/evalute.h"
#include "frontend/usi_sub.h"
#include "hash/hash.h"
#include "movegen/make_legal.h"
#include "search/params.h"
#include "search/quiescence.h"
#include "search/root_search.h"
#include "search/search.h"
#include "test_util.h"
#include "tools/fixed_depth.h"
#include "tools/perft_core.h"

namespace {

struct Tsume {
    int plies;
    std::string position;
};

std::vector<Tsume> tsume_positions()
{
    std::vector<Tsume> out;
    std::ifstream in(std::string(QVN_TEST_DATA) + "/tsume.txt");
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        Tsume t;
        if (words >> t.plies) {
            std::getline(words, t.position);
            out.push_back({t.plies, t.position.substr(1) + "\n"});
        }
    }
    return out;
}

// True when side's move at Trunk[ply] mates within plies (1 or 3): every reply leaves a
// mate in one. Brute force over the engine's legal move lists.
bool mates_in(int ply, int side, int move, int plies)
{
    Trunk[ply + 1] = Trunk[ply];
    NewBoard(side, move, &Trunk[ply + 1]);
    int replies[MOVE_LIST_SIZE];
    const int n = legal_moves(ply + 1, side ^ 1, replies);
    if (plies == 1 || n == 0)
        return n == 0 && in_check(side ^ 1, &Trunk[ply + 1]);
    for (int i = 0; i < n; i++) {
        Trunk[ply + 2] = Trunk[ply + 1];
        NewBoard(side ^ 1, replies[i], &Trunk[ply + 2]);
        int attacks[MOVE_LIST_SIZE];
        const int k = legal_moves(ply + 2, side, attacks);
        bool mated = false;
        for (int j = 0; j < k && !mated; j++)
            mated = mates_in(ply + 2, side, attacks[j], 1);
        if (!mated)
            return false;
    }
    return true;
}

class SearchTest : public ::testing::Test {
  protected:
    void SetUp() override { InitEvalute(1); }
    void TearDown() override
    {
        AbortSearch = 0;
        AnalyzeMode = 0;
    }
};

TEST_F(SearchTest, FindsEveryMateWithItsDistance)
{
    const auto positions = tsume_positions();
    ASSERT_GT(positions.size(), 50u);
    int ones = 0, threes = 0, stored = 0;
    for (const Tsume &t : positions) {
        ASSERT_GT(read_position(t.position.c_str()), 0) << t.position;
        const Position root = Trunk[0];
        // Entries of other positions cannot change a mate: no need to clear 128 MiB each time.
        const FixedDepthResult r = search_fixed_depth(t.plies, false);
        EXPECT_EQ(r.value, MATE - t.plies) << t.position;
        // The first move really mates in that many plies, by brute force over legal moves.
        Trunk[0] = root;
        EXPECT_TRUE(mates_in(0, 1, r.pv[0], t.plies)) << t.position;
        if (t.plies == 3) {
            // The table keeps a mate as its distance from the node: two plies down the
            // variation it is a mate in one, whatever ply the search stored it at.
            NewBoard(1, r.pv[0], &Trunk[0]);
            NewBoard(0, r.pv[1], &Trunk[0]);
            const HashEntry *e = HashProbe(1, &Trunk[0]);
            ASSERT_NE(e, nullptr) << t.position;
            EXPECT_EQ(e->value, MATE - 1) << t.position;
            stored++;
        }
        (t.plies == 1 ? ones : threes)++;
    }
    EXPECT_GT(ones, 0);
    EXPECT_GT(threes, 0);
    EXPECT_EQ(stored, threes);
}

TEST_F(SearchTest, QuiescenceTakesAHangingPieceButNotADefendedOne)
{
    // The same with each of the quiescence search's pruning switches on.
    const SearchParams saved = params;
    for (int variant = 0; variant < 4; variant++) {
        params = saved;
        if (variant == 1)
            params.qs_futility_margin = 0;
        if (variant == 2)
            params.qs_pawn_ply = 1;
        if (variant == 3)
            params.qs_check_ply = 1;
        // A silver attacks an undefended rook.
        Trunk[0] = board_with({{0x59, S | OU}, {0x51, G | OU}, {0x35, S | GI}, {0x24, G | HI}});
        const int stand_pat = Evalute(&Trunk[0]);
        SearchWorker &w = main_worker();
        w.set_root();
        EXPECT_GE(w.Quiescence(1, -MATE, MATE, 0, 0) - stand_pat, piece_value[HI] - 400) << variant;
        // A rook attacks a gold that a pawn defends: taking loses the rook, so it stands pat.
        Trunk[0] = board_with({{0x59, S | OU}, {0x91, G | OU}, {0x58, S | HI}, {0x54, G | KI}, {0x53, G | FU}});
        w.set_root();
        EXPECT_EQ(w.Quiescence(1, -MATE, MATE, 0, 0), Evalute(&Trunk[0])) << variant;
    }
    params = saved;
}

// Where no pruning or reduction decides anything, the table may change the order of the
// moves but never the value.
TEST_F(SearchTest, TableDoesNotChangeValuesWhereNoPruningDecides)
{
    auto pruning = [] {
        int sum = profile[15] + profile[16] + profile[30] + profile[40] + profile[41] + profile[42] + profile[43] + profile[33] + profile[32];
        for (int w = 20; w <= 22; w++)
            sum += profile[w];
        for (int w = 25; w <= 28; w++)
            sum += profile[w];
        for (int w = 35; w <= 38; w++)
            sum += profile[w];
        return sum;
    };
    // Mates that other tests stored for these same positions would be found at depth 1.
    HashClear();
    int compared = 0;
    for (const Tsume &t : tsume_positions()) {
        read_position(t.position.c_str());
        for (int depth = 1; depth <= 2; depth++) {
            use_hash_table = false;
            const int without = search_fixed_depth(depth, false).value;
            const int pruned_without = pruning();
            use_hash_table = true;
            const int with_table = search_fixed_depth(depth, false).value;
            if (pruned_without || pruning())
                continue;
            EXPECT_EQ(with_table, without) << t.position << " depth " << depth;
            compared++;
        }
        if (compared >= 40)
            break;
    }
    EXPECT_GE(compared, 40);
}

int fake_now;
int ticking_clock() { return fake_now++; }  // every read of the clock is a millisecond

TEST_F(SearchTest, ClockStopsWithinTheByoyomiMargin)
{
    read_position("startpos\n");
    HashClear();
    SearchWorker &w = main_worker();
    w.set_root();
    w.clear_search_tables();
    int (*saved)() = search_clock;
    search_clock = ticking_clock;
    fake_now = 0;
    AnalyzeMode = 0;
    RemainTime = 0;
    Countdown = 1000;
    Extend = 0;
    CalcTime();  // the budget of a 1000 ms byoyomi, the clock started
    w.Iterate = 20;
    int pv[PV_SIZE];
    w.SearchPv(1, -MATE, MATE, 0, 40, pv);
    search_clock = saved;
    EXPECT_TRUE(AbortSearch);
    // Stops at 500 ms (1000 less the margin), give or take the nodes that unwind.
    EXPECT_GE(fake_now, 500);
    EXPECT_LE(fake_now, 520);
}

}  // namespace

// A line can run to the last record and no further: a search started deep in the records
// reaches the deepest ply, evaluates there, and leaves the worker's other state alone.
TEST_F(SearchTest, DeepLinesStopAtTheLastRecord)
{
    read_position("startpos moves 7g7f 3c3d 8h2b+ 3a2b B*4e\n");  // a bishop drop forks: captures and checks
    SearchWorker &w = main_worker();
    w.set_root();
    w.clear_search_tables();
    w.root_n_move = 12345;
    w.Iterate = MAX_ITERATION;  // every extension on
    AbortSearch = 0;
    AnalyzeMode = 1;
    constexpr int start = MAX_SEARCH_PLY - 5;
    w.trunk[start] = w.trunk[0];
    w.trunk[start].eval = 0;
    w.sel_depth = 0;
    int pv[PV_SIZE];
    const int v = w.SearchPv(1, -MATE, MATE, start, 2 * 5, pv);
    EXPECT_EQ(w.sel_depth, MAX_SEARCH_PLY + 1);
    EXPECT_LT(std::abs(v), MATE - 1000);
    EXPECT_EQ(w.root_n_move, 12345);
}
