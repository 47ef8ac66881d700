// The unit tests' main, and the helpers that test_util.h declares.
#include <fstream>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

#include "board/attack.h"
#include "board/notation.h"
#include "eval/evalute.h"
#include "eval/weight_layout.h"
#include "frontend/usi_sub.h"
#include "hash/hash.h"
#include "log/log.h"
#include "test_util.h"

const std::vector<GameRecord> &test_games()
{
    static std::vector<GameRecord> games = [] {
        std::vector<GameRecord> out;
        for (const char *file : {"/games/gpsusi-selfplay.usi", "/games/fsf-vs-gpsusi.usi"}) {
            std::ifstream in(std::string(QVN_TEST_DATA) + file);
            std::string line, header;
            while (std::getline(in, line)) {
                if (line.rfind("#", 0) == 0) {
                    header = line;
                    continue;
                }
                std::istringstream words(line);
                std::string w;
                GameRecord g{header, {}};
                words >> w;  // startpos
                words >> w;  // moves
                while (words >> w)
                    g.moves.push_back(w);
                if (!g.moves.empty())
                    out.push_back(g);
            }
        }
        return out;
    }();
    return games;
}

std::string position_text(const GameRecord &g, std::size_t k)
{
    std::string s = "startpos";
    if (k > 0) {
        s += " moves";
        for (std::size_t i = 0; i < k && i < g.moves.size(); i++)
            s += " " + g.moves[i];
    }
    return s + "\n";
}

int set_position(const std::string &text) { return read_position(text.c_str()); }

void finish(Position &p)
{
    p.king[0] = p.king[1] = 0;
    for (int sq : position_tbl) {
        if (p.board[sq] == (S | OU))
            p.king[1] = sq;
        if (p.board[sq] == (G | OU))
            p.king[0] = sq;
    }
    p.board_key = board_key_of(&p);
    p.hand_key = hand_key_of(&p);
    p.key = p.board_key ^ p.hand_key;
    AttackInit(&p);
    MakePin(0, &p);
    MakePin(1, &p);
}

Position board_from(const std::vector<std::pair<int, int>> &pieces)
{
    Position p{};
    clear_board(&p);
    for (auto [sq, word] : pieces)
        p.board[sq] = word;
    finish(p);
    return p;
}

Position mirrored(const Position &src)
{
    Position p{};
    clear_board(&p);
    for (int sq : position_tbl) {
        const int w = src.board[sq];
        p.board[170 - sq] = w ? ((w & 15) | ((w & S) ? G : S)) : 0;
    }
    for (int t = 0; t < 8; t++) {
        p.hand[0][t] = src.hand[1][t];
        p.hand[1][t] = src.hand[0][t];
    }
    finish(p);
    return p;
}

std::string usi(int move)
{
    char buf[8];
    move2usi(move, buf);
    return buf;
}

std::string read_file(const std::string &name)
{
    std::ifstream in(name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string log_of(const std::function<void()> &fn)
{
    open_log();
    EXPECT_NE(fp_log, nullptr);
    fn();
    close_log();
    std::string raw;
    for (const auto &e : std::filesystem::directory_iterator("."))
        if (e.path().extension() == ".log") {
            raw += read_file(e.path().string());
            std::filesystem::remove(e.path());
        }
    return raw;
}

::testing::AssertionResult matches_rebuild(const Position &p)
{
    Position fresh = p;
    AttackInit(&fresh);
    for (int s = 0; s < 2; s++)
        for (int sq = 0; sq < BOARD_SIZE; sq++)
            if (fresh.attack[s][sq] != p.attack[s][sq])
                return ::testing::AssertionFailure() << "attack[" << s << "][0x" << std::hex << sq << "] is 0x"
                                                     << p.attack[s][sq] << ", rebuilt 0x" << fresh.attack[s][sq];
    if (board_key_of(&p) != p.board_key)
        return ::testing::AssertionFailure() << "board key differs from a rebuild";
    if (hand_key_of(&p) != p.hand_key)
        return ::testing::AssertionFailure() << "hand key differs from a rebuild";
    if ((p.board_key ^ p.hand_key) != p.key)
        return ::testing::AssertionFailure() << "key is not board key ^ hand key";
    for (int s = 0; s < 2; s++) {
        const int k = p.king[s];
        if (k && p.board[k] != (colour(s) | OU))
            return ::testing::AssertionFailure() << "king[" << s << "] does not hold the king";
    }
    return ::testing::AssertionSuccess();
}

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    HashInit();      // tests run in the build directory, next to hash_key.dat
    InitEvalute(1);  // ... and the shipped weight.dat
    return RUN_ALL_TESTS();
}

void random_weights(unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> value(-999, 999);
    for (int i = 0; i < WEIGHT_COUNT; i++)
        weight_at(i) = value(rng);
}
