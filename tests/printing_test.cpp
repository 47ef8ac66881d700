// The thinking log (Shift_JIS on disk, decoded by the system), its file names, and the
// configuration reader.
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "shift_jis.h"

#include "board/board_print.h"
#include "frontend/helper.h"
#include "frontend/usi_sub.h"
#include "hash/hash.h"
#include "log/log.h"
#include "platform/platform.h"
#include "search/pv.h"
#include "test_util.h"

namespace {

// Runs each test in a fresh directory so that log files do not meet.
class LogTest : public InTempDir {
  protected:
    void TearDown() override
    {
        close_log();
        Reverse = 0;
        InTempDir::TearDown();
    }
    std::string logged(const std::function<void()> &fn) { return from_shift_jis(log_of(fn)); }
};

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
    EXPECT_EQ(access(s.c_str(), F_OK), 0);
}

TEST_F(LogTest, BoardDiagramInShiftJis)
{
    read_position("startpos\n");
    const std::string raw = log_of([] { PrintBoard(&Trunk[0]); });
    // 香 is 0x8D 0x81 in Shift_JIS: the file holds Shift_JIS, not UTF-8.
    EXPECT_NE(raw.find("\x8D\x81"), std::string::npos);
    EXPECT_EQ(from_shift_jis(raw).substr(0, 200).find(" ９ ８ ７ ６ ５ ４ ３ ２ １\nv香v桂v銀v金v玉v金v銀v桂v香一\n"
                                                   " 　v飛 　 　 　 　 　v角 　二\n"), 0u);
}

// The engine first (Reverse 0) or second (Reverse 1): the real moves and diagram.
TEST_F(LogTest, PositionCommandAndPvShowTheRealGameInBothViews)
{
    auto after = [&](const char *command) { return logged([&] { read_position(command); }); };
    const std::string two = after("startpos moves 7g7f 3c3d\n");
    EXPECT_NE(two.find("△ 2手目 34歩  (33) c=　\n"), std::string::npos) << two;
    const std::string three = after("startpos moves 7g7f 3c3d 8h2b+\n");
    EXPECT_NE(three.find("▲ 3手目 22角成(88) c=角\n"), std::string::npos) << three;
    EXPECT_NE(three.find("v飛 　 　 　 　 　 馬 　二"), std::string::npos) << three;
    EXPECT_NE(three.find("\n▲ 飛0 角1 "), std::string::npos);
    EXPECT_NE(after("startpos moves 7g7f 3c3d 8h2b+ 3a2b\n").find("\n△ 飛0 角1 "), std::string::npos);

    const int child[3] = {0, make_move(0, 0x55, KA, 0, false), PV_END};
    int pv[PV_SIZE];
    PvAdd(pv, child, make_move(0x77, 0x76, FU, 0, false));
    EXPECT_EQ(logged([&] { PvPrint(pv); }), "▲76歩(77) c=　△PASS▲55角(00) c=　\n");
    Reverse = 1;  // the engine's own first move is the second player's
    EXPECT_EQ(logged([&] { PvPrint(pv); }), "△34歩(33) c=　▲PASS△55角(00) c=　\n");
    int many[40] = {};
    many[39] = PV_END;
    const std::string text = logged([&] { PvPrint(many); });
    EXPECT_EQ(text.size(), 32 * std::string("△PASS").size() + 1);  // 32 moves at most
}

TEST_F(InTempDir, ConfigKeysValuesAndComments)
{
    std::ofstream("qvn.conf") << "# log_enable=7\nLOG_ENABLE = 3\nusi_dump\nno_book= -2x\n"
                              << std::string(70, 'x') << "pondering=9\n";
    EXPECT_EQ(GetConfInt("log_enable", 0, "qvn.conf"), 3);
    EXPECT_EQ(GetConfInt("usi_dump", 5, "qvn.conf"), 5);      // no '=': the default
    EXPECT_EQ(GetConfInt("no_book", 0, "qvn.conf"), -2);
    EXPECT_EQ(GetConfInt("random_book", 4, "qvn.conf"), 4);   // absent
    EXPECT_EQ(GetConfInt("pondering", 0, "qvn.conf"), 9);     // found in the second piece of a long line
    EXPECT_EQ(GetConfInt("log_enable", 1, "/nonexistent/qvn.conf"), 1);
}

// The log's time stamps are written alike on every system: as glibc's ctime does.
TEST(Platform, TimeTextIsCtime)
{
    for (const std::time_t t : {std::time_t{0}, std::time_t{1796515200}, std::time_t{951782400}, std::time(nullptr)}) {
        char text[32];
        time_text(t, text, sizeof text);
        EXPECT_STREQ(text, std::ctime(&t)) << t;
    }
}

}  // namespace
