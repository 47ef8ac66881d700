// Searches through the real engine binary and a pipe: exactly one "bestmove" per "go" in
// every order of "go", "ponderhit", "stop", "gameover", "isready" and "quit"; nothing after
// a search's "bestmove"; every reported move legal in the position, checked with our own
// move generator; and the 1000 ms byoyomi kept as seen from the other end of the pipe.
#include <algorithm>
#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "board/notation.h"
#include "eval/network.h"
#include "frontend/usi_sub.h"
#include "movegen/make_legal.h"
#include "search/params.h"
#include "tools/perft_core.h"

#include "engine_process.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Sanitizer builds are many times slower: answers that should come "at once" get more time
// there, but the byoyomi must be kept in every build.
constexpr int SLOW = QVN_TEST_TIME_SCALE;
// A bound on elapsed time that only a normal build can keep: none in a sanitizer build.
int timed(int ms) { return SLOW == 1 ? ms : INT_MAX / 2; }

constexpr const char *TIMED_1000 = "go btime 0 wtime 0 byoyomi 1000\n";
constexpr const char *PONDER_1000 = "go ponder btime 0 wtime 0 byoyomi 1000\n";
// Gote mates at once with 5g5h; a ponder search here ends by itself after one iteration.
constexpr const char *MATE_IN_ONE =
    "sfen 7nl/3+R+Bg3/4p2pk/6p1r/1+S6p/P1N1P4/LPNPg+l1PP/1+bS1Gp3/4K3L w 5Pgn2p2s 1";

int ms_since(Clock::time_point t)
{
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

void sleep_for_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// ---- positions and legality, from our own generator ------------------------------------

// Positions along the test games ("startpos moves ..."), every `stride`-th game, at plies
// spread over the game so that openings, middle games and endings all occur.
std::vector<std::string> game_positions(int stride, int per_game)
{
    std::vector<std::string> out;
    int game = 0;
    for (const char *file : {"/games/gpsusi-selfplay.usi", "/games/fsf-vs-gpsusi.usi"}) {
        std::ifstream in(std::string(QVN_TEST_DATA) + file);
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("startpos moves ", 0) != 0 || game++ % stride != 0)
                continue;
            std::istringstream words(line.substr(15));
            std::vector<std::string> moves;
            for (std::string w; words >> w;)
                moves.push_back(w);
            for (int i = 0; i < per_game; i++) {
                // Plies from near the start to the last position before the final move.
                const std::size_t ply = (moves.size() - 1) * (2 * i + 1 + game % 2) / (2 * per_game + 1);
                std::string pos = "startpos moves";
                for (std::size_t k = 0; k < ply; k++)
                    pos += " " + moves[k];
                out.push_back(ply == 0 ? "startpos" : pos);
            }
        }
    }
    return out;
}

std::string after_move(const std::string &position, const std::string &move)
{
    return position + (position.find(" moves") == std::string::npos ? " moves " : " ") + move;
}

// The legal moves of the side to move, in USI notation as the front end writes them.
std::set<std::string> legal_moves_of(const std::string &position)
{
    std::set<std::string> out;
    if (read_position((position + "\n").c_str()) < 0)
        return out;
    int list[MOVE_LIST_SIZE];
    const int n = legal_moves(0, 1, list);
    for (int i = 0; i < n; i++) {
        char buf[8];
        move2usi(Reverse ? move_reverse(list[i]) : list[i], buf);
        out.insert(buf);
    }
    return out;
}

// ---- one search's answer ---------------------------------------------------------------

struct Answer {
    bool received = false;
    std::string line, move, ponder;
    int ms = 0;                      // from the command that started the clock to the answer
    std::vector<std::string> lines;  // every line read on the way, the answer included
};

void parse_bestmove(const std::string &line, Answer &a)
{
    a.received = true;
    a.line = line;
    std::istringstream words(line.substr(8));
    std::string w;
    words >> a.move;
    if (words >> w && w == "ponder")
        words >> a.ponder;
}

Answer read_bestmove(EngineProcess &e, Clock::time_point from, int timeout_ms = 5000)
{
    Answer a;
    std::string l;
    while (e.read_line(l, timeout_ms)) {
        a.lines.push_back(l);
        if (l.rfind("bestmove", 0) == 0) {
            a.ms = ms_since(from);
            parse_bestmove(l, a);
            break;
        }
    }
    return a;
}

// True when every move of the line's principal variation is legal where it is played.
bool legal_pv(const std::string &position, const std::string &line)
{
    std::istringstream words(line.substr(line.find(" pv ") + 4));
    std::string pos = position;
    int n = 0;
    for (std::string m; words >> m; n++) {
        if (!legal_moves_of(pos).count(m))
            return false;
        pos = after_move(pos, m);
    }
    return n > 0;
}

// The answer is a legal move of position, its ponder move a legal reply to it, and every
// variation the search reported on the way legal move by move.
::testing::AssertionResult legal_answer(const std::string &position, const Answer &a)
{
    if (!a.received)
        return ::testing::AssertionFailure() << "no bestmove for " << position;
    const auto legal = legal_moves_of(position);
    if (a.move == "resign" && legal.empty())
        return ::testing::AssertionSuccess();
    if (!legal.count(a.move))
        return ::testing::AssertionFailure() << "'" << a.line << "' is not legal in " << position << " ("
                                             << legal.size() << " legal moves)";
    if (!a.ponder.empty() && !legal_moves_of(after_move(position, a.move)).count(a.ponder))
        return ::testing::AssertionFailure() << "ponder move of '" << a.line << "' is not legal after it in "
                                             << position;
    for (const std::string &l : a.lines)
        if (l.rfind("info time ", 0) == 0 && !legal_pv(position, l))
            return ::testing::AssertionFailure() << "illegal variation in " << position << ": " << l;
    return ::testing::AssertionSuccess();
}

