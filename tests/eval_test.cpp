// The static evaluation: symmetry, the material-only case, a plain reference
// computation under random weights, kingless positions, pins and the cache.
#include <algorithm>
#include <bit>
#include <functional>
#include <random>

#include <gtest/gtest.h>

#include "board/attack.h"
#include "eval/evalute.h"
#include "frontend/usi_sub.h"
#include "hash/hash.h"
#include "search/get_grade.h"
#include "search/pv.h"
#include "test_util.h"

namespace {

void finish(Position &p)
{
    p.king[0] = p.king[1] = 0;
    for (int sq : position_tbl) {
        if (p.board[sq] == (16 | OU))
            p.king[1] = sq;
        if (p.board[sq] == (32 | OU))
            p.king[0] = sq;
    }
    p.board_key = board_key_of(&p);
    p.hand_key = hand_key_of(&p);
    p.key = p.board_key ^ p.hand_key;
    AttackInit(&p);
    MakePin(0, &p);
    MakePin(1, &p);
}

// p turned 180 degrees with the colours of pieces, hands and kings exchanged.
Position mirrored(const Position &p)
{
    Position m{};
    clear_board(&m);
    for (int sq : position_tbl) {
        const int w = p.board[sq];
        m.board[170 - sq] = w ? (w & 15) | (w & 16 ? 32 : 16) : 0;
    }
    for (int t = 0; t < 8; t++) {
        m.hand[0][t] = p.hand[1][t];
        m.hand[1][t] = p.hand[0][t];
    }
    finish(m);
    return m;
}

Position board_with(std::initializer_list<std::pair<int, int>> pieces)
{
    Position p{};
    clear_board(&p);
    for (auto [sq, word] : pieces)
        p.board[sq] = word;
    finish(p);
    return p;
}

// Calls fn on the root of every ply of every test game (the engine's own view).
void for_each_game_position(const std::function<void(const Position &, const std::string &)> &fn)
{
    for (const GameRecord &g : test_games())
        for (std::size_t k = 0; k <= g.moves.size(); k++) {
            ASSERT_GT(set_position(position_text(g, k)), 0);
            fn(Trunk[0], g.header + " ply " + std::to_string(k));
        }
}

// ---- an independent, plain computation of the evaluation ---------------------------------

int fault_count;

// Element i of an array; an index outside it is a test failure.
template <class T, std::size_t N>
const T &at(const T (&a)[N], long i)
{
    if (i < 0 || i >= static_cast<long>(N)) {
        if (fault_count++ < 10)
            ADD_FAILURE() << "index " << i << " outside a table of " << N;
        return a[0];
    }
    return a[i];
}

int kind_of(int t)
{
    switch (t) {
    case FU: return 0;
    case KY: return 1;
    case KE: return 2;
    case GI: return 3;
    case KI: case TO: case NY: case NK: case NG: return 4;
    case KA: return 5;
    case HI: return 6;
    case UM: return 7;
    case RY: return 8;
    default: return -1;
    }
}

int index81(int sq) { return 9 * (sq / 16 - 1) + sq % 16 - 1; }
int dist(int a, int b) { return std::max(std::abs(a / 16 - b / 16), std::abs(a % 16 - b % 16)); }

struct RefSide {
    int lances = 0, knights = 0, silvers = 0, bishops = 0, rooks = 0, guards = 0;
    int knight_head = 1, bishop_head = 1;
    int count[18] = {};
    int silver_steps = 0;
    int zone[14] = {};
    int pins[4] = {};
};

// The evaluation written straight from its rules, side by side, with every table read
// through at(). A side without a king gets none of the terms that need a king, and a
// pin index past the table reads its last element.
int reference_eval(const Position &p)
{
    int score = 0;
    RefSide s[2];
    for (int file = 1; file <= 9; file++)
        for (int rank = 1; rank <= 9; rank++) {
            const int sq = file * 16 + rank, c = p.board[sq], t = c & 15;
            for (int side = 1; side >= 0; side--) {
                RefSide &me = s[side];
                const int sign = side ? 1 : -1, own = side ? 16 : 32;
                const int K = p.king[side], E = p.king[side ^ 1];
                auto view = [side](int x) { return side ? index81(x) : 80 - index81(x); };
                const int *A = p.attack[side], *B = p.attack[side ^ 1];
                if ((c & own) && kind_of(t) >= 0) {
                    int v = PieceValue[t];
                    if (E)
                        v += at(at(at(OffensePos, view(E)), kind_of(t)), view(sq));
                    if (K)
                        v += at(at(at(DefensePos, view(K)), kind_of(t)), view(sq));
                    score += sign * v;
                    const int front = side ? sq - 1 : sq + 1;
                    if (t == KY) me.lances++;
                    if (t == KE) {
                        me.knights++;
                        if (A[front] == 0) me.knight_head = 0;
                    }
                    if (t == GI) me.silvers++;
                    if (t == KA) {
                        me.bishops++;
                        if (A[front] == 0) me.bishop_head = 0;
                    }
                    if (t == UM) me.bishops++;
                    if (t == HI || t == RY) me.rooks++;
                    if ((t == GI || t == KI) && K && std::abs(rank - K % 16) <= 1 && std::abs(file - K / 16) <= 3)
                        me.guards++;
                }
                if (!(c & own)) {
                    for (int b = 8; b <= 17; b++)
                        if (A[sq] >> b & 1)
                            me.count[b]++;
                    const int back6 = side ? sq + 15 : sq - 15, back7 = side ? sq - 17 : sq + 17;
                    if ((A[sq] & 0x40) && p.board[back6] == (own | GI)) me.silver_steps++;
                    if ((A[sq] & 0x80) && p.board[back7] == (own | GI)) me.silver_steps++;
                }
                if (!K)
                    continue;
                const int balance = std::popcount(static_cast<unsigned>(A[sq])) - std::popcount(static_cast<unsigned>(B[sq]));
                const int d = dist(sq, K);
                if (d == 1 || d == 2) {
                    const int band = balance < 0 ? 0 : balance == 0 ? 1 : 2;
                    if (c & own)
                        me.zone[6 * (d - 1) + 2 * band]++;
                    else if (c == 0)
                        me.zone[6 * (d - 1) + 2 * band + 1]++;
                    if (c == 0 && B[sq] == 0)
                        me.zone[d == 1 ? 13 : 12]++;
                }
                if (p.pin[side][sq] != 255) {
                    score += sign * at(PinPieceValue, std::min(t * 7 + d, 111));
                    me.pins[balance < 0 ? 0 : balance == 0 ? 1 : balance == 1 ? 2 : 3]++;
                }
            }
        }
    for (int side = 1; side >= 0; side--) {
        RefSide &me = s[side];
        const int sign = side ? 1 : -1, K = p.king[side];
        int v = 0;
        if (me.lances + me.rooks > 0)
            v += at(at(Mobility, 0), me.count[8] / (me.lances + me.rooks));
        if (me.rooks > 0) {
            v += at(at(Mobility, 1), me.count[9] / me.rooks);
            v += at(at(Mobility, 2), (me.count[10] + me.count[11]) / me.rooks);
        }
        if (me.bishops > 0)
            v += at(at(Mobility, 3), std::min(8, (me.count[12] + me.count[13] + me.count[14] + me.count[15]) / me.bishops));
        if (me.knights > 0)
            v += at(at(Mobility, 4), (me.count[16] + me.count[17]) / me.knights);
        if (me.silvers > 0)
            v += at(at(Mobility, 5), me.silver_steps / me.silvers);
        for (int t = 1; t <= 7; t++)
            v += PieceValue[t] * p.hand[side][t] + at(at(HandValue, t), std::min(p.hand[side][t], 7));
        v += me.knight_head ? AttackKei : 0;
        v += me.bishop_head ? AttackKaku : 0;
        if (K) {
            v += at(KingGuard, me.guards);
            for (int k = 6; k < 14; k++)
                me.zone[k] = std::min(me.zone[k], 8);
            for (int k = 0; k < 12; k++)
                v += at(at(KingAttacks, k), me.zone[k]);
            for (int c = 0; c < 4; c++)
                if (me.pins[c] > 0)
                    v += at(at(PinAttacks, c), std::min(me.pins[c] - 1, 2));
            if (Grade == 2) {
                v += at(KingSpace, me.zone[13]) + at(KingSpace2, me.zone[12]);
                v += at(at(KingAttacks, 12), std::min(8, std::popcount(static_cast<unsigned>(p.attack[side][K]))));
            }
        }
        score += sign * v;
    }
    return score;
}

// Fills every weight with a different-looking random number, so that reading the
// wrong element shows in the result.
void random_weights(unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> value(-999, 999);
    auto fill = [&](int *a, int n) {
        for (int i = 0; i < n; i++)
            a[i] = value(rng);
    };
    fill(&OffensePos[0][0][0], 81 * 9 * 81);
    fill(&DefensePos[0][0][0], 81 * 9 * 81);
    fill(&Mobility[0][0], 54);
    fill(PinPieceValue, 112);
    fill(&PinAttacks[0][0], 12);
    fill(&KingAttacks[0][0], 117);
    fill(KingSpace, 9);
    fill(KingSpace2, 9);
    fill(&AttackKei, 1);
    fill(&AttackKaku, 1);
    fill(KingGuard, 9);
    fill(&HandValue[0][0], 64);
}

// Random weights for one test; the shipped ones again afterwards.
class RandomWeights : public ::testing::Test {
  protected:
    void SetUp() override
    {
        random_weights(20240601);
        fault_count = 0;
    }
    void TearDown() override
    {
        InitEvalute(1);
        Grade = 0;
    }
};

// Positions that the games never reach: no king, a long pin, full hands.
std::vector<Position> odd_positions()
{
    std::vector<Position> out;
    // Side 0 has no king; side 1's rook and gold near where it would be.
    out.push_back(board_with({{0x59, 16 | OU}, {0x52, 16 | HI}, {0x41, 16 | KI}, {0x33, 32 | KE}, {0x21, 32 | KY}}));
    // Side 1 has no king.
    out.push_back(board_with({{0x51, 32 | OU}, {0x58, 32 | RY}, {0x69, 32 | GI}, {0x77, 16 | KA}}));
    // No kings at all.
    out.push_back(board_with({{0x55, 16 | KI}, {0x44, 32 | UM}}));
    // A dragon pinned at distance 7 from its king on 9i by a bishop on 1a.
    out.push_back(board_with({{0x99, 16 | OU}, {0x22, 16 | RY}, {0x11, 32 | KA}, {0x15, 32 | OU}}));
    // The same for side 0: a dragon on 8h pinned against its king on 1a by a bishop on 9i.
    out.push_back(board_with({{0x11, 32 | OU}, {0x88, 32 | RY}, {0x99, 16 | KA}, {0x95, 16 | OU}}));
    // Full hands: 18 pawns and everything else that fits.
    Position hands = board_with({{0x59, 16 | OU}, {0x51, 32 | OU}});
    hands.hand[1][FU] = 18;
    hands.hand[0][KY] = 4;
    hands.hand[1][KE] = 4;
    hands.hand[0][GI] = 4;
    hands.hand[1][KI] = 4;
    hands.hand[0][KA] = 2;
    hands.hand[1][HI] = 2;
    out.push_back(hands);
    return out;
}

TEST_F(RandomWeights, EvaluationMatchesAPlainComputation)
{
    for (int grade : {0, 2}) {
        Grade = grade;
        long n = 0;
        for_each_game_position([&](const Position &p, const std::string &where) {
            const int expected = reference_eval(p);
            if (EvaluteNoHash(&p) != expected && fault_count++ < 10)
                ADD_FAILURE() << where << " grade " << grade << ": " << EvaluteNoHash(&p) << " != " << expected;
            n++;
        });
        EXPECT_GT(n, 20000);
        for (const Position &p : odd_positions())
            EXPECT_EQ(EvaluteNoHash(&p), reference_eval(p));
    }
    EXPECT_EQ(fault_count, 0);
}

TEST_F(RandomWeights, KinglessSideReadsNoKingRelativeTable)
{
    const std::vector<Position> odd = odd_positions();
    int before[3];
    for (int i = 0; i < 3; i++)
        before[i] = EvaluteNoHash(&odd[i]);
    // A missing king must not be taken for square 1a (index 0) or its turned twin.
    for (int king : {0, 80})
        for (int k = 0; k < 9; k++)
            for (int s = 0; s < 81; s++) {
                OffensePos[king][k][s] += 5000;
                DefensePos[king][k][s] += 7000;
            }
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(EvaluteNoHash(&odd[i]), before[i]) << i;
}

TEST_F(RandomWeights, PinnedDragonAtDistanceSevenStaysInTheTable)
{
    const std::vector<Position> odd = odd_positions();
    const Position &p = odd[3];
    ASSERT_NE(p.pin[1][0x22], 255);
    const Position &q = odd[4];
    ASSERT_NE(q.pin[0][0x88], 255);
    const int before = EvaluteNoHash(&p), before0 = EvaluteNoHash(&q);
    PinPieceValue[111] += 1000;
    EXPECT_EQ(EvaluteNoHash(&p), before + 1000);
    EXPECT_EQ(EvaluteNoHash(&q), before0 - 1000);
}

// ---- with the shipped weights ------------------------------------------------------------

TEST(Evaluation, TurningTheBoardNegatesTheScore)
{
    for (int grade : {0, 2}) {
        Grade = grade;
        int faults = 0, nonzero = 0;
        for_each_game_position([&](const Position &p, const std::string &where) {
            const Position m = mirrored(p);
            const int v = EvaluteNoHash(&p), w = EvaluteNoHash(&m);
            nonzero += v != 0;
            if (v != -w && faults++ < 10)
                ADD_FAILURE() << where << " grade " << grade << ": " << v << " turned " << w;
        });
        EXPECT_EQ(faults, 0);
        EXPECT_GT(nonzero, 20000);
        for (const Position &p : odd_positions()) {
            const Position m = mirrored(p);
            EXPECT_EQ(EvaluteNoHash(&p), -EvaluteNoHash(&m));
        }
    }
    Grade = 0;
}

TEST(Evaluation, EndgameTermsOnlyInTheEndgame)
{
    ASSERT_GT(set_position("startpos moves 7g7f 3c3d 8h2b+ 3a2b B*4e"), 0);
    Grade = 0;
    const int opening = EvaluteNoHash(&Trunk[0]);
    Grade = 1;
    EXPECT_EQ(EvaluteNoHash(&Trunk[0]), opening);
    Grade = 2;
    EXPECT_NE(EvaluteNoHash(&Trunk[0]), opening);
    Grade = 0;
}

// With no weights the score is the material on the board and in hand.
TEST(Evaluation, WithoutWeightsOnlyMaterialCounts)
{
    ::testing::internal::CaptureStderr();
    InitEvalute(1, "no-such-weight.dat");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "weight.dat read error.");
    ASSERT_GT(set_position("startpos"), 0);
    EXPECT_EQ(EvaluteNoHash(&Trunk[0]), 0);
    Position extra = Trunk[0];
    extra.hand[1][FU] = 1;  // one pawn more than a set holds, so not through "position"
    finish(extra);
    EXPECT_EQ(EvaluteNoHash(&extra), 128);

