// The static evaluation against a plain reference computation under random weights, on
// every position of the test games and on kingless positions, long pins and full hands;
// and the evaluation cache.
#include <algorithm>
#include <atomic>
#include <bit>
#include <functional>
#include <string>
#include <random>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "board/attack.h"
#include "eval/evalute.h"
#include "eval/get_grade.h"
#include "eval/weight_layout.h"
#include "hash/hash.h"
#include "search/pv.h"
#include "test_util.h"

namespace {

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
    out.push_back(board_with({{0x59, S | OU}, {0x52, S | HI}, {0x41, S | KI}, {0x33, G | KE}, {0x21, G | KY}}));
    // Side 1 has no king.
    out.push_back(board_with({{0x51, G | OU}, {0x58, G | RY}, {0x69, G | GI}, {0x77, S | KA}}));
    // No kings at all.
    out.push_back(board_with({{0x55, S | KI}, {0x44, G | UM}}));
    // A dragon pinned at distance 7 from its king on 9i by a bishop on 1a.
    out.push_back(board_with({{0x99, S | OU}, {0x22, S | RY}, {0x11, G | KA}, {0x15, G | OU}}));
    // The same for side 0: a dragon on 8h pinned against its king on 1a by a bishop on 9i.
    out.push_back(board_with({{0x11, G | OU}, {0x88, G | RY}, {0x99, S | KA}, {0x95, S | OU}}));
    // Full hands: 18 pawns and everything else that fits.
    Position hands = board_with({{0x59, S | OU}, {0x51, G | OU}});
    const int full[8] = {0, 18, 4, 4, 4, 4, 2, 2};
    for (int t = FU; t <= HI; t++)
        hands.hand[t & 1][t] = full[t];  // pawns, knights, golds, rooks to side 1
    out.push_back(hands);
    return out;
}

// Under random weights, at every grade: the evaluation equals the plain computation,
// and turning the board negates it.
TEST_F(RandomWeights, EvaluationMatchesAPlainComputationAndTurnsWithTheBoard)
{
    for (int grade : {0, 1, 2}) {
        Grade = grade;
        long n = 0;
        auto check = [&](const Position &p, const std::string &where) {
            const int v = EvaluteNoHash(&p), expected = reference_eval(p);
            const Position m = mirrored(p);
            const int turned = EvaluteNoHash(&m);
            if ((v != expected || turned != -v) && fault_count++ < 10)
                ADD_FAILURE() << where << " grade " << grade << ": " << v << ", plainly " << expected << ", turned " << turned;
            n++;
        };
        for_each_game_position(check);
        for (const Position &p : odd_positions())
            check(p, "odd position " + std::to_string(n));
        EXPECT_GT(n, 20000);
    }
    EXPECT_EQ(fault_count, 0);
}

// Another position whose key shares the low 21 bits but not the high half takes the
// cache entry; the first is then computed again.
TEST(EvaluationCache, HitsUntilClearedOrTaken)
{
    EvaluteHashClear();
    ASSERT_GT(set_position("startpos moves 2g2f 8c8d 2f2e"), 0);
    const Position p = Trunk[0];
    Position q = p;
    q.board[0x77] = 0;  // a different position under a forged key
    AttackInit(&q);
    q.key = p.key ^ (std::uint64_t{1} << 40);
    const int v = EvaluteNoHash(&p), w = EvaluteNoHash(&q);
    ASSERT_NE(v, w);
    struct Step {
        const Position *pos;
        int value, computed, hits;  // profile[13], profile[14] after the step
    } steps[] = {{&p, v, 1, 0}, {&p, v, 1, 1}, {&q, w, 2, 1}, {&p, v, 3, 1}};
    for (const Step &s : steps) {
        EXPECT_EQ(Evalute(s.pos), s.value);
        EXPECT_EQ(profile[13], s.computed);
        EXPECT_EQ(profile[14], s.hits);
    }
    EvaluteHashClear();
    EXPECT_EQ(profile[13] + profile[14], 0);
    EXPECT_EQ(Evalute(&p), v);
    EXPECT_EQ(profile[13], 1);
}

// Threads evaluating at once positions that take the same cache entry: every answer is the
// position's own score, never one position's check word paired with another's score.
TEST(EvaluationCache, ThreadsSharingAnEntryGetTheirOwnScores)
{
    EvaluteHashClear();
    std::vector<Position> positions;
    std::vector<int> scores;
    const GameRecord &g = test_games().front();
    for (std::size_t k = 10; k < 90 && k <= g.moves.size(); k += 10) {
        ASSERT_GT(set_position(position_text(g, k)), 0);
        Position p = Trunk[0];
        // One entry for all (the same low 21 bits), each its own check word.
        p.key = (std::uint64_t{positions.size() + 1} << 40) | 0x1234;
        positions.push_back(p);
        scores.push_back(EvaluteNoHash(&p));
    }
    ASSERT_GE(positions.size(), 5u);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 3000; i++) {
                const std::size_t k = (i * 7 + t) % positions.size();
                if (Evalute(&positions[k]) != scores[k])
                    wrong++;
            }
        });
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(wrong, 0);
    EvaluteHashClear();
}

}  // namespace