// Everything the engine says before it answers "isready". When no search runs that is
// answered at once, so whatever a finished search still sends shows up here.
std::vector<std::string> until_ready(EngineProcess &e)
{
    e.send("isready\n");
    std::vector<std::string> seen;
    EXPECT_TRUE(e.wait_for("readyok", &seen)) << "no readyok";
    if (!seen.empty())
        seen.pop_back();
    return seen;
}

// Success when the lines hold no "bestmove" and no "info": nothing came after an answer.
::testing::AssertionResult silent(const std::vector<std::string> &lines)
{
    if (count_prefix(lines, "bestmove") == 0 && count_prefix(lines, "info") == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "said after its answer: " << lines.front();
}

class SearchProtocol : public ::testing::Test {
  protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/qvn_play_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        fs::copy_file(QVN_KEY_FILE, dir / "hash_key.dat");
        fs::copy_file(QVN_WEIGHT_FILE, dir / "weight.dat");
        fs::copy_file(QVN_BOOK_FILE, dir / "book.dat");
    }
    void TearDown() override { fs::remove_all(dir); }

    // An engine that has answered "usi" and "isready", with these settings.
    EngineProcess start(const std::string &conf = "pondering=1\nno_book=1\n")
    {
        std::ofstream(dir / "qvn.conf") << conf;
        EngineProcess e(engine_binary(), dir.string());
        e.send("usi\nisready\n");
        EXPECT_TRUE(e.wait_for("readyok"));
        return e;
    }
    // Sends position and go; the answer's time counts from just after the "go" is written.
    static Answer search(EngineProcess &e, const std::string &position, const std::string &go,
                         int timeout_ms = 5000)
    {
        e.send("position " + position + "\n");
        e.send(go);
        return read_bestmove(e, Clock::now(), timeout_ms);
    }

    fs::path dir;
};

// ---- the orders of commands around one search ------------------------------------------

// Timed searches along real games: each answers once, before the byoyomi runs out as seen
// from the front end's side of the pipe, with a legal move and a legal ponder move, every
// reported variation legal move by move, and says nothing after its "bestmove".
TEST_F(SearchProtocol, TimedSearchesAnswerOnceWithinTheByoyomi)
{
    EngineProcess e = start();
    const auto positions = game_positions(24, 1);
    ASSERT_GE(positions.size(), 10u);
    int with_ponder = 0;
    for (std::size_t i = 0; i < 10; i++) {
        const std::string &pos = positions[i];
        const Answer a = search(e, pos, TIMED_1000);
        ASSERT_TRUE(a.received) << pos;
        EXPECT_LT(a.ms, timed(1000)) << pos;
        EXPECT_GE(count_prefix(a.lines, "info"), SLOW == 1 ? 1 : 0) << pos;  // at least one iteration finished
        EXPECT_TRUE(legal_answer(pos, a));
        with_ponder += !a.ponder.empty();
        EXPECT_TRUE(silent(until_ready(e)));
    }
    EXPECT_GE(with_ponder, SLOW == 1 ? 5 : 0);
    EXPECT_EQ(e.quit(), 0);
}

// "ponderhit" during the ponder search: the search goes on as a timed one counted from the
// ponderhit, and the main thread sends its move once; later "stop" or "ponderhit" add nothing.
TEST_F(SearchProtocol, PonderhitDuringThePonderSearch)
{
    EngineProcess e = start();
    const std::string pos = game_positions(30, 1)[2];
    e.send("position " + pos + "\n" + PONDER_1000);
    EXPECT_EQ(count_prefix(e.lines_during(1200), "bestmove"), 0);  // longer than a timed search
    e.send("ponderhit\n");
    const Answer a = read_bestmove(e, Clock::now());
    EXPECT_LT(a.ms, timed(1000));
    EXPECT_TRUE(legal_answer(pos, a));
    EXPECT_TRUE(silent(until_ready(e)));
    e.send("ponderhit\nstop\n");
    EXPECT_TRUE(silent(until_ready(e)));
    EXPECT_EQ(e.quit(), 0);
}

// A ponder search that ends by itself (a mate found) holds its move until "ponderhit" or
// "stop", which send it at once; a second "stop" or "ponderhit" sends nothing.
TEST_F(SearchProtocol, PonderSearchThatEndsByItselfHoldsItsMove)
{
    EngineProcess e = start();
    for (const char *release : {"ponderhit\n", "stop\n"}) {
        e.send(std::string("position ") + MATE_IN_ONE + "\n" + PONDER_1000);
        // "isready" during a search is answered when it ends: the search is over here.
        const auto during = until_ready(e);
        EXPECT_EQ(count_prefix(during, "bestmove"), 0) << release;
        EXPECT_GE(count_prefix(during, "info"), 1) << release;
        EXPECT_EQ(count_prefix(e.lines_during(200), "bestmove"), 0) << release;
        e.send(release);
        const Answer a = read_bestmove(e, Clock::now());
        EXPECT_LT(a.ms, 200 * SLOW) << release;
        EXPECT_EQ(a.move, "5g5h") << release;
        EXPECT_TRUE(legal_answer(MATE_IN_ONE, a)) << release;
        e.send("stop\nponderhit\n");
        EXPECT_TRUE(silent(until_ready(e)));
    }
    EXPECT_EQ(e.quit(), 0);
}

