// The "position" command: start position, SFEN (either side to move), moves, bad input;
// the move notation.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "board/attack.h"
#include "board/notation.h"
#include "frontend/usi_sub.h"
#include "hash/hash.h"
#include "search/qvn.h"
#include "test_util.h"
#include "tools/learn/game_file.h"

namespace {

// A plain 9x9 board that plays USI moves, written apart from the engine, to make SFENs.
struct SimpleBoard {
    char sq[10][10] = {};  // [file][rank]; ' ' empty; upper case sente; '+' prefix kept in prom
    bool prom[10][10] = {};
    int hand[2][128] = {};  // [0] gote, [1] sente, by upper-case letter
    bool sente_to_move = true;

    SimpleBoard()
    {
        const char *back = "LNSGKGSNL";
        for (int f = 1; f <= 9; f++) {
            for (int r = 1; r <= 9; r++)
                sq[f][r] = ' ';
            sq[f][9] = back[9 - f];
            sq[f][7] = 'P';
            sq[f][1] = static_cast<char>(std::tolower(back[f - 1]));
            sq[f][3] = 'p';
        }
        sq[2][8] = 'R';
        sq[8][8] = 'B';
        sq[8][2] = 'r';
        sq[2][2] = 'b';
    }

    void play(const std::string &m)
    {
        const int tf = m[2] - '0', tr = m[3] - 'a' + 1;
        if (m[1] == '*') {
            hand[sente_to_move][static_cast<int>(m[0])]--;
            sq[tf][tr] = sente_to_move ? m[0] : static_cast<char>(std::tolower(m[0]));
            prom[tf][tr] = false;
        } else {
            const int ff = m[0] - '0', fr = m[1] - 'a' + 1;
            if (sq[tf][tr] != ' ')
                hand[sente_to_move][std::toupper(sq[tf][tr])]++;
            sq[tf][tr] = sq[ff][fr];
            prom[tf][tr] = prom[ff][fr] || m.size() > 4;
            sq[ff][fr] = ' ';
            prom[ff][fr] = false;
        }
        sente_to_move = !sente_to_move;
    }

