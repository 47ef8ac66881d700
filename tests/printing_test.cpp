// The thinking log (Shift_JIS on disk), the diagnostic printouts and the configuration reader.
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "shift_jis.h"

#include "frontend/helper.h"
#include "frontend/log.h"
#include "frontend/usi_sub.h"
#include "hash/hash.h"
#include "search/pv.h"
#include "test_util.h"

namespace {

std::string read_file(const std::string &name)
{
    std::ifstream in(name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs each test in a fresh directory so that log files do not meet.
class LogTest : public InTempDir {
  protected:
    void TearDown() override
    {
        close_log();
        Reverse = 0;
        InTempDir::TearDown();
    }
    // Opens a log, runs fn, closes it and returns its raw bytes; the file is removed.
    template <class Fn>
    std::string logged_raw(Fn fn)
    {
        open_log();
        EXPECT_NE(fp_log, nullptr);
        fn();
        close_log();
        std::string raw;
        for (const auto &e : std::filesystem::directory_iterator("."))
            if (e.path().extension() == ".log") {
                raw = read_file(e.path().string());
                std::filesystem::remove(e.path());
            }
        return raw;
    }
    template <class Fn>
    std::string logged(Fn fn)
    {
        return from_shift_jis(logged_raw(fn));
    }
    static bool file_exists_here(const std::string &n) { return access(n.c_str(), F_OK) == 0; }

};

TEST_F(LogTest, NothingWithoutALog)
{
    EXPECT_EQ(lprintf("x%d", 1), 0);
    EXPECT_EQ(lputs("x"), 0);
    EXPECT_EQ(fp_log, nullptr);
}

TEST_F(LogTest, SecondLogOfAMinuteTakesTheANameAndLputsAddsOneNewline)
{
    char first[64];
    dated_file_name(".log", first, sizeof first);
    open_log();
    lputs("one");
    close_log();
    char second[64];
    dated_file_name(".log", second, sizeof second);
    open_log();
    close_log();
    const std::string f = first, s = second;
    if (f.substr(0, 9) != s.substr(0, 9))
        GTEST_SKIP() << "the minute changed during the test";
    EXPECT_EQ(f.size(), 13u);                      // MMDD_hhmm.log
    EXPECT_EQ(s, f.substr(0, 9) + "a.log");
    EXPECT_EQ(read_file(f), "one\n");
    EXPECT_TRUE(file_exists_here(s));
}

TEST_F(LogTest, InitialBoardDiagramInShiftJis)
{
    read_position("startpos\n");
    const std::string raw = logged_raw([] { PrintBoard(&Trunk[0]); });
    // 香 is 0x8D 0x81 in Shift_JIS: the file holds Shift_JIS, not UTF-8.
    EXPECT_NE(raw.find("\x8D\x81"), std::string::npos);
    const std::string text = from_shift_jis(raw);
    std::istringstream lines(text);
    std::string l;
    std::getline(lines, l);
    EXPECT_EQ(l, " ９ ８ ７ ６ ５ ４ ３ ２ １");
    std::getline(lines, l);
    EXPECT_EQ(l, "v香v桂v銀v金v玉v金v銀v桂v香一");
    std::getline(lines, l);
    EXPECT_EQ(l, " 　v飛 　 　 　 　 　v角 　二");
    for (int r = 3; r <= 9; r++)
        std::getline(lines, l);
    EXPECT_EQ(l, " 香 桂 銀 金 玉 金 銀 桂 香九");
    EXPECT_NE(text.find("\n▲ 飛0 角0 金0 銀0 桂0 香0 歩0 \n△ 飛0 角0 金0 銀0 桂0 香0 歩0 \n\n"), std::string::npos);
}

TEST_F(LogTest, PositionCommandLogsTheMoveAndTheSameDiagramInBothViews)
{
    auto text_after = [&](const char *command) { return logged([&] { read_position(command); }); };
    const std::string one = text_after("startpos moves 7g7f\n");
    EXPECT_NE(one.find(std::string(74, '=') + "\n▲ 1手目 76歩  (77) c=　\n"), std::string::npos) << one;
    const std::string two = text_after("startpos moves 7g7f 3c3d\n");
    EXPECT_NE(two.find("△ 2手目 34歩  (33) c=　\n"), std::string::npos) << two;
    // Same game, engine first (Reverse 0) or second (Reverse 1): same real diagram.
    auto diagram = [](const std::string &t) { return t.substr(t.find(" ９")); };
    const std::string three = text_after("startpos moves 7g7f 3c3d 8h2b+\n");
    const std::string four = text_after("startpos moves 7g7f 3c3d 8h2b+ 3a2b\n");
    EXPECT_NE(three.find("▲ 3手目 22角成(88) c=角\n"), std::string::npos) << three;
    EXPECT_NE(diagram(three).find("v飛 　 　 　 　 　 馬 　二"), std::string::npos) << three;
    EXPECT_NE(diagram(three).find("\n▲ 飛0 角1 "), std::string::npos);
    EXPECT_NE(diagram(four).find("\n△ 飛0 角1 "), std::string::npos);
}

TEST_F(LogTest, MovePrintListAndHashTest)
{
    const std::string text = logged([] {
        const int moves[2] = {make_move(0, 0x55, GI, 0, false), make_move(0x28, 0x23, HI, FU, true)};
        const int values[2] = {12, -3};
        MovePrint(moves, 2, values);
        MovePrint(moves, 0, nullptr);
        read_position("startpos\n");
        Position p = Trunk[0];
        p.board_key ^= 1;
        p.hand_key ^= 1;
        hash_test(&p);  // both wrong: only the board key is reported
        p.board_key ^= 1;
        hash_test(&p);
    });
    EXPECT_NE(text.find("  0 55銀  (00) c=　 [12]\n  1 23飛成(28) c=歩 [-3]\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("盤ハッシュエラー"), text.rfind("盤ハッシュエラー"));
    EXPECT_NE(text.find("盤ハッシュエラー 計算値 "), std::string::npos);
    EXPECT_NE(text.find("手駒ハッシュエラー 計算値 "), std::string::npos);
}

TEST_F(LogTest, AttackAndPinPrintouts)
{
    const std::string text = logged([] {
        read_position("sfen 4r4/9/9/9/9/9/9/4S4/4K4 b - 1 moves 5i4i\n");
        read_position("sfen 4r4/9/9/9/9/9/9/4S4/4K4 b - 1\n");
        PrintPin(&Trunk[0]);
        PrintAttack(&Trunk[0]);
    });
    EXPECT_NE(text.find("my  pin 58銀 03\n"), std::string::npos) << text;
    EXPECT_NE(text.find("       my      利きの数       you\n"), std::string::npos);
}

TEST_F(LogTest, PrincipalVariations)
{
    const int child_empty[1] = {PV_END};
    int pv[PV_SIZE];
    PvAdd(pv, child_empty, make_move(0x77, 0x76, FU, 0, false));
    EXPECT_EQ(pv[1], PV_END);
    const int child[3] = {0, make_move(0, 0x55, KA, 0, false), PV_END};
    int longer[PV_SIZE];
    PvAdd(longer, child, pv[0]);
    EXPECT_EQ(longer[3], PV_END);

    std::string text = logged([&] { PvPrint(longer); });
    EXPECT_EQ(text, "▲76歩(77) c=　△PASS▲55角(00) c=　\n");

    // With the engine second, its own first move is the second player's and shows turned.
    Reverse = 1;
    text = logged([&] { PvPrint(pv); });
    EXPECT_EQ(text, "△34歩(33) c=　\n");
    Reverse = 0;

    int many[40];
    for (int i = 0; i < 39; i++)
        many[i] = 0;
    many[39] = PV_END;
    text = logged([&] { PvPrint(many); });
    int passes = 0;
    for (std::size_t at = text.find("PASS"); at != std::string::npos; at = text.find("PASS", at + 1))
        passes++;
    EXPECT_EQ(passes, 32);
}

TEST(Config, KeysValuesAndComments)
{
    char tmpl[] = "/tmp/qvn_conf_XXXXXX";
    const int fd = mkstemp(tmpl);
    ASSERT_GE(fd, 0);
    close(fd);
    {
        std::ofstream out(tmpl);
        out << "# log_enable=7\n"
            << "LOG_ENABLE = 3\n"
            << "usi_dump\n"
            << "no_book= -2x\n"
            << std::string(70, 'x') << "pondering=9\n";
    }
    EXPECT_EQ(GetConfInt("log_enable", 0, tmpl), 3);
    EXPECT_EQ(GetConfInt("usi_dump", 5, tmpl), 5);      // no '=': the default
    EXPECT_EQ(GetConfInt("no_book", 0, tmpl), -2);
    EXPECT_EQ(GetConfInt("random_book", 4, tmpl), 4);   // absent
    EXPECT_EQ(GetConfInt("pondering", 0, tmpl), 9);     // found in the second piece of a long line
    EXPECT_EQ(GetConfInt("log_enable", 1, "/nonexistent/qvn.conf"), 1);
    std::remove(tmpl);
}

}  // namespace