// "stop" ends ponder and infinite searches, at once or later, with exactly one legal move;
// an infinite search never ends on a clock of its own.
TEST_F(SearchProtocol, StopEndsPonderAndInfiniteSearchesWithOneMove)
{
    EngineProcess e = start();
    const std::string pos = game_positions(30, 1)[3];
    e.send("position " + pos + "\n");
    struct Case {
        const char *go;
        int wait_ms;
    };
    for (const Case c : {Case{PONDER_1000, 300}, Case{"go infinite\n", 1200}, Case{PONDER_1000, 0},
                         Case{"go infinite\n", 0}}) {
        e.send(c.go);
        if (c.wait_ms) {
            EXPECT_EQ(count_prefix(e.lines_during(c.wait_ms), "bestmove"), 0) << c.go;
        }
        e.send("stop\n");
        const Answer a = read_bestmove(e, Clock::now());
        EXPECT_LT(a.ms, 500 * SLOW) << c.go;
        EXPECT_TRUE(legal_answer(pos, a)) << c.go;
        EXPECT_TRUE(silent(until_ready(e)));
    }
    EXPECT_EQ(e.quit(), 0);
}

// "gameover" ends a timed search, whose move is still sent, and a ponder search, which
// sends nothing, not even on a later "stop" or "ponderhit"; the next game plays normally.
TEST_F(SearchProtocol, GameoverDuringASearch)
{
    EngineProcess e = start();
    const std::string pos = game_positions(30, 1)[4];
    e.send("position " + pos + "\ngo btime 0 wtime 0 byoyomi 10000\n");
    sleep_for_ms(100);
    e.send("gameover lose\n");
    const Answer a = read_bestmove(e, Clock::now());
    EXPECT_LT(a.ms, 500 * SLOW);
    EXPECT_TRUE(legal_answer(pos, a));
    EXPECT_TRUE(silent(until_ready(e)));

    for (int wait_ms : {200, 0}) {
        e.send(std::string("usinewgame\nposition ") + pos + "\n" + PONDER_1000);
        sleep_for_ms(wait_ms);
        e.send("gameover win\n");
        const auto during = until_ready(e);  // answered once the search has ended
        EXPECT_EQ(count_prefix(during, "bestmove"), 0) << wait_ms;
        e.send("stop\nponderhit\n");
        EXPECT_TRUE(silent(until_ready(e)));
    }

    e.send("usinewgame\n");
    const Answer next = search(e, pos, TIMED_1000);
    EXPECT_TRUE(legal_answer(pos, next));
    EXPECT_TRUE(silent(until_ready(e)));
    EXPECT_EQ(e.quit(), 0);
}

// "quit" ends the process at once in every kind of search.
TEST_F(SearchProtocol, QuitDuringASearchExitsAtOnce)
{
    for (const char *go : {"go btime 0 wtime 0 byoyomi 10000\n", PONDER_1000, "go infinite\n"}) {
        EngineProcess e = start();
        e.send(std::string("position ") + game_positions(30, 1)[5] + "\n" + go);
        sleep_for_ms(150);
        const auto quit_at = Clock::now();
        EXPECT_EQ(e.quit(1000), 0) << go;
        EXPECT_LT(ms_since(quit_at), 1000 * SLOW) << go;
    }
}

// "position" and "go" during a search are refused and "isready" waits for its end: the
// running search still answers once, for the position it was given, then "readyok".
TEST_F(SearchProtocol, CommandsDuringASearchDoNotDisturbIt)
{
    EngineProcess e = start();
    const auto positions = game_positions(30, 2);
    const std::string &pos = positions[6], &other = positions[9];
    e.send("position " + pos + "\ngo infinite\n");
    sleep_for_ms(100);
    e.send("isready\nposition " + other + "\n" + TIMED_1000);
    EXPECT_EQ(count_prefix(e.lines_during(1200), "bestmove"), 0);
    e.send("stop\n");
    std::vector<std::string> seen;
    ASSERT_TRUE(e.wait_for("readyok", &seen));
    ASSERT_EQ(count_prefix(seen, "bestmove"), 1);
    ASSERT_GE(seen.size(), 2u);
    const std::string &answer = seen.end()[-2];  // the search's move comes before readyok
    ASSERT_EQ(answer.rfind("bestmove", 0), 0u) << answer;
    Answer a;
    parse_bestmove(answer, a);
    EXPECT_TRUE(legal_answer(pos, a));
    EXPECT_TRUE(silent(until_ready(e)));
    EXPECT_EQ(e.quit(), 0);
    const std::string err = e.stderr_text();
    EXPECT_NE(err.find("position ignored"), std::string::npos) << err;
    EXPECT_NE(err.find("go ignored"), std::string::npos) << err;
}

