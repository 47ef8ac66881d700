// USI transcripts with the real engine binary through pipes.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "shift_jis.h"

#include "engine_process.h"

namespace fs = std::filesystem;

namespace {

class Protocol : public ::testing::Test {
  protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/qvn_usi_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        fs::copy_file(QVN_KEY_FILE, dir / "hash_key.dat");
    }
    void TearDown() override { fs::remove_all(dir); }

    void write_conf(const std::string &text) { std::ofstream(dir / "qvn.conf") << text; }
    EngineProcess start() { return EngineProcess(engine_binary(), dir.string()); }

    std::vector<fs::path> files_ending(const std::string &suffix)
    {
        std::vector<fs::path> out;
        for (const auto &e : fs::directory_iterator(dir)) {
            const std::string n = e.path().filename().string();
            if (n.size() >= suffix.size() && n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0)
                out.push_back(e.path());
        }
        return out;
    }

    fs::path dir;
};

std::string read_file(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST_F(Protocol, HandshakeAndQuit)
{
    EngineProcess e = start();
    e.send("usi\n");
    std::string l;
    ASSERT_TRUE(e.read_line(l));
    EXPECT_EQ(l, "id name qvn v.1.14");
    ASSERT_TRUE(e.read_line(l));
    EXPECT_EQ(l, "id author r.tolvane");
    std::vector<std::string> options;
    ASSERT_TRUE(e.wait_for("usiok", &options));
    EXPECT_EQ(count_prefix(options, "option name "), static_cast<int>(options.size()) - 1);
    e.send("setoption name USI_Hash value 256\nisready\n");
    ASSERT_TRUE(e.read_line(l));
    EXPECT_EQ(l, "readyok");  // setoption has no reply
    e.send("usinewgame\nposition startpos moves 7g7f 3c3d\nquit\n");
    EXPECT_EQ(e.wait_exit(), 0);
    EXPECT_EQ(e.stdout_rest(), "");
}

// Transcripts of odd input: the answers awaited in order, then the ending ("" closes the
// input); the number of "bestmove" lines in all the output, and standard error.
TEST_F(Protocol, OddInputIsReadAsMeant)
{
    const std::string overlong = std::string(12000, 'x') + "quit\n", spaces(200, ' ');
    const struct {
        const char *what;
        std::string input;
        std::vector<std::string> answers;
        const char *ending;
        int bestmoves;
        const char *error;
    } cases[] = {
        {"Windows line ends", "usi\r\nisready\r\n", {"usiok", "readyok"}, "quit\r\n", 0, ""},
        {"a NUL inside a line ends neither the line nor hides the next one",
         std::string("abc\0def\nisready\n", 17) + std::string("\0\0\n", 3) + "usi\n", {"readyok", "usiok"}, "quit\n", 0, ""},
        {"stop and ponderhit before any search", "usi\nstop\nponderhit\nisready\n", {"usiok", "readyok"}, "quit\n", 0, ""},
        {"the end of input", "usi\n", {"usiok"}, "", 0, ""},
        // "isready" waits for the search: the "stop" comes after its move was sent.
        {"go before any position", "go btime 0 wtime 0 byoyomi 1000\nisready\nstop\n", {"bestmove", "readyok"}, "quit\n", 1, ""},
        {"overlong lines are dropped whole", overlong + "usi\ngo " + spaces + "byoyomi 100\n", {"usiok", "bestmove"}, "quit\n",
         1, "longer than"},
    };
    for (const auto &c : cases) {
        EngineProcess e = start();
        e.send(c.input);
        std::vector<std::string> seen;
        for (const std::string &answer : c.answers)
            EXPECT_TRUE(e.wait_for(answer, &seen)) << c.what << ": " << answer;
        e.send(c.ending);
        if (!*c.ending)
            e.close_input();
        EXPECT_EQ(e.wait_exit(), 0) << c.what;
        for (const std::string &l : e.lines_within(100))
            seen.push_back(l);
        EXPECT_EQ(count_prefix(seen, "bestmove"), c.bestmoves) << c.what;
        EXPECT_NE(e.stderr_text().find(c.error), std::string::npos) << c.what;
    }
}

TEST_F(Protocol, MissingKeyFileEndsAtOnce)
{
    fs::remove(dir / "hash_key.dat");
    // A copy of the engine, so that no key file lies beside it either.
    fs::copy_file(engine_binary(), dir / engine_file_name());
    EngineProcess e((dir / engine_file_name()).string(), dir.string());
    e.send("usi\n");
    EXPECT_EQ(e.wait_exit(), 0);
    EXPECT_EQ(e.stderr_text(), "no hash_key.dat");
    EXPECT_EQ(e.stdout_rest(), "");
}

TEST_F(Protocol, WrongSizeKeyFileIsReported)
{
    fs::resize_file(dir / "hash_key.dat", 1000);
    EngineProcess e = start();
    e.send("usi\n");
    EXPECT_TRUE(e.wait_for("usiok"));
    EXPECT_EQ(e.quit(), 0);
    EXPECT_NE(e.stderr_text().find("hash_key.dat: 1000 bytes, expected 41856"), std::string::npos);
}

TEST_F(Protocol, BadPositionsAreReportedAndTheEnginePlaysOn)
{
    write_conf("log_enable=1\n");
    EngineProcess e = start();
    e.send("usi\n");
    EXPECT_TRUE(e.wait_for("usiok"));
    e.send("position startpos moves 7g7f zz 2g2f\n");
    e.send("position sfen lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPPPPP/1B5R1/LNSGKGSNL b - 1\n");
    e.send("position startpos moves 7g7f 3c3d 2g2f\n");
    e.send("isready\n");
    EXPECT_TRUE(e.wait_for("readyok"));
    EXPECT_EQ(e.quit(), 0);
    const std::string err = e.stderr_text();
    EXPECT_NE(err.find("zz"), std::string::npos) << err;
    EXPECT_NE(err.find("bad sfen"), std::string::npos) << err;
    const auto logs = files_ending(".log");
    ASSERT_EQ(logs.size(), 1u);
    const std::string log = from_shift_jis(read_file(logs[0]));
    EXPECT_NE(log.find("<<< Quorvin v.1.14 Velmora >>>\n*** options\nno_book=0\nrandom_book=0\npondering=0\n\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("▲ 1手目 76歩"), std::string::npos);    // the first command kept one move
    EXPECT_NE(log.find("▲ 3手目 26歩  (27) c=　"), std::string::npos) << log;
}

// Started from another directory, the engine finds its data files and "qvn.conf" beside
// itself, plays from its book, and its log says which file came from where.
TEST_F(Protocol, DataFilesBesideTheExecutable)
{
    const fs::path home = dir / "engine", elsewhere = dir / "elsewhere";
    fs::create_directories(home);
    fs::create_directories(elsewhere);
    const fs::path engine = home / engine_file_name();
    fs::copy_file(engine_binary(), engine);
    fs::permissions(engine, fs::perms::owner_all);
    fs::rename(dir / "hash_key.dat", home / "hash_key.dat");
    fs::copy_file(QVN_WEIGHT_FILE, home / "weight.dat");
    fs::copy_file(QVN_BOOK_FILE, home / "book.dat");
    std::ofstream(home / "qvn.conf") << "log_enable=1\n";
    EngineProcess e(engine.string(), elsewhere.string());
    e.send("usi\nisready\nposition startpos\ngo btime 0 wtime 0 byoyomi 1000\n");
    std::vector<std::string> seen;
    EXPECT_TRUE(e.wait_for("bestmove", &seen));
    EXPECT_EQ(seen.end()[-2].rfind("info nodes ", 0), 0u) << seen.end()[-2];  // a book move
    EXPECT_EQ(e.quit(), 0);
    EXPECT_EQ(e.stderr_text(), "");
    std::string log;
    for (const auto &f : fs::directory_iterator(elsewhere))
        log += read_file(f.path());
    for (const char *name : {"qvn.conf", "hash_key.dat", "weight.dat", "book.dat"})
        EXPECT_NE(log.find(engine_view(home / name)), std::string::npos) << name << "\n" << log;
}

TEST_F(Protocol, NewGameLogsAndProtocolDump)
{
    write_conf("log_enable=1\nusi_dump=1\n");
    EngineProcess e = start();
    e.send("usi\nusinewgame\nusinewgame\nisready\n");
    EXPECT_TRUE(e.wait_for("readyok"));
    e.send("gameover draw\nquit\n");
    EXPECT_EQ(e.wait_exit(), 0);
    const auto dumps = files_ending("_usi.log");
    ASSERT_EQ(dumps.size(), 1u);
    const std::string dump = read_file(dumps[0]);
    EXPECT_NE(dump.find("> usi\n"), std::string::npos);
    EXPECT_NE(dump.find("usiok\n"), std::string::npos);
    EXPECT_NE(dump.find("> isready\nreadyok\n"), std::string::npos);
    // The start-up log and one more for the second game.
    const auto logs = files_ending(".log");
    EXPECT_EQ(logs.size(), 3u);  // two thinking logs and the dump
    bool draw = false;
    for (const auto &p : logs)
        draw = draw || read_file(p).find("draw\n") != std::string::npos;
    EXPECT_TRUE(draw);
}

}  // namespace
