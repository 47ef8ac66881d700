// Loading "weight.dat" whole, short, long or with values no evaluation could sum; the
// tools that write and dump the file.
#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include <gtest/gtest.h>

#include "eval/evalute.h"
#include "eval/weight_layout.h"
#include "log/log.h"
#include "test_util.h"
#include "tools/weight_text.h"

namespace {

// Raw bytes of a weight file holding values[i] as doubles (then the stamp, when given).
std::string weight_bytes(const std::vector<double> &values, const std::uint64_t *stamp)
{
    std::string bytes;
    auto put = [&](std::uint64_t bits) {
        for (int b = 0; b < 8; b++)
            bytes += static_cast<char>(bits >> (8 * b));
    };
    for (double v : values)
        put(std::bit_cast<std::uint64_t>(v));
    if (stamp)
        put(*stamp);
    return bytes;
}

// Every test in a fresh directory: no "weight.dat" unless the test writes one. The
// shipped weights are loaded again afterwards.
class WeightFile : public InTempDir {
  protected:
    void TearDown() override
    {
        close_log();
        InTempDir::TearDown();
        InitEvalute(1);
    }
    void write(const std::string &name, const std::string &bytes)
    {
        std::ofstream(name, std::ios::binary) << bytes;
    }
    // Runs InitEvalute(1) with a log open; returns {stderr, log text}.
    std::pair<std::string, std::string> load()
    {
        std::string err;
        const std::string log = log_of([&] {
            ::testing::internal::CaptureStderr();
            InitEvalute(1);
            err = ::testing::internal::GetCapturedStderr();
        });
        return {err, log};
    }
};

TEST_F(WeightFile, MissingFileLeavesEveryWeightZero)
{
    InitEvalute(1);  // the shipped weights are not here: everything must be cleared
    const auto [err, log] = load();
    EXPECT_EQ(err, "weight.dat read error.");
    EXPECT_EQ(log, "");
    for (int i = 0; i < WEIGHT_COUNT; i++)
        ASSERT_EQ(weight_at(i), 0) << i;
    EXPECT_EQ(piece_value[1], 256);  // the derived tables are built all the same
    ASSERT_GT(set_position("startpos moves 7g7f 3c3d 8h2b+"), 0);
    EXPECT_EQ(EvaluteNoHash(&Trunk[0]), -PieceValue[KA] - PieceValue[UM]);  // material only
}

// Values are cut toward zero, and to +-1000000 (NaN to 0) where no evaluation could sum
// them; the file's order is the tables' order.
TEST_F(WeightFile, ValuesAreTruncatedAndCutAndTheStampIsLogged)
{
    std::vector<double> v(WEIGHT_COUNT, 0.0);
    const double first[] = {0.99, -0.99, 1000.5, -2.9, std::nan(""), 1e300, -1e300, INFINITY};
    std::copy(std::begin(first), std::end(first), v.begin());
    v[weight_tables[2].offset] = 2.9;                          // Mobility[0][0]
    v[weight_tables[8].offset] = 17;                           // AttackKei
    v[WEIGHT_COUNT - 1] = -123.75;                             // HandValue[7][7]
    v[weight_tables[1].offset + (40 * 9 + 4) * 81 + 31] = 55;  // DefensePos[40][4][31]
    const std::uint64_t stamp = 0xABCD00006789ABCDULL;         // upper half is not read
    write("weight.dat", weight_bytes(v, &stamp));
    const auto [err, log] = load();
    EXPECT_NE(err.find("4 weights"), std::string::npos) << err;
    const int expected[] = {0, 0, 1000, -2, 0, 1000000, -1000000, 1000000};
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(OffensePos[0][0][i], expected[i]) << i;
    EXPECT_EQ(Mobility[0][0], 2);
    EXPECT_EQ(AttackKei, 17);
    EXPECT_EQ(HandValue[7][7], -123);
    EXPECT_EQ(DefensePos[40][4][31], 55);
    const std::time_t t = 0x6789ABCD;
    EXPECT_NE(log.find(std::string("weight.dat ") + std::ctime(&t)), std::string::npos) << log;
}

TEST_F(WeightFile, ShortFileIsReportedAndFillsWhatItHolds)
{
    std::vector<double> v(1000, 7.0);
    v.push_back(0);
    write("weight.dat", weight_bytes(v, nullptr) + "abc");  // a broken last value
    const auto [err, log] = load();
    EXPECT_NE(err.find("weight.dat: 8011 bytes, expected 947896"), std::string::npos) << err;
    EXPECT_NE(log.find("weight.dat: 8011 bytes, expected 947896"), std::string::npos) << log;
    EXPECT_EQ(OffensePos[0][0][0], 7);
    EXPECT_EQ(OffensePos[1][3][27], 7);  // value 999
    EXPECT_EQ(OffensePos[1][3][28], 0);  // value 1000
    EXPECT_EQ(HandValue[7][7], 0);

    write("weight.dat", "");
    EXPECT_NE(load().first.find("0 bytes"), std::string::npos);
    EXPECT_EQ(OffensePos[0][0][0], 0);
}

TEST_F(WeightFile, LongFileIsReportedAndTakesItsStampFromTheEnd)
{
    std::vector<double> v(WEIGHT_COUNT + 3, 3.0);
    const std::uint64_t stamp = 86400;
    write("weight.dat", weight_bytes(v, &stamp));
    const auto [err, log] = load();
    EXPECT_NE(err.find("bytes after the tables are ignored"), std::string::npos) << err;
    EXPECT_EQ(HandValue[7][7], 3);
    const std::time_t t = 86400;
    EXPECT_NE(log.find(std::string("weight.dat ") + std::ctime(&t)), std::string::npos) << log;
}

// ---- the tools ------------------------------------------------------------------------

WeightSet parse(const std::string &text)
{
    WeightSet w;
    std::istringstream in(text);
    std::string error;
    EXPECT_TRUE(parse_weight_text(in, w, error)) << error;
    return w;
}

std::string parse_error(const std::string &text)
{
    WeightSet w;
    std::istringstream in(text);
    std::string error;
    EXPECT_FALSE(parse_weight_text(in, w, error));
    return error;
}

double offense(const WeightSet &w, int king, int kind, int sq) { return w.table(0)[(king * 9 + kind) * 81 + sq]; }
double defense(const WeightSet &w, int king, int kind, int sq) { return w.table(1)[(king * 9 + kind) * 81 + sq]; }
int index_of(int file, int rank) { return 9 * (file - 1) + rank - 1; }

TEST(WeightText, KingRelativeRowsAndRanks)
{
    const WeightSet w = parse("offense gold\n +1: 110 90 # head of the king\n 0: 70 80 40\n"
                              "defense rook\n  0: -40 -40\nrank knight 1 2 3 4 5 6 7 8 9\n");
    const int king = index_of(5, 2);
    EXPECT_EQ(offense(w, king, 4, index_of(5, 3)), 110);
    EXPECT_EQ(offense(w, king, 4, index_of(4, 3)), 90);
    EXPECT_EQ(offense(w, king, 4, index_of(6, 3)), 90);
    EXPECT_EQ(offense(w, king, 4, index_of(3, 3)), 0);   // file distance 2 not given in that row
    EXPECT_EQ(offense(w, king, 4, index_of(3, 2)), 40);
    EXPECT_EQ(offense(w, king, 4, index_of(5, 2)), 0);   // the king's own square
    EXPECT_EQ(offense(w, king, 3, index_of(5, 3)), 0);   // other kinds untouched
    EXPECT_EQ(defense(w, index_of(8, 8), 6, index_of(9, 8)), -40);
    EXPECT_EQ(defense(w, index_of(1, 1), 2, index_of(9, 9)), 9);
}

TEST(WeightText, ExplicitTablesAndStamp)
{
    std::string text = "stamp 2025-01-01 00:00:00\ntable AttackKaku 2.5\ntable Mobility";
    for (int i = 0; i < 54; i++)
        text += " " + std::to_string(i);
    text += "\ntable OffensePos\n";
    for (int i = 0; i < 59049; i++)
        text += i == 0 ? "7 " : i == 80 ? "9\n" : "0 ";
    const WeightSet w = parse(text);
    EXPECT_EQ(w.stamp, 1735689600u);
    EXPECT_EQ(w.table(9)[0], 2.5);
    EXPECT_EQ(w.table(2)[53], 53);
    // A board block starts with 9a (top left) and ends with 1i.
    EXPECT_EQ(offense(w, 0, 0, index_of(9, 1)), 7);
    EXPECT_EQ(offense(w, 0, 0, index_of(1, 9)), 9);
    EXPECT_EQ(parse("stamp 4294967295\n").stamp, 4294967295u);
    EXPECT_EQ(stamp_text(0), "1970-01-01 00:00:00");
    EXPECT_EQ(stamp_text(4294967295u), "2106-02-07 06:28:15");
    EXPECT_EQ(stamp_text(951782400u), "2000-02-29 00:00:00");
}

TEST(WeightText, FaultsNameTheirLine)
{
    EXPECT_EQ(parse_error("table Mobility 1 2\n\nstamp 0"), "line 3: table Mobility: 54 values expected, 2 found");
    EXPECT_EQ(parse_error("# x\nofense gold"), "line 2: unknown word 'ofense'");
    EXPECT_EQ(parse_error("offense gold\n +9: 1\n"), "line 2: row 9 is off the board (-8..8)");
    EXPECT_EQ(parse_error("defense gold\n 0: 1 2 3 4 5 6 7 8 9 10\n"), "line 2: more than 9 file distances in a row");
    EXPECT_EQ(parse_error("stamp 2025-13-01 00:00:00"), "line 1: stamp: expected YYYY-MM-DD hh:mm:ss");
    EXPECT_EQ(parse_error("stamp 4294967296"), "line 1: stamp: expected seconds since 1970 or YYYY-MM-DD hh:mm:ss");
}

// The shipped description, written, dumped as text and written again, gives the same
// bytes; and the build's weight.dat is exactly that file.
TEST(WeightText, ShippedWeightsSurviveDumpAndRewrite)
{
    const WeightSet w = parse(read_file(std::string(QVN_SOURCE_DIR) + "/tools/learn/learned-weights.txt"));
    const std::string first = testing::TempDir() + "qvn_w1.dat", second = testing::TempDir() + "qvn_w2.dat";
    ASSERT_TRUE(write_weight_file(first, w));
    const std::string bytes = read_file(first);
    EXPECT_EQ(static_cast<long>(bytes.size()), WEIGHT_FILE_SIZE);
    EXPECT_EQ(bytes, read_file("weight.dat"));  // the build's file, in the working directory

    WeightSet back;
    std::string warning;
    ASSERT_TRUE(read_weight_file(first, back, warning));
    EXPECT_EQ(warning, "");
    std::ostringstream text;
    print_weight_text(text, back);
    ASSERT_TRUE(write_weight_file(second, parse(text.str())));
    EXPECT_EQ(read_file(second), bytes);
    std::remove(first.c_str());
    std::remove(second.c_str());

    std::ostringstream summary;
    print_weight_summary(summary, back);
    EXPECT_NE(summary.str().find("time stamp 1796601600 = 2026-12-07 00:00:00 UTC"), std::string::npos);
    EXPECT_NE(summary.str().find("OffensePos"), std::string::npos);
}

}  // namespace