// The hand-over windows: "stop" or "ponderhit" right behind the "go", before the main thread
// has even started the search, many times over; each "go" is answered exactly once.
TEST_F(SearchProtocol, CommandsRightBehindGoAnswerEachGoOnce)
{
    EngineProcess e = start();
    const std::string pos = game_positions(30, 1)[1];
    e.send("position " + pos + "\n");
    constexpr int ROUNDS = 40;
    std::string batch;
    for (int i = 0; i < ROUNDS; i++)
        batch += i % 2 ? "go infinite\nstop\n" : "go ponder\nstop\n";
    e.send(batch);  // "stop" waits for its search, so the next "go" is never refused
    std::vector<std::string> seen = until_ready(e);
    EXPECT_EQ(count_prefix(seen, "bestmove"), ROUNDS);
    for (int i = 0; i < ROUNDS; i++) {
        e.send(i % 2 ? "go ponder btime 0 wtime 0 byoyomi 1\nponderhit\n" : "go btime 0 wtime 0 byoyomi 1\n");
        const Answer a = read_bestmove(e, Clock::now());
        EXPECT_TRUE(legal_answer(pos, a)) << i;
        EXPECT_TRUE(silent(until_ready(e)));
    }
    EXPECT_EQ(e.quit(), 0);
}

// ---- Fischer and sudden death ---------------------------------------------------------------

// The clocks of servers: a 0 + 0.5 s Fischer game played out by the engine against itself
// with the clock kept as a server keeps it (the increment is the mover's to use; whatever is
// left carries over) never runs out; single moves of other clocks spend about what they plan:
// the increment is used, sudden death is spread out, and nothing reaches past the time left.
TEST_F(SearchProtocol, FischerAndSuddenDeathKeepTheirBudgets)
{
    EngineProcess e = start();
    std::string pos = "startpos";
    int clock[2] = {0, 0};
    constexpr int INC = 500;
    for (int ply = 0; ply < 16; ply++) {
        char go[96];
        std::snprintf(go, sizeof go, "go btime %d wtime %d binc %d winc %d\n", clock[0], clock[1], INC, INC);
        const Answer a = search(e, pos, go);
        ASSERT_TRUE(legal_answer(pos, a)) << go;
        if (a.move == "resign" || a.move == "win")
            break;
        int &own = clock[ply % 2];
        EXPECT_LE(a.ms, timed(own + INC)) << "lost on time at ply " << ply << ": " << go;
        own = std::max(0, own + INC - a.ms);
        pos = after_move(pos, a.move);
    }
    const std::string middle = game_positions(30, 1)[3];
    struct Case {
        const char *go;
        int at_least, at_most;  // ms
    };
    for (const Case c : {Case{"go btime 30000 wtime 30000 binc 3000 winc 3000\n", 2000, 3000 + 4 * 30000 / 20},
                         Case{"go btime 0 wtime 0 binc 2000 winc 2000\n", 900, 1300},
                         Case{"go btime 20000 wtime 20000\n", 0, 4 * 20000 / 20}}) {
        const Answer a = search(e, middle, c.go, c.at_most + 2000);  // a falling score may use it all
        EXPECT_TRUE(legal_answer(middle, a)) << c.go;
        EXPECT_GE(a.ms, c.at_least) << c.go;
        EXPECT_LE(a.ms, timed(c.at_most + 100)) << c.go;
        EXPECT_TRUE(silent(until_ready(e)));
    }
    EXPECT_EQ(e.quit(), 0);
}

// ---- fixed limits ---------------------------------------------------------------------------

// "go nodes" repeats exactly: the same commands in a new process give the same moves and
// exactly N nodes (the game history kept for the repetition rules is part of the state); "go depth" stops after its iteration; "go movetime" keeps its
// time. One answer for each.
TEST_F(SearchProtocol, FixedNodeDepthAndTimeSearches)
{
    const auto positions = game_positions(30, 2);
    std::vector<std::string> first;
    for (int run = 0; run < 2; run++) {
        EngineProcess e = start();
        std::vector<std::string> answers;
        for (std::size_t i = 0; i < 4; i++) {
            until_ready(e);
            const Answer a = search(e, positions[i], "go nodes 40000\n");
            EXPECT_TRUE(legal_answer(positions[i], a));
            const std::string total = a.lines.size() >= 2 ? a.lines.end()[-2] : "";
            EXPECT_EQ(total.rfind("info nodes 40000 time ", 0), 0u) << total;
            answers.push_back(a.move + " " + a.ponder);
        }
        if (run == 0)
            first = answers;
        else
            EXPECT_EQ(answers, first);

        const Answer d = search(e, positions[5], "go depth 3\n");
        EXPECT_TRUE(legal_answer(positions[5], d));
        EXPECT_EQ(count_prefix(d.lines, "info time"), 3);
        EXPECT_NE(d.lines.end()[-3].find(" depth 3 "), std::string::npos) << d.lines.end()[-3];
        const Answer m = search(e, positions[6], "go movetime 700\n");
        EXPECT_TRUE(legal_answer(positions[6], m));
        EXPECT_LT(m.ms, timed(700));
        EXPECT_TRUE(silent(until_ready(e)));
        EXPECT_EQ(e.quit(), 0);
    }
}

