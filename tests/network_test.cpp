// The evaluation network: the accumulator kept move by move equals one computed afresh over
// whole games, the fixed-point output follows a floating-point reference, the file goes
// back and forth unchanged and every kind of broken file is refused with a reason.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "board/new_board.h"
#include "eval/evalute.h"
#include "eval/network.h"
#include "board/notation.h"
#include "frontend/usi_sub.h"
#include "platform/platform.h"
#include "search/worker.h"
#include "test_util.h"
#include "tools/fixed_depth.h"
#include "tools/learn/net_model.h"

namespace {

std::unique_ptr<NetParameters> random_network(int hidden, int activation, unsigned seed)
{
    auto net = std::make_unique<NetParameters>();
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> w(-400, 400), o(-3000, 3000);
    net->hidden = hidden;
    net->activation = activation;
    net_set_output_scale(net.get(), 400);
    for (int k = 0; k < NET_FEATURES * hidden; k++)
        net->input_weights[k] = static_cast<std::int16_t>(w(rng));
    for (int i = 0; i < hidden; i++)
        net->input_bias[i] = static_cast<std::int16_t>(w(rng) + 100);
    for (int i = 0; i < 2 * hidden; i++)
        net->output_weights[i] = static_cast<std::int16_t>(o(rng));
    net->output_bias = o(rng) * 100;
    return net;
}

bool same(const NetAccumulator &a, const NetAccumulator &b, int hidden)
{
    for (int v = 0; v < 2; v++)
        for (int i = 0; i < hidden; i++)
            if (a.v[v][i] != b.v[v][i])
                return false;
    return true;
}

// A USI move of the game made on p by side, piece and captured read from the board.
int game_move(const std::string &text, const Position &p)
{
    const int m = usi2move(text.c_str());
    if (!move_from(m))
        return m;
    return make_move(move_from(m), move_to(m), p.board[move_from(m)] & 15, p.board[move_to(m)] & 15,
                     move_is_promote(m));
}

// Every move of every test game, both sides, both code paths and both activations: the
// accumulator updated move by move equals a refresh, and the two paths evaluate alike.
TEST(Network, IncrementalEqualsRefreshOverWholeGames)
{
    const bool avx2 = cpu_has_avx2();
    int captures = 0, drops = 0, promotions = 0, king_moves = 0, moves = 0, faults = 0;
    for (int hidden : {32, 128}) {
        const auto net = random_network(hidden, hidden == 32 ? NET_CRELU : NET_SCRELU, 11u + hidden);
        for (const GameRecord &g : test_games()) {
            ASSERT_GT(set_position(position_text(g, 0)), 0);
            Position p = Trunk[0];
            int side = 1;
            NetAccumulator acc, fresh, simd, plain;
            net_refresh(*net, &p, &acc);
            for (const std::string &text : g.moves) {
                const int m = game_move(text, p);
                ASSERT_NE(m, 0) << text;
                NetAccumulator next;
                net_use_avx2(false);
                net_update(*net, acc, &p, side, m, &plain);
                net_use_avx2(true);
                net_update(*net, acc, &p, side, m, &next);
                NewBoard(side, m, &p);
                side ^= 1;
                net_refresh(*net, &p, &fresh);
                net_use_avx2(false);
                net_refresh(*net, &p, &simd);  // the portable refresh, against the SIMD one
                const int portable = net_evaluate(*net, fresh, side);
                net_use_avx2(true);
                if ((!same(next, fresh, hidden) || !same(plain, fresh, hidden) || !same(simd, fresh, hidden) ||
                     portable != net_evaluate(*net, fresh, side)) &&
                    faults++ < 5)
                    ADD_FAILURE() << g.header << ": after " << text << " (hidden " << hidden << ")";
                acc = next;
                moves++;
                captures += move_cap(m) != 0;
                drops += move_from(m) == 0;
                promotions += move_is_promote(m);
                king_moves += move_piece(m) == OU;
            }
        }
    }
    net_use_avx2(true);
    EXPECT_EQ(faults, 0);
    EXPECT_GT(moves, 20000);
    EXPECT_GT(captures, 1000);
    EXPECT_GT(drops, 1000);
    EXPECT_GT(promotions, 100);
    EXPECT_GT(king_moves, 500);
    if (!avx2)
        GTEST_SKIP() << "no AVX2 here: only the portable code was compared";
}

// In the search: every position record's sums, made from its parent's by the main search's
// moves and copied for null moves, equal a refresh of that record, after searches of real
// positions (the records keep the last line each ply saw); and the network moves the search.
TEST(Network, SearchKeepsEachRecordsSums)
{
    const auto net = random_network(32, NET_CRELU, 5);
    int checked = 0, faults = 0, moved = 0;
    for (std::size_t g = 0; g < test_games().size(); g += 12) {
        const std::string text = position_text(test_games()[g], test_games()[g].moves.size() / 2);
        ASSERT_GT(set_position(text), 0) << text;
        NetActive = false;
        EvaluteHashClear();
        const int tables = search_fixed_depth(4, false).value;
        ASSERT_GT(set_position(text), 0);
        Net = *net;
        NetActive = true;
        EvaluteHashClear();
        moved += search_fixed_depth(4, false).value != tables;
        const SearchWorker &w = main_worker();
        for (int ply = 0; ply < TRUNK_SIZE; ply++) {
            if (w.acc_key[ply] != w.trunk[ply].key || w.trunk[ply].key == 0)  // 0: never reached
                continue;
            NetAccumulator fresh;
            net_refresh(Net, &w.trunk[ply], &fresh);
            faults += !same(w.acc[ply], fresh, 32);
            checked++;
        }
        NetActive = false;
    }
    EvaluteHashClear();
    EXPECT_EQ(faults, 0);
    EXPECT_GT(checked, 60);
    EXPECT_GT(moved, 5);
}

// Whose move it is, through the evaluation: a position turned 180 degrees with the sides
// exchanged and the other side to move is worth the same to its mover, so the engine's value
// (side 1's view) changes sign; with a network the two sides' sums trade places.
TEST(Network, TurnedPositionWithTheOtherSideToMoveNegates)
{
    const auto net = random_network(32, NET_CRELU, 9);
    Net = *net;
    NetActive = true;
    EvaluteHashClear();
    int compared = 0, differ = 0, net_moves = 0;
    for (std::size_t g = 0; g < test_games().size(); g += 6) {
        for (std::size_t k = 10; k < test_games()[g].moves.size(); k += 17) {
            ASSERT_GT(set_position(position_text(test_games()[g], k)), 0);
            const Position p = Trunk[0], q = mirrored(p);
            const int v = Evalute(&p, 1), w = Evalute(&q, 0);
            differ += v != -w;
            net_moves += v != EvaluteNoHash(&p);
            compared++;
        }
    }
    NetActive = false;
    EvaluteHashClear();
    EXPECT_EQ(differ, 0);
    EXPECT_GT(compared, 100);
    EXPECT_GT(net_moves, compared / 2);
}

// The fixed-point network against the floating-point one it was rounded from, on real
// positions: the same value to within the rounding of the weights (about 2 centipawns on
// average for a network whose output spreads over 400).
TEST(Network, FixedPointFollowsFloatingPoint)
{
    for (int activation : {NET_CRELU, NET_SCRELU}) {
        NetModel model;
        model.init(64, activation, 5);
        std::mt19937 rng(3);
        std::uniform_real_distribution<float> w1(-0.15f, 0.15f), wo(-2.0f, 2.0f);
        model.output_scale = 100;
        for (float &w : model.w1)
            w = w1(rng);
        for (float &w : model.wo)
            w = wo(rng);
        model.bo = 0.1f;
        auto net = std::make_unique<NetParameters>();
        model.quantize(net.get());

        double sum = 0, worst = 0, spread = 0;
        int n = 0;
        for (const GameRecord &g : test_games())
            for (std::size_t k = 0; k <= g.moves.size(); k += 5) {
                ASSERT_GT(set_position(position_text(g, k)), 0);
                int f[NET_MAX_ACTIVE];
                const int count = net_features(&Trunk[0], 1, f);  // side 1 is to move
                std::uint16_t features[NET_MAX_ACTIVE];
                for (int i = 0; i < count; i++)
                    features[i] = static_cast<std::uint16_t>(f[i]);
                const double reference = model.forward(features, count);
                NetAccumulator acc;
                net_refresh(*net, &Trunk[0], &acc);
                const double d = std::abs(net_evaluate(*net, acc, 1) - reference);
                sum += d, worst = std::max(worst, d), spread += std::abs(reference), n++;
            }
        ASSERT_GT(n, 4000);
        EXPECT_GT(spread / n, 100) << "the reference network should say something";
        EXPECT_LT(sum / n, 2.5) << "activation " << activation;
        EXPECT_LT(worst, 12) << "activation " << activation;
    }
}

class NetworkFile : public InTempDir {};

std::vector<char> bytes_of(const char *name)
{
    std::ifstream in(name, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

void write_bytes(const char *name, const std::vector<char> &b)
{
    std::ofstream(name, std::ios::binary).write(b.data(), static_cast<std::streamsize>(b.size()));
}

TEST_F(NetworkFile, RoundTripsEveryHiddenSize)
{
    for (int hidden : {16, 32, 64, 128}) {
        const auto net = random_network(hidden, hidden % 32 ? NET_SCRELU : NET_CRELU, 7u * hidden);
        net->stamp = 12345;
        std::string error;
        ASSERT_TRUE(net_write_file("net.bin", *net, &error)) << error;
        EXPECT_EQ(static_cast<long>(bytes_of("net.bin").size()), net_file_bytes(hidden));
        auto back = std::make_unique<NetParameters>();
        ASSERT_TRUE(net_read_file("net.bin", back.get(), &error)) << error;
        EXPECT_EQ(back->hidden, hidden);
        EXPECT_EQ(back->activation, net->activation);
        EXPECT_EQ(back->output_multiplier, net->output_multiplier);
        EXPECT_EQ(back->output_shift, net->output_shift);
        EXPECT_EQ(back->output_bias, net->output_bias);
        EXPECT_EQ(back->stamp, 12345u);
        EXPECT_TRUE(std::equal(net->input_weights, net->input_weights + NET_FEATURES * hidden, back->input_weights));
        EXPECT_TRUE(std::equal(net->input_bias, net->input_bias + hidden, back->input_bias));
        EXPECT_TRUE(std::equal(net->output_weights, net->output_weights + 2 * hidden, back->output_weights));
        ASSERT_TRUE(NetLoad("net.bin", &error)) << error;
        EXPECT_TRUE(NetActive);
    }
}

// Each broken file is refused with its own reason and leaves the engine on the tables alone.
TEST_F(NetworkFile, BrokenFilesAreRefused)
{
    const auto net = random_network(32, NET_CRELU, 3);
    std::string error;
    ASSERT_TRUE(net_write_file("good.bin", *net, &error));
    const std::vector<char> good = bytes_of("good.bin");
    auto changed = [&](std::size_t at, char x) {
        std::vector<char> b = good;
        b[at] = static_cast<char>(b[at] ^ x);
        return b;
    };
    const struct {
        const char *what;
        std::vector<char> bytes;  // empty: no file at all
        const char *reason;
    } cases[] = {
        {"missing", {}, "cannot be read"},
        {"short header", std::vector<char>(good.begin(), good.begin() + 20), "too short"},
        {"cut payload", std::vector<char>(good.begin(), good.end() - 100), "its header says"},
        {"extra byte", [&] { auto b = good; b.push_back(0); return b; }(), "its header says"},
        {"bad magic", changed(0, 1), "bad magic"},
        {"other version", changed(4, 2), "header"},
        {"odd hidden size", changed(6, 8), "header"},
        {"other feature set", changed(8, 4), "header"},
        {"payload byte", changed(5000, 16), "checksum"},
        {"output multiplier", changed(21, 1), "checksum"},
    };
    for (const auto &c : cases) {
        std::remove("broken.bin");
        if (!c.bytes.empty())
            write_bytes("broken.bin", c.bytes);
        ASSERT_TRUE(NetLoad("good.bin", &error));
        error.clear();
        EXPECT_FALSE(NetLoad("broken.bin", &error)) << c.what;
        EXPECT_FALSE(NetActive) << c.what;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
        EXPECT_NE(error.find("broken.bin"), std::string::npos) << c.what << ": " << error;
    }
}

}  // namespace
