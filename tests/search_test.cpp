// The search core: ordering, quiescence, mates against a reference, the table, stopping.
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "board/new_board.h"
#include "eval/evalute.h"
#include "frontend/usi_sub.h"
#include "hash/hash.h"
#include "movegen/make_evasion.h"
#include "movegen/make_legal.h"
#include "search/ordering.h"
#include "search/quiescence.h"
#include "search/root_search.h"
#include "search/search.h"
#include "test_util.h"
#include "tools/fixed_depth.h"
#include "tools/perft_core.h"

namespace {

constexpr int S(int piece) { return 16 | piece; }
constexpr int G(int piece) { return 32 | piece; }

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
    int ones = 0, threes = 0;
    for (const Tsume &t : positions) {
        ASSERT_GT(read_position(t.position.c_str()), 0) << t.position;
        const Position root = Trunk[0];
        // Entries of other positions cannot change a mate: no need to clear 128 MiB each time.
        const FixedDepthResult r = search_fixed_depth(t.plies, false);
        EXPECT_EQ(r.value, MATE - t.plies) << t.position;
        // The first move really mates in that many plies, by brute force over legal moves.
        Trunk[0] = root;
        EXPECT_TRUE(mates_in(0, 1, r.pv[0], t.plies)) << t.position;
        (t.plies == 1 ? ones : threes)++;
    }
    EXPECT_GT(ones, 0);
    EXPECT_GT(threes, 0);
}

TEST_F(SearchTest, QuiescenceTakesAHangingPieceButNotADefendedOne)
{
    // A silver attacks an undefended rook.
    Trunk[0] = board_with({{0x59, S(OU)}, {0x51, G(OU)}, {0x35, S(GI)}, {0x24, G(HI)}});
    const int stand_pat = Evalute(&Trunk[0]);
    MaxQuiPly = 0;
    EXPECT_GE(Quiescence(1, -MATE, MATE, 0, 0) - stand_pat, piece_value[HI] - 400);
    // A rook attacks a gold that a pawn defends: taking loses the rook, so it stands pat.
    Trunk[0] = board_with({{0x59, S(OU)}, {0x91, G(OU)}, {0x58, S(HI)}, {0x54, G(KI)}, {0x53, G(FU)}});
    EXPECT_EQ(Quiescence(1, -MATE, MATE, 0, 0), Evalute(&Trunk[0]));
}

TEST_F(SearchTest, OrderingPutsHashCapturesKillersHistoryThenBadCaptures)
{
    // Sente: king 5i, rook 2h, silvers 6h and 8h, pawn 4e; gote: king 5a, gold 4d
    // (defended by a pawn on 4c), bishop 2d (free), pawn 8c guarded by a gold on 8b.
    Trunk[0] = board_with({{0x59, S(OU)}, {0x28, S(HI)}, {0x68, S(GI)}, {0x45, S(FU)}, {0x84, S(GI)},
                           {0x51, G(OU)}, {0x44, G(KI)}, {0x43, G(FU)}, {0x24, G(KA)}, {0x83, G(FU)},
                           {0x82, G(KI)}});
    clear_search_tables();
    const int hash = make_move(0x59, 0x48, OU, 0, false);
    const int killer = make_move(0x68, 0x67, GI, 0, false);
    const int history = make_move(0x68, 0x77, GI, 0, false);
    Trunk[0].hash_move = hash;
    KillerMove1[0] = killer;
    HistoryCut[history_index(history)] = 50;
    HistoryTride[history_index(history)] = 60;
    int list[MOVE_LIST_SIZE];
    const int n = GenerateOrder(1, 0, list);
    ASSERT_GT(n, 10);
    EXPECT_EQ(list[0] & MOVE_MASK, hash);
    EXPECT_TRUE(list[0] & FLAG_KILLER);
    // Captures that do not lose material rank above the killers: the free bishop first,
    // then the gold that costs the pawn.
    EXPECT_EQ(list[1] & MOVE_MASK, make_move(0x28, 0x24, HI, KA, false));
    EXPECT_EQ(list[2] & MOVE_MASK, make_move(0x45, 0x44, FU, KI, false));
    EXPECT_EQ(list[3] & MOVE_MASK, killer);
    EXPECT_TRUE(list[3] & FLAG_KILLER);
    EXPECT_EQ(list[4] & MOVE_MASK, history);
    // Captures and promotions that lose material come last, marked: the silver taking
    // the guarded pawn among them.
    const int bad = make_move(0x84, 0x83, GI, FU, false);
    int first_bad = n;
    for (int i = n - 1; i >= 0 && (list[i] & FLAG_BADCAP); i--)
        first_bad = i;
    EXPECT_LT(first_bad, n);
    for (int i = 0; i < first_bad; i++)
        EXPECT_FALSE(list[i] & FLAG_BADCAP) << i;
    bool found = false;
    for (int i = first_bad; i < n; i++)
        found = found || (list[i] & MOVE_MASK) == bad;
    EXPECT_TRUE(found);
}

TEST_F(SearchTest, SingleEvasionIsForced)
{
    // The king on 1i is checked by a rook on 1a; only 2h is safe.
    Trunk[0] = board_with({{0x19, S(OU)}, {0x11, G(HI)}, {0x51, G(OU)}, {0x37, G(KI)}});
    int list[MOVE_LIST_SIZE];
    const int n = GenerateOrder(1, 0, list);
    if (n == 1) {
        EXPECT_TRUE(list[0] & FLAG_FORCED);
    }
}

// Where no pruning or reduction decides anything, the table may change the order of the
// moves but never the value.
TEST_F(SearchTest, TableDoesNotChangeValuesWhereNoPruningDecides)
{
    auto pruning = [] {
        int sum = profile[15] + profile[16] + profile[30] + profile[40] + profile[41];
        for (int w = 20; w <= 22; w++)
            sum += profile[w];
        for (int w = 25; w <= 28; w++)
            sum += profile[w];
        for (int w = 35; w <= 38; w++)
            sum += profile[w];
        return sum;
    };
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
    clear_search_tables();
    int (*saved)() = search_clock;
    search_clock = ticking_clock;
    fake_now = 0;
    AnalyzeMode = 0;
    RemainTime = 0;
    Countdown = 1000;
    Extend = 0;
    CalcTime();  // the budget of a 1000 ms byoyomi, the clock started
    Iterate = 20;
    int pv[PV_SIZE];
    SearchPv(1, -MATE, MATE, 0, 40, pv);
    search_clock = saved;
    EXPECT_TRUE(AbortSearch);
    // Stops at 500 ms (1000 less the margin), give or take the nodes that unwind.
    EXPECT_GE(fake_now, 500);
    EXPECT_LE(fake_now, 520);
}

TEST_F(SearchTest, AbortFromAnotherThreadStopsADeepSearch)
{
    read_position("startpos\n");
    HashClear();
    clear_search_tables();
    AnalyzeMode = 1;
    AbortSearch = 0;
    Iterate = 30;
    std::atomic<bool> done{false};
    std::thread searcher([&] {
        int pv[PV_SIZE];
        SearchPv(1, -MATE, MATE, 0, 60, pv);
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(done);
    AbortSearch = 1;
    for (int i = 0; i < 500 && !done; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(done);
    searcher.join();
}

}  // namespace