// "go mate": exactly one "checkmate" line and never a "bestmove", whether the solver finds
// a mate (the only one, a plain lance capture, also with gote to move), proves there is
// none (no check at all; a perpetual check; no king or one in check already), runs out
// of its time or is stopped; "info" lines report nodes and speed; a command sent right
// after the answer is served; the engine then serves ordinary searches as before.
TEST_F(SearchProtocol, GoMateAnswersOnceWithCheckmate)
{
    // Gote to move, many checks and no answer within seconds.
    constexpr const char *HARD =
        "sfen ln1g5/9/p1ps1knpl/3p5/3r1p1P1/1p2ls3/P1PPS1N2/1PS1KG3/LNBG1G+r2 w 7pb 1";
    const struct {
        const char *position, *go, *answer;
        int stop_after_ms;  // -1: no stop
    } cases[] = {
        {"sfen 7lk/7p1/8b/9/8L/5K3/9/9/9 b - 1", "go mate 5000\n", "checkmate 1e1c", -1},
        {"sfen 9/9/9/3k5/l8/9/B8/1P7/KL7 w - 1", "go mate infinite\n", "checkmate 9e9g", -1},
        {MATE_IN_ONE, "go mate 5000\n", "checkmate 5g5h", -1},
        {"startpos", "go mate 5000\n", "checkmate nomate", -1},
        // The defender already in check, or with no king: nothing to solve.
        {"sfen 4k4/9/9/9/4R4/9/9/9/4K4 b - 1", "go mate 5000\n", "checkmate nomate", -1},
        {"sfen 9/9/9/9/9/9/9/9/4K4 b RG 1", "go mate infinite\n", "checkmate nomate", -1},
        {"sfen 9/3B1p1k1/8L/4N4/6N2/9/9/9/9 b P 1", "go mate 5000\n", "checkmate nomate", -1},
        {HARD, "go mate 300\n", "checkmate timeout", -1},
        {HARD, "go mate infinite\n", "checkmate timeout", 300},
        {HARD, "go mate 10000\n", "checkmate timeout", 300},
    };
    EngineProcess e = start();
    for (const auto &c : cases) {
        until_ready(e);
        e.send(std::string("position ") + c.position + "\n");
        const auto at = Clock::now();
        e.send(c.go);
        if (c.stop_after_ms >= 0) {
            sleep_for_ms(c.stop_after_ms);
            e.send("stop\n");
        }
        std::vector<std::string> seen;
        ASSERT_TRUE(e.wait_for("checkmate", &seen, 3000 * SLOW)) << c.position << " " << c.go;
        const int ms = ms_since(at);
        EXPECT_EQ(seen.back(), c.answer) << c.position << " " << c.go;
        EXPECT_EQ(count_prefix(seen, "bestmove"), 0);
        if (std::string(c.answer) == "checkmate timeout") {
            EXPECT_GE(ms, 300);
            EXPECT_LT(ms, timed(1500));  // 300 ms and a busy machine's delays
            EXPECT_GE(count_prefix(seen, "info time"), 1);
            EXPECT_NE(seen.end()[-2].find(" nps "), std::string::npos) << seen.end()[-2];
        }
        EXPECT_TRUE(silent(until_ready(e)));
    }
    // A front end sends the next command as soon as it reads "checkmate": none is lost.
    for (int i = 0; i < 30; i++) {
        e.send(std::string("position ") + MATE_IN_ONE + "\ngo mate 1000\n");
        ASSERT_TRUE(e.wait_for("checkmate 5g5h", nullptr, 2000 * SLOW)) << i;
    }
    const Answer a = search(e, MATE_IN_ONE, TIMED_1000);
    EXPECT_EQ(a.move, "5g5h");
    EXPECT_EQ(e.quit(), 0);
}

// ---- options ------------------------------------------------------------------------------

// "usi" lists every option with "qvn.conf" as its defaults; "setoption" changes what the
// engine does: book, ponder move, margin, table size, log; bad names and values are refused.
TEST_F(SearchProtocol, OptionsAreListedSetAndHaveTheirEffect)
{
    EngineProcess e = start("no_book=1\ntime_margin=250\n");
    e.send("usi\n");
    std::vector<std::string> seen;
    ASSERT_TRUE(e.wait_for("usiok", &seen));
    const std::vector<std::string> listed(seen.begin() + 2, seen.end() - 1);
    std::vector<std::string> expected = {
        "option name no_book type check default true",
        "option name book_file type string default book.dat",
        "option name random_book type check default false",
        "option name log_enable type check default false",
        "option name usi_dump type check default false",
        "option name pondering type check default false",
        "option name time_margin type spin default 250 min -1 max 60000",
        "option name USI_Hash type spin default 128 min 1 max 16384",
        "option name mate_hash type spin default 64 min 1 max 4096",
        "option name mate_probe type spin default 0 min 0 max 60000",
        "option name Threads type spin default 1 min 1 max 256",
        "option name MultiPV type spin default 1 min 1 max 64",
        "option name EvalFile type string default <empty>",
    };
    // A tuning build lists the search's constants after them.
    for (int i = 0; tuning_build && i < param_count(); i++) {
        const ParamInfo &p = param_table()[i];
        expected.push_back("option name " + std::string(p.name) + " type spin default " + std::to_string(*p.value) +
                           " min " + std::to_string(p.min) + " max " + std::to_string(p.max));
    }
    EXPECT_EQ(listed, expected);

    const std::string pos = game_positions(30, 1)[2];
    const auto hashfull = [](const Answer &a) {
        const std::string &info = a.lines.end()[-3];  // the last iteration's line
        return std::atoi(info.c_str() + info.find("hashfull ") + 9);
    };
    Answer a = search(e, "startpos", "go nodes 300000\n");
    EXPECT_TRUE(a.ponder.empty());
    EXPECT_EQ(a.lines.end()[-3].rfind("info time ", 0), 0u);  // searched: no book
    EXPECT_LE(hashfull(a), 30);  // 300,000 nodes, the quiescence search's stores among them
    e.send("setoption name no_book value false\nsetoption name USI_Ponder value true\n"
           "setoption name USI_Hash value 1\nsetoption name time_margin value 100\n"
           "setoption name log_enable value true\nsetoption name nothing value 1\n"
           "setoption name USI_Hash value 0\nsetoption name pondering value yes\nisready\n");
    ASSERT_TRUE(e.wait_for("readyok"));
    a = search(e, "startpos", "go nodes 300000\n");
    EXPECT_EQ(a.lines.end()[-3].rfind("info nodes ", 0), 0u) << a.lines.end()[-3];  // a book move
    a = search(e, pos, "go nodes 1000000\n");
    EXPECT_FALSE(a.ponder.empty());
    EXPECT_GT(hashfull(a), 40);  // 1 MiB fills up, 128 MiB hardly
    a = search(e, pos, TIMED_1000);
    EXPECT_GE(a.ms, 700);  // the byoyomi used to 900 ms, not 500
    EXPECT_LT(a.ms, timed(1000));
    e.send("setoption name pondering value false\n");
    EXPECT_TRUE(search(e, pos, "go depth 2\n").ponder.empty());
    EXPECT_EQ(e.quit(), 0);
    const std::string err = e.stderr_text();
    for (const char *refused : {"unknown option nothing", "option USI_Hash: value '0'", "option pondering: value 'yes'"})
        EXPECT_NE(err.find(refused), std::string::npos) << refused << " in " << err;
    bool logged = false;
    for (const auto &f : fs::directory_iterator(dir))
        logged = logged || f.path().extension() == ".log";
    EXPECT_TRUE(logged);
}