    std::string sfen() const
    {
        std::string s;
        for (int r = 1; r <= 9; r++) {
            int empty = 0;
            for (int f = 9; f >= 1; f--) {
                if (sq[f][r] == ' ') {
                    empty++;
                    continue;
                }
                if (empty)
                    s += std::to_string(empty);
                empty = 0;
                if (prom[f][r])
                    s += '+';
                s += sq[f][r];
            }
            if (empty)
                s += std::to_string(empty);
            if (r < 9)
                s += '/';
        }
        s += sente_to_move ? " b " : " w ";
        std::string h;
        for (int side = 1; side >= 0; side--)
            for (char c : std::string("RBGSNLP")) {
                const int n = hand[side][static_cast<int>(c)];
                if (n == 0)
                    continue;
                if (n > 1)
                    h += std::to_string(n);
                h += side ? c : static_cast<char>(std::tolower(c));
            }
        return s + (h.empty() ? "-" : h) + " 1";
    }
};

void expect_same_root(const Position &a, const Position &b, const std::string &what)
{
    EXPECT_EQ(std::memcmp(a.board, b.board, sizeof a.board), 0) << what;
    EXPECT_EQ(std::memcmp(a.hand, b.hand, sizeof a.hand), 0) << what;
    EXPECT_EQ(std::memcmp(a.attack, b.attack, sizeof a.attack), 0) << what;
    EXPECT_EQ(std::memcmp(a.pin, b.pin, sizeof a.pin), 0) << what;
    EXPECT_EQ(std::memcmp(a.king, b.king, sizeof a.king), 0) << what;
    EXPECT_EQ(a.key, b.key) << what;
}

// Result, view, one square of the engine's board and the game history of plain commands.
TEST(PositionCommand, StartposSfenMovesAndTheView)
{
    struct Case {
        const char *text;
        int result, reverse, sq, word;
    } cases[] = {
        {"startpos", 1, 0, 0x59, S | OU},
        {"startpos moves 7g7f", 1, 1, 0x34, G | FU},  // the engine plays second: turned
        {"startpos moves 7g7f 3c3d", 2, 0, 0x76, S | FU},
        {"startpos moves 7g7f 3c3d 8h2b+", 3, 1, 170 - 0x22, G | UM},
        {"sfen 4k4/9/9/9/9/9/9/9/9 b 2P10p 1", 1, 0, 0x51, G | OU},
        // Bishop handicap: the giver plays gote and moves first.
        {"sfen lnsgkgsnl/1r7/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL w - 1", 1, 1, 170 - 0x82, S | HI},
        {"sfen lnsgkgsnl/1r7/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL w - 1 moves 3c3d", 1, 0, 0x34, G | FU},
        {"nonsense", 1, 0, 0x51, 0},  // neither: an empty board
    };
    for (const Case &c : cases) {
        EXPECT_EQ(read_position((std::string(c.text) + "\n").c_str()), c.result) << c.text;
        EXPECT_EQ(Reverse, c.reverse) << c.text;
        EXPECT_EQ(Trunk[0].board[c.sq], c.word) << c.text;
        EXPECT_EQ(HashRecord[c.result], Trunk[0].key) << c.text;
        EXPECT_TRUE(matches_rebuild(Trunk[0])) << c.text;
    }
    read_position("startpos moves 7g7f 3c3d 8h2b+\n");
    EXPECT_EQ(Trunk[0].hand[0][KA], 1);  // the captured type comes from the board
    EXPECT_EQ(move_cap(move_reverse(Trunk[0].last_move)), KA);
    read_position("sfen 4k4/9/9/9/9/9/9/9/9 b 2P10p 1\n");
    EXPECT_EQ(Trunk[0].hand[1][FU] * 100 + Trunk[0].hand[0][FU], 210);
}

TEST(MoveNotation, ParsePrintAndShortForm)
{
    for (const char *good : {"P*5e", "S*5e", "7g7f", "8h2b+", "1i1h"}) {
        const int m = usi2move(good);
        EXPECT_EQ(usi(m), good);
        EXPECT_EQ(move_reverse(move_reverse(m)), m);
    }
    EXPECT_EQ(usi2move("s*5e"), usi2move("S*5e"));
    for (const char *bad : {"7g7", "K*5e", "X*5e", "resign", ""})
        EXPECT_EQ(usi2move(bad), 0) << bad;
    EXPECT_EQ(usi(0), "pass");
    // The book's short form: file 1 squares have codes 11..19 and must not be read as drops.
    read_position("startpos moves 7g7f 3c3d\n");
    Trunk[0].hand[1][FU] = 1;
    for (int move : {make_move(0x88, 0x22, KA, KA, true), make_move(0x88, 0x22, KA, KA, false),
                     make_move(0x19, 0x18, KY, 0, false), make_move(0x59, 0x58, OU, 0, false),
                     make_move(0, 0x55, FU, 0, false)})
        EXPECT_EQ(smove2move(move2smove(move)), move);
}

// The same game entered as "startpos moves ..." and as an SFEN of a middle position
// followed by the remaining moves must give the same root, whoever is to move.
TEST(PositionCommand, SfenOfEitherSideEqualsMoveList)
{
    int compared = 0;
    const auto &games = test_games();
    for (std::size_t gi = 0; gi < games.size(); gi += 7) {
        const GameRecord &g = games[gi];
        SimpleBoard board;
        for (std::size_t k = 0; k + 3 < g.moves.size(); k++) {
            if (k % 9 == 0) {
                for (std::size_t extra = 0; extra < 3; extra++) {
                    std::string text = "sfen " + board.sfen();
                    if (extra) {
                        text += " moves";
                        for (std::size_t j = 0; j < extra; j++)
                            text += " " + g.moves[k + j];
                    }
                    read_position((text + "\n").c_str());
                    const Position from_sfen = Trunk[0];
                    const int reverse_sfen = Reverse;
                    read_position(position_text(g, k + extra).c_str());
                    ASSERT_EQ(reverse_sfen, Reverse) << text;
                    expect_same_root(from_sfen, Trunk[0], text);
                    if (!extra) {  // and the engine's own SFEN writer gives the text back
                        EXPECT_EQ("sfen " + write_sfen(Reverse ? turned(Trunk[0]) : Trunk[0], Reverse != 0, 1), text);
                    }
                    compared++;
                }
            }
            board.play(g.moves[k]);
        }
    }
    EXPECT_GT(compared, 300);
}

// A bad move ends the list there: the moves before it stand.
TEST(PositionCommand, BadMovesEndTheListThere)
{
    const std::string start = "startpos moves 7g7f 3c3d ", drops = "sfen 4k4/9/9/9/9/9/4P4/9/4K4 b PNL 1 moves ";
    const std::pair<std::string, int> cases[] = {
        {start + "xx 2g2f", 2},      // not a move
        {start + "5e5d 2g2f", 2},    // from an empty square
        {start + "3d3e 2g2f", 2},    // the opponent's piece
        {start + "P*5e 2g2f", 2},    // nothing in hand
        {start + "9i9g 2g2f", 2},    // onto its own pawn
        {start + "2h2c 2g2f", 2},    // the rook cannot get there
        {start + "6i5i 2g2f", 2},    // onto its own king
        {start + "7i6h+ 2g2f", 2},   // promotion outside the zone
        {start + "5i5h+ 2g2f", 2},   // a king cannot promote
        {start + "0a0b 2g2f", 2},    // off the board
        {"startpos moves 7g7f  3c3d ", 2},  // doubled and trailing blanks are harmless
        {"startpos moves", 1},
        {drops + "P*5e", 1},         // a second pawn on the file
        {drops + "P*1a", 1},         // dead ranks
        {drops + "N*1b", 1},
        {drops + "L*2a", 1},
    };
    for (const auto &[text, played] : cases) {
        EXPECT_EQ(read_position((text + "\n").c_str()), played) << text;
        EXPECT_EQ(Reverse, 0) << text;
        EXPECT_TRUE(matches_rebuild(Trunk[0])) << text;
    }
    EXPECT_EQ(read_position((drops + "N*1c\n").c_str()), 1);
    EXPECT_EQ(Reverse, 1);
}

TEST(PositionCommand, MoreThanFiveHundredMovesAreCut)
{
    std::string text = "startpos moves";
    for (int i = 0; i < 126; i++)
        text += " 5i4h 5a4b 4h5i 4b5a";
    ASSERT_EQ(read_position((text + "\n").c_str()), 500);
    EXPECT_EQ(Reverse, 0);
    EXPECT_EQ(Trunk[0].king[1], 0x59);
    EXPECT_TRUE(matches_rebuild(Trunk[0]));
}

TEST(PositionCommand, BadSfenKeepsThePreviousRoot)
{
    read_position("startpos moves 7g7f 3c3d\n");
    const Position before = Trunk[0];
    for (const char *bad : {
             "sfen lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL1 b - 1\n",  // ten squares
             "sfen 9/9/9/9/9/9/9/9/9/9 b - 1\n",                                          // ten ranks
             "sfen 4k4/9/9/9/9/9/9/9/4K4 b 99P 1\n",                                       // too many pawns
             "sfen 4k4/9/9/9/9/9/9/9/4K4 b 19P 1\n",
             "sfen 4k4/9/9/9/9/9/9/9/3+GK4 b - 1\n",                                       // promoted gold
             "sfen N3k4/9/9/9/9/9/9/9/4K4 b - 1\n",                                        // knight on rank 1
             "sfen 4k4/9/9/9/9/9/9/9/4n4 b - 1\n",                                         // gote knight on rank 9
             "sfen 4k4/9/9/9/9/9/9/9/KK7 b - 1\n",                                         // two kings
             "sfen 4k4/9/9/9/9/9/9/9/+\n",
         }) {
        EXPECT_EQ(read_position(bad), -1) << bad;
        expect_same_root(before, Trunk[0], bad);
        EXPECT_EQ(Reverse, 0);
    }
}

TEST(PositionCommand, GameHistoryComesFromThisCommandOnly)
{
    const GameRecord &g = test_games()[3];
    const std::size_t n = 40;
    read_position("startpos moves 5i4h 5a4b 4h5i 4b5a 5i4h 5a4b 4h5i 4b5a 5i4h 5a4b 4h5i 4b5a\n");
    read_position(position_text(g, n).c_str());
    std::vector<std::uint64_t> keys(HashRecord, HashRecord + GAME_RECORD_SIZE);
    // Positions with the same side to move are entered in the same view: the history
    // holds exactly the keys the command would give for the shorter games.
    for (std::size_t k = n; k >= 2; k -= 2) {
        read_position(position_text(g, k).c_str());
        EXPECT_EQ(keys[k], Trunk[0].key) << k;
    }
    for (std::size_t k = n + 1; k < GAME_RECORD_SIZE; k++)
        ASSERT_EQ(keys[k], 0u) << k;  // nothing left of the longer, earlier game
    // A check is recorded against the move that gave it.
    read_position("sfen 4k4/9/9/9/9/9/9/9/4K4 b G 1 moves G*5b\n");
    EXPECT_EQ(CheckRecord[1], 1);
    read_position("sfen 4k4/9/9/9/9/9/9/9/4K4 b G 1 moves G*1b\n");
    EXPECT_EQ(CheckRecord[1], 0);
}

}  // namespace