    for (int grade : {0, 2}) {
        Grade = grade;
        int faults = 0;
        for_each_game_position([&](const Position &p, const std::string &where) {
            int material = 0;
            for (int sq : position_tbl) {
                const int w = p.board[sq];
                if ((w & 15) != OU)
                    material += (w & 16) ? PieceValue[w & 15] : -PieceValue[w & 15];
            }
            for (int t = 1; t <= 7; t++)
                material += PieceValue[t] * (p.hand[1][t] - p.hand[0][t]);
            if (EvaluteNoHash(&p) != material && faults++ < 10)
                ADD_FAILURE() << where << ": " << EvaluteNoHash(&p) << " != " << material;
        });
        EXPECT_EQ(faults, 0);
    }
    Grade = 0;
    InitEvalute(1);
}

TEST(Evaluation, CacheHitsUntilCleared)
{
    EvaluteHashClear();
    EXPECT_EQ(profile[13], 0);
    EXPECT_EQ(profile[14], 0);
    ASSERT_GT(set_position("startpos moves 2g2f 8c8d 2f2e"), 0);
    const Position p = Trunk[0];
    const int v = Evalute(&p);
    EXPECT_EQ(v, EvaluteNoHash(&p));
    EXPECT_EQ(profile[13], 1);
    EXPECT_EQ(Evalute(&p), v);
    EXPECT_EQ(profile[14], 1);

    // Another position whose key shares the low 21 bits but not the high half takes the
    // entry; the first is then computed again.
    Position q = p;
    q.board[0x77] = 0;  // a different position under a forged key
    AttackInit(&q);
    q.key = p.key ^ (std::uint64_t{1} << 40);
    const int w = Evalute(&q);
    EXPECT_EQ(w, EvaluteNoHash(&q));
    EXPECT_NE(w, v);
    EXPECT_EQ(profile[13], 2);
    EXPECT_EQ(Evalute(&p), v);
    EXPECT_EQ(profile[13], 3);
    EXPECT_EQ(profile[14], 1);

    EvaluteHashClear();
    EXPECT_EQ(profile[13], 0);
    EXPECT_EQ(Evalute(&p), v);
    EXPECT_EQ(profile[13], 1);
    EXPECT_EQ(profile[14], 0);
}

TEST(Evaluation, BitCount)
{
    EXPECT_EQ(get_ncnt(0), 0);
    EXPECT_EQ(get_ncnt(0x811), 3);
    EXPECT_EQ(get_ncnt(0xFFFFFFFFu), 32);
    EXPECT_EQ(get_ncnt(0x30000), 2);
}

}  // namespace
