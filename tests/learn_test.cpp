// Learning the weights: the learner's view of the evaluation equals the engine's, records
// survive the file, and the learner finds known weights with a correct gradient.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

#include "board/notation.h"
#include "eval/evalute.h"
#include "eval/get_grade.h"
#include "test_util.h"
#include "tools/learn/learner.h"
#include "tools/learn/positions.h"
#include "tools/learn/record.h"

namespace {

// Material plus coefficient x weight over the listed features, for every game position
// and phase under random weights, is the engine's evaluation to the unit.
TEST(Learning, FeaturesAddUpToTheEvaluation)
{
    random_weights(7);
    const Position kingless = board_with({{0x59, 16 | OU}, {0x52, 16 | HI}, {0x41, 16 | KI}, {0x33, 32 | KE}});
    long checked = 0, faults = 0;
    EvalFeatures f;
    auto check = [&](const Position &p, int grade) {
        Grade = grade;
        const int engine = EvaluteNoHash(&p);
        const int listed = EvaluteFeatures(&p, &f);
        long sum = material(p);
        for (int k = 0; k < f.n; k++)
            sum += f.feature[k].coefficient * weight_at(f.feature[k].index);
        if ((sum != engine || listed != engine) && faults++ < 5)
            ADD_FAILURE() << "grade " << grade << ": features give " << sum << ", the evaluation " << engine;
        checked++;
    };
    for (const GameRecord &g : test_games())
        for (std::size_t k = 0; k <= g.moves.size(); k += 2) {
            ASSERT_GT(set_position(position_text(g, k)), 0);
            check(Trunk[0], static_cast<int>(k % 3));
        }
    for (int grade = 0; grade < 3; grade++)
        check(kingless, grade);
    EXPECT_GT(checked, 10000);
    EXPECT_EQ(faults, 0);
    InitEvalute(1);
    Grade = 0;
}

// Positions of real games, both sides to move, go through a file and back unchanged; a
// torn record at the end is left out.
TEST_F(InTempDir, RecordsRoundTripThroughAFile)
{
    std::vector<TrainingRecord> written;
    std::vector<Position> positions;
    int n = 0;
    for (const GameRecord &g : test_games())
        for (std::size_t k = 0; k <= g.moves.size(); k += 13, n++) {
            ASSERT_GT(set_position(position_text(g, k)), 0);
            TrainingRecord r;
            ASSERT_TRUE(pack_position(Trunk[0], &r));
            r.score = static_cast<std::int16_t>(n * 37 % 60000 - 30000);
            r.move = static_cast<std::uint16_t>(n * 7919);
            r.ply = static_cast<std::uint16_t>(k);
            r.result = static_cast<std::int8_t>(n % 3 - 1);
            r.grade = static_cast<std::uint8_t>(n % 3);
            r.teacher = static_cast<std::uint8_t>(n % 3);
            written.push_back(r);
            positions.push_back(Trunk[0]);
        }
    ASSERT_TRUE(append_records("a.bin", std::vector<TrainingRecord>(written.begin(), written.begin() + 10)));
    ASSERT_TRUE(append_records("a.bin", std::vector<TrainingRecord>(written.begin() + 10, written.end())));
    std::FILE *fp = std::fopen("a.bin", "ab");
    std::fputs("torn", fp);
    std::fclose(fp);
    const std::vector<TrainingRecord> read = read_records("a.bin");
    ASSERT_EQ(read.size(), written.size());
    for (std::size_t i = 0; i < read.size(); i++) {
        const TrainingRecord &a = written[i], &b = read[i];
        ASSERT_TRUE(a.packed == b.packed && a.score == b.score && a.move == b.move && a.ply == b.ply &&
                    a.result == b.result && a.grade == b.grade && a.teacher == b.teacher)
            << "record " << i;
        ASSERT_GT(set_position("sfen " + record_sfen(b)), 0);
        for (int sq : position_tbl)
            ASSERT_EQ(Trunk[0].board[sq], positions[i].board[sq]) << "record " << i << " square " << sq;
        for (int side = 0; side < 2; side++)
            for (int t = FU; t <= HI; t++)
                ASSERT_EQ(Trunk[0].hand[side][t], positions[i].hand[side][t]) << "record " << i;
    }
}

// Records written by an earlier build read back to the same text: data files made before
// a change of the layout stay readable.
TEST(Learning, StoredRecordsKeepTheirMeaning)
{
    const std::string dir = std::string(QVN_TEST_DATA) + "/learn/";
    const std::vector<TrainingRecord> records = read_records((dir + "sample.bin").c_str());
    std::ifstream text(dir + "sample.txt");
    std::string line;
    std::size_t i = 0;
    for (; std::getline(text, line); i++) {
        ASSERT_LT(i, records.size());
        const TrainingRecord &r = records[i];
        char move[8];
        move2usi(smove2move(r.move), move);
        std::ostringstream expected;
        expected << "sfen " << record_sfen(r) << '\t' << r.score << '\t' << move << '\t' << r.ply << '\t'
                 << int{r.result} << '\t' << int{r.grade} << '\t' << int{r.teacher};
        EXPECT_EQ(expected.str(), line) << "record " << i;
    }
    EXPECT_EQ(i, records.size());
}

// A set of positions scored by known weights: the learner finds them again.
TEST(Learning, RecoversKnownWeights)
{
    constexpr int FIRST = 118098, USED = 60;  // small tables: no shared factors
    std::mt19937_64 rng(3);
    std::vector<double> truth(WEIGHT_COUNT);
    for (int i = 0; i < USED; i++)
        truth[FIRST + i] = static_cast<double>(static_cast<int>(rng() % 201) - 100);
    LearnSet set;
    LearnOptions o;
    o.scale = 100;
    o.l2 = 0;
    o.rate = 2;
    o.batch = 256;
    for (int s = 0; s < 6000; s++) {
        int index[8], coefficient[8];
        double v = static_cast<double>(static_cast<int>(rng() % 101) - 50);
        const double base = v;
        for (int k = 0; k < 8; k++) {
            index[k] = FIRST + static_cast<int>(rng() % USED);
            coefficient[k] = rng() % 2 ? 1 : -1;
            v += coefficient[k] * truth[index[k]];
        }
        set.add(index, coefficient, 8, base, sigmoid(v / o.scale));
    }
    Learner learner(o, std::vector<double>(WEIGHT_COUNT));
    for (int e = 0; e < 30; e++) {
        learner.epoch(set, rng);
        learner.options.rate *= 0.9;
    }
    const std::vector<double> w = learner.weights();
    for (int i = 0; i < USED; i++)
        EXPECT_NEAR(w[FIRST + i], truth[FIRST + i], 3.0) << "weight " << FIRST + i;
}

// The gradient equals central differences of the regularised loss, for the king-relative
// weights with their shared factors and mirror ties and for a small table.
TEST(Learning, GradientMatchesFiniteDifferences)
{
    LearnOptions o;
    o.scale = 50;
    o.l2 = 1e-3;
    o.mirror = true;
    std::mt19937_64 rng(11);
    std::vector<double> start(WEIGHT_COUNT);
    for (double &x : start)
        x = static_cast<double>(rng() % 21) - 10;
    LearnSet set;
    const int picks[] = {5 * 729 + 2 * 81 + 13, 59049 + 40 * 729 + 4 * 81 + 31, 59049 + 44 * 729 + 4 * 81 + 49, 118100};
    for (int s = 0; s < 40; s++) {
        int index[4], coefficient[4];
        for (int k = 0; k < 4; k++) {
            index[k] = picks[(s + k) % 4];
            coefficient[k] = (s >> k) % 2 ? 1 : -1;
        }
        set.add(index, coefficient, 4, static_cast<double>(s) - 20, (s % 5) / 4.0);
    }
    Learner learner(o, start);
    // At the start the regulariser is flat: what has a gradient is what the features reach.
    std::vector<int> reached;
    const std::vector<double> g0 = learner.gradient(set);
    for (int p = 0; p < learner.parameter_count(); p++)
        if (g0[p] != 0)
            reached.push_back(p);
    for (int p : reached)
        learner.parameters()[p] += static_cast<double>(rng() % 7) - 3;
    const std::vector<double> g = learner.gradient(set);
    int checked = 0;
    for (int p : reached) {
        double &x = learner.parameters()[p];
        const double h = 1e-3, keep = x;
        x = keep + h;
        const double up = learner.loss(set, true);
        x = keep - h;
        const double down = learner.loss(set, true);
        x = keep;
        EXPECT_NEAR(g[p], (up - down) / (2 * h), 1e-6) << "parameter " << p;
        checked++;
    }
    EXPECT_GE(checked, 8);  // the four weights, their factors and the tied mirror
}

}  // namespace