// ---- legality where the search had no time -----------------------------------------------

// Over real positions: a stop at once or after a few milliseconds, a ponder search stopped,
// and a 1 ms byoyomi all end with a legal move, whether or not an iteration was finished;
// with the book on, its moves in the opening are legal too.
TEST_F(SearchProtocol, MovesOnStopAndTinyBudgetsAreLegal)
{
    const auto positions = game_positions(5, 3);
    ASSERT_GE(positions.size(), 100u);
    for (const char *conf : {"pondering=1\nno_book=1\n", "pondering=1\nrandom_book=1\n"}) {
        EngineProcess e = start(conf);
        int checked = 0;
        for (std::size_t i = 0; i < positions.size(); i++) {
            const std::string &pos = positions[i];
            e.send("position " + pos + "\n");
            const int delay = static_cast<int>(i * 7 % 40);
            e.send("go infinite\n");
            sleep_for_ms(delay);
            e.send("stop\n");
            EXPECT_TRUE(legal_answer(pos, read_bestmove(e, Clock::now()))) << "stop after " << delay << " ms";
            e.send("go ponder\nstop\n");
            EXPECT_TRUE(legal_answer(pos, read_bestmove(e, Clock::now()))) << "ponder, stop";
            e.send("go btime 0 wtime 0 byoyomi 1\n");
            EXPECT_TRUE(legal_answer(pos, read_bestmove(e, Clock::now()))) << "byoyomi 1";
            checked += 3;
        }
        EXPECT_TRUE(silent(until_ready(e)));
        EXPECT_EQ(e.quit(), 0);
        EXPECT_EQ(checked, 3 * static_cast<int>(positions.size()));
    }
}

// ---- threads and analysis -------------------------------------------------------------------

// The words of a search's last "info time" line before its "bestmove".
std::string last_search_info(const Answer &a)
{
    for (auto l = a.lines.rbegin(); l != a.lines.rend(); ++l)
        if (l->rfind("info time ", 0) == 0)
            return *l;
    return "";
}

// The word after name in an "info" line ("" when absent).
std::string info_word(const std::string &line, const std::string &name)
{
    std::istringstream words(line);
    for (std::string w; words >> w;)
        if (w == name && words >> w)
            return w;
    return "";
}

// "cp N" or "mate N" of an "info" line as one comparable number (mates beyond every cp).
int info_score(const std::string &line)
{
    const std::size_t at = line.find(" score ");
    std::istringstream words(line.substr(at + 7));
    std::string kind;
    int n = 0;
    words >> kind >> n;
    if (kind == "mate")
        return n > 0 ? 1000000 - n : -1000000 - n;
    return n;
}

// True when move mates in plies (1 or 3) in position: by brute force over our own generator.
bool mates_in(const std::string &position, const std::string &move, int plies)
{
    const std::string after = after_move(position, move);
    const auto replies = legal_moves_of(after);
    if (plies == 1 || replies.empty())
        return replies.empty();
    for (const std::string &r : replies) {
        const std::string answer = after_move(after, r);
        bool mated = false;
        for (const std::string &m : legal_moves_of(answer))
            if (mates_in(answer, m, 1)) {
                mated = true;
                break;
            }
        if (!mated)
            return false;
    }
    return true;
}

// At Threads 4 the mate problems are still solved: the move mates in the known number of
// plies, checked by brute force, and "score mate N" says that number; the defending side,
// after the mating move of a mate in 3, reports "score mate -2".
TEST_F(SearchProtocol, MatesAtFourThreadsWithTheirDistances)
{
    EngineProcess e = start("no_book=1\nThreads=4\n");
    std::ifstream in(std::string(QVN_TEST_DATA) + "/tsume.txt");
    int checked = 0, defended = 0, index = 0;
    for (std::string line; std::getline(in, line);) {
        if (index++ % 4 != 0)
            continue;
        const int plies = std::atoi(line.c_str());
        const std::string pos = line.substr(line.find(' ') + 1);
        const Answer a = search(e, pos, "go depth 5\n");
        ASSERT_TRUE(legal_answer(pos, a));
        EXPECT_EQ(info_word(last_search_info(a), "mate"), std::to_string(plies)) << pos << ": " << last_search_info(a);
        EXPECT_TRUE(mates_in(pos, a.move, plies)) << pos << " " << a.move;
        checked++;
        if (plies == 3 && defended < 8) {
            const std::string after = after_move(pos, a.move);
            const Answer d = search(e, after, "go depth 3\n");
            ASSERT_TRUE(legal_answer(after, d));
            EXPECT_EQ(info_word(last_search_info(d), "mate"), "-2") << after << ": " << last_search_info(d);
            defended++;
        }
    }
    EXPECT_GT(checked, 70);
    EXPECT_EQ(defended, 8);
    EXPECT_EQ(e.quit(), 0);
}

