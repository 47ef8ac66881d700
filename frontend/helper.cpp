#include "frontend/helper.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>

#include "log/log.h"
#include "platform/platform.h"

int GetConfInt(const char *key, int default_value, const char *file_name)
{
    std::FILE *fp = std::fopen(file_name, "r");
    if (!fp)
        return default_value;
    char lkey[64];
    std::snprintf(lkey, sizeof lkey, "%s", key);
    for (char *c = lkey; *c; c++)
        *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    int value = default_value;
    char line[63];  // lines are read in pieces of at most 62 characters
    while (std::fgets(line, sizeof line, fp)) {
        if (line[0] == '#')
            continue;
        for (char *c = line; *c; c++)
            *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
        const char *at = std::strstr(line, lkey);
        if (!at)
            continue;
        const char *eq = std::strchr(at, '=');
        if (eq)
            value = std::atoi(eq + 1);
        break;
    }
    std::fclose(fp);
    return value;
}

unsigned my_rand()
{
    // Some virtual machines step the counter in multiples of a constant, so its low bits
    // alone are no random number: mix all of them in.
    std::uint64_t z = time_stamp_counter();
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return static_cast<unsigned>(z ^ (z >> 31));
}

int move_reverse(int move)
{
    if (move == 0)
        return 0;
    return (move & 0xFFF0000) - (move & 0xFFFF) + (move_from(move) ? 0xAAAA : 0xAA00);
}

namespace {
int square_code(int sq) { return (sq >> 4) * 10 + (sq & 15); }
int code_square(int code) { return (code / 10) * 16 + code % 10; }
}  // namespace

int move2smove(int move)
{
    const int to_code = square_code(move_to(move)) << 7;
    if (move_from(move) == 0)
        return to_code + move_piece(move);
    return to_code + square_code(move_from(move)) + (move_is_promote(move) ? 0x4000 : 0);
}

int smove2move(int smove)
{
    const int from = code_square(smove & 0x7F);
    const int to = code_square((smove >> 7) & 0x7F);
    if (from <= 16)  // a drop: the from code is the dropped type
        return (to << 8) | (from << 16);
    if (!on_board(from) || !on_board(to))
        return 0;
    const Position &root = Trunk[0];
    return make_move(from, to, root.board[from] & 15, root.board[to] & 15, (smove & 0x4000) != 0);
}

namespace {
constexpr const char *rank_label[10] = {"", "一", "二", "三", "四", "五", "六", "七", "八", "九"};

// Square word of the real square f,r as the game stands.
int real_square_word(const Position *p, int sq) { return p->board[Reverse ? 170 - sq : sq]; }

void print_hand(const int *hand)
{
    for (int t = HI; t >= FU; t--)
        lprintf("%s%d ", koma[t], hand[t]);
}
}  // namespace

void PrintBoard(const Position *p)
{
    lputs(" ９ ８ ７ ６ ５ ４ ３ ２ １");
    const int second_colour = Reverse ? 16 : 32;
    for (int r = 1; r <= 9; r++) {
        char row[160];
        int len = 0;
        for (int f = 9; f >= 1; f--) {
            const int w = real_square_word(p, f * 16 + r);
            len += std::snprintf(row + len, sizeof row - len, "%c%s", (w & second_colour) ? 'v' : ' ',
                                 koma[w & 15]);
        }
        lprintf("%s%s\n", row, rank_label[r]);
    }
    const int first = Reverse ? 0 : 1;
    lprintf("\n▲ ");
    print_hand(p->hand[first]);
    lprintf("\n△ ");
    print_hand(p->hand[first ^ 1]);
    lputs("\n");
}

void MovePrint(const int *moves, int n, const int *values)
{
    for (int i = 0; i < n; i++) {
        const int m = Reverse ? move_reverse(moves[i]) : moves[i];
        const char *mark = move_is_promote(m) ? "成" : "";
        if (n == 1)
            lprintf("%02x%s%2s(%02x) c=%s\n", move_to(m), koma[move_piece(m)], mark, move_from(m),
                    koma[move_cap(m)]);
        else
            lprintf("%3d %02x%s%2s(%02x) c=%s [%d]\n", i, move_to(m), koma[move_piece(m)], mark,
                    move_from(m), koma[move_cap(m)], values ? values[i] : 0);
    }
}

void PrintAttack(const Position *p)
{
    lputs("       my      利きの数       you");
    lputs(" ９８７６５４３２１     ９８７６５４３２１");
    auto word = [&](int side, int f, int r) { return p->attack[side][Reverse ? 170 - (f * 16 + r) : f * 16 + r]; };
    for (int r = 1; r <= 9; r++) {
        for (int f = 9; f >= 1; f--)
            lprintf("%2d", __builtin_popcount(word(1, f, r)));
        lprintf(" %s  ", rank_label[r]);
        for (int f = 9; f >= 1; f--)
            lprintf("%2d", __builtin_popcount(word(0, f, r)));
        lprintf(" %s\n", rank_label[r]);
    }
    for (int side = 1; side >= 0; side--) {
        lputs(side ? "my" : "you");
        for (int r = 1; r <= 9; r++) {
            for (int f = 9; f >= 1; f--)
                lprintf("%05x ", word(side, f, r));
            lprintf("\n");
        }
    }
}

void PrintPin(const Position *p)
{
    for (int sq : position_tbl) {
        const int shown = Reverse ? 170 - sq : sq;
        if (p->pin[1][sq] != 255)
            lprintf("my  pin %02x%s %02x\n", shown, koma[p->board[sq] & 15], p->pin[1][sq]);
        if (p->pin[0][sq] != 255)
            lprintf("you pin %02x%s %02x\n", shown, koma[p->board[sq] & 15], p->pin[0][sq]);
    }
}
