#include "board/board_print.h"

#include <cstdio>

#include "board/notation.h"
#include "log/log.h"

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