// MultiPV 3 at a fixed depth: three lines of the last iteration, distinct legal moves in
// score order (each variation legal move by move), the first of them played. Where one move is clearly best (a recapture, a
// mate) it is the MultiPV 1 choice too. In general the two may differ: the other moves are
// searched against the third best score instead of the best, which changes the tree.
TEST_F(SearchProtocol, MultiPvListsTheBestMovesInScoreOrder)
{
    const auto games = game_positions(30, 2);
    struct Case {
        std::string position;
        bool clear;  // one move is clearly best
    };
    std::vector<Case> cases = {{"startpos moves 7g7f 3c3d 8h2b+", true},
                               {"startpos moves 7g7f 3c3d 2g2f 2b8h+", true},
                               {MATE_IN_ONE, true}};
    for (std::size_t i = 0; i < 4 && i < games.size(); i++)
        cases.push_back({games[i], false});
    EngineProcess e = start("no_book=1\n");
    for (const Case &c : cases) {
        std::string single;
        for (int k : {1, 3}) {
            e.send("setoption name MultiPV value " + std::to_string(k) + "\n");
            until_ready(e);  // the same empty table for both searches
            const Answer a = search(e, c.position, "go depth 4\n");
            ASSERT_TRUE(legal_answer(c.position, a));
            if (k == 1) {
                single = a.move;
                continue;
            }
            std::vector<std::string> lines;
            for (const std::string &l : a.lines)
                if (l.rfind("info time ", 0) == 0 && l.find(" multipv ") != std::string::npos)
                    lines.push_back(l);
            ASSERT_GE(lines.size(), 3u) << c.position;
            lines.erase(lines.begin(), lines.end() - 3);  // the last iteration's
            std::set<std::string> moves;
            for (int i = 0; i < 3; i++) {
                const std::string &l = lines[i];
                EXPECT_EQ(info_word(l, "multipv"), std::to_string(i + 1)) << l;
                EXPECT_EQ(info_word(l, "depth"), info_word(lines[0], "depth")) << l;
                const std::string move = info_word(l, "pv");
                moves.insert(move);
                if (i > 0) {
                    EXPECT_LE(info_score(l), info_score(lines[i - 1])) << l;
                }
            }
            EXPECT_EQ(moves.size(), 3u) << c.position;
            EXPECT_EQ(info_word(lines[0], "pv"), a.move) << c.position;
            if (c.clear) {
                EXPECT_EQ(a.move, single) << c.position;
            }
        }
    }
    EXPECT_EQ(e.quit(), 0);
}

// A storm of commands at up to four threads: "go" of every kind, "stop" and "ponderhit" at
// random moments, "setoption Threads" and "MultiPV" between searches and during them (then
// refused). Every "go" is answered by exactly one legal "bestmove", every reported variation
// is legal move by move (the table's moves included); "go nodes" stops once
// every thread together has searched its nodes, give or take a check interval per thread.
TEST_F(SearchProtocol, StormOfCommandsAtFourThreads)
{
    const auto positions = game_positions(5, 3);
    EngineProcess e = start("pondering=1\nno_book=1\nThreads=4\n");
    std::mt19937 rng(20);
    int threads = 4, answered = 0;
    constexpr int ROUNDS = 60;
    for (int round = 0; round < ROUNDS; round++) {
        const std::string &pos = positions[rng() % positions.size()];
        if (rng() % 4 == 0) {
            threads = 1 + static_cast<int>(rng() % 4);
            e.send("setoption name Threads value " + std::to_string(threads) + "\nsetoption name MultiPV value " +
                   std::to_string(1 + rng() % 3) + "\n");
        }
        e.send("position " + pos + "\n");
        const int wait_ms = static_cast<int>(rng() % 40);
        const int kind = static_cast<int>(rng() % 6);
        Answer a;
        switch (kind) {
        case 0:
        case 1:
            e.send(kind == 0 ? "go infinite\n" : "go ponder btime 0 wtime 0 byoyomi 1000\n");
            sleep_for_ms(wait_ms);
            e.send("setoption name Threads value 2\nstop\n");  // refused: a search is running
            a = read_bestmove(e, Clock::now());
            break;
        case 2:
            e.send("go ponder btime 0 wtime 0 byoyomi 300\n");
            sleep_for_ms(wait_ms);
            e.send("ponderhit\n");
            a = read_bestmove(e, Clock::now());
            break;
        case 3:
            e.send("go btime 0 wtime 0 byoyomi 100\n");
            if (wait_ms % 2) {
                sleep_for_ms(wait_ms);
                e.send("stop\n");
            }
            a = read_bestmove(e, Clock::now());
            break;
        case 4: {
            e.send("go nodes 30000\n");
            a = read_bestmove(e, Clock::now(), 20000);
            const std::string total = a.lines.size() >= 2 ? a.lines.end()[-2] : "";
            ASSERT_EQ(total.rfind("info nodes ", 0), 0u) << total;
            const long long nodes = std::atoll(total.c_str() + 11);
            EXPECT_GE(nodes, 30000) << total;
            EXPECT_LE(nodes, 30000 + 4 * 1024 + 1000) << total;
            break;
        }
        default:
            e.send("go depth 3\n");
            a = read_bestmove(e, Clock::now(), 20000);
            break;
        }
        ASSERT_TRUE(legal_answer(pos, a)) << "round " << round << " kind " << kind;
        answered++;
        EXPECT_TRUE(silent(until_ready(e)));
    }
    EXPECT_EQ(answered, ROUNDS);
    EXPECT_EQ(e.quit(), 0);
    EXPECT_NE(e.stderr_text().find("setoption ignored"), std::string::npos);
}

}  // namespace

