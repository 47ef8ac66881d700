#include "board/position.h"

#include <cstring>

Position Trunk[MAX_PLY + 1];
int Reverse;
int nMoves;

void clear_board(Position *p)
{
    std::memset(p->board, 0, sizeof p->board);
    std::memset(p->hand, 0, sizeof p->hand);
    for (int r = 0; r <= 10; r++) {
        p->board[r] = WALL;          // file 0
        p->board[160 + r] = WALL;    // file 10
    }
    for (int f = 1; f <= 9; f++) {
        p->board[f * 16] = WALL;
        p->board[f * 16 + 10] = WALL;
    }
}

void set_initial_board(Position *p)
{
    clear_board(p);
    static constexpr int back_rank[10] = {0, KY, KE, GI, KI, OU, KI, GI, KE, KY};
    for (int f = 1; f <= 9; f++) {
        p->board[f * 16 + 9] = 16 | back_rank[f];
        p->board[f * 16 + 7] = 16 | FU;
        p->board[f * 16 + 1] = 32 | back_rank[f];
        p->board[f * 16 + 3] = 32 | FU;
    }
    p->board[0x28] = 16 | HI;
    p->board[0x88] = 16 | KA;
    p->board[0x82] = 32 | HI;
    p->board[0x22] = 32 | KA;
}