// A new game starts afresh: after "usinewgame" a fixed-node search answers as in a fresh engine,
// whatever the game before left behind (its game phase, which only moves forward within a game,
// among it). Positions from the early middle game, each searched after an ending.
TEST_F(SearchProtocol, NewGameSearchesAsAFreshEngine)
{
    const auto positions = game_positions(40, 6);
    for (std::size_t g = 0; g + 6 <= positions.size() && g < 24; g += 6) {
        const std::string early = positions[g + 1], ending = positions[g + 5];
        EngineProcess fresh = start();
        const Answer want = search(fresh, early, "go nodes 20000\n");
        EXPECT_EQ(fresh.quit(), 0);

        EngineProcess e = start();
        search(e, ending, "go nodes 20000\n");
        e.send("gameover win\nusinewgame\n");
        until_ready(e);
        const Answer got = search(e, early, "go nodes 20000\n");
        EXPECT_EQ(got.move + " " + got.ponder, want.move + " " + want.ponder) << early;
        EXPECT_EQ(info_score(last_search_info(got)), info_score(last_search_info(want))) << early;
        EXPECT_EQ(info_word(last_search_info(got), "nodes"), info_word(last_search_info(want), "nodes")) << early;
        EXPECT_EQ(e.quit(), 0);
    }
}

// EvalFile names the network, in qvn.conf or by setoption: a good file changes the evaluation
// (fixed-node searches answer as with the file named at start-up), and a missing, cut or damaged
// one is reported on standard error while the engine plays on with the tables alone, exactly
// as with "<empty>".
TEST_F(SearchProtocol, EvalFileNamesTheNetworkAndABadOneIsReported)
{
    auto net = std::make_unique<NetParameters>();
    net->hidden = 16;
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> weight(-60, 60);
    for (int i = 0; i < NET_FEATURES * 16; i++)
        net->input_weights[i] = static_cast<std::int16_t>(weight(rng));
    for (int i = 0; i < 32; i++)
        net->output_weights[i] = static_cast<std::int16_t>(weight(rng) * 4);
    net_set_output_scale(net.get(), 600);
    std::string error;
    ASSERT_TRUE(net_write_file((dir / "good.net").string().c_str(), *net, &error)) << error;
    const std::string good = [&] {
        std::ifstream in(dir / "good.net", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    std::ofstream(dir / "cut.net", std::ios::binary) << good.substr(0, good.size() / 2);
    std::string damaged = good;
    damaged[good.size() / 3] ^= 0x10;
    std::ofstream(dir / "damaged.net", std::ios::binary) << damaged;

    const std::string pos = game_positions(30, 1)[3];
    const auto answer = [&](const std::string &conf, const std::string &setoption, std::string *err) {
        EngineProcess e = start("no_book=1\n" + conf);
        if (!setoption.empty()) {
            e.send(setoption);
            until_ready(e);
        }
        const Answer a = search(e, pos, "go nodes 30000\n");
        EXPECT_EQ(e.quit(), 0);
        *err = e.stderr_text();
        return a.move + " " + info_word(last_search_info(a), "cp") + " " + info_word(last_search_info(a), "nodes");
    };
    std::string err;
    const std::string tables = answer("EvalFile=<empty>\n", "", &err);
    EXPECT_EQ(err.find("EvalFile"), std::string::npos) << err;
    const std::string with_net = answer("EvalFile=good.net\n", "", &err);
    EXPECT_EQ(err.find("EvalFile"), std::string::npos) << err;
    EXPECT_NE(with_net, tables);
    EXPECT_EQ(answer("EvalFile=<empty>\n", "setoption name EvalFile value good.net\n", &err), with_net);
    EXPECT_EQ(answer("EvalFile = good.net \n", "setoption name EvalFile value <empty>\n", &err), tables);
    for (const char *bad : {"missing.net", "cut.net", "damaged.net"}) {
        EXPECT_EQ(answer(std::string("EvalFile=") + bad + "\n", "", &err), tables) << bad;
        EXPECT_NE(err.find("EvalFile: network file "), std::string::npos) << err;
        EXPECT_NE(err.find(bad), std::string::npos) << err;
        EXPECT_NE(err.find("the engine plays on the linear evaluation alone"), std::string::npos) << err;
        EXPECT_EQ(answer("EvalFile=good.net\n", std::string("setoption name EvalFile value ") + bad + "\n", &err),
                  tables) << bad;
        EXPECT_NE(err.find(bad), std::string::npos) << err;
    }
}
