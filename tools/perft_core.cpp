#include "tools/perft_core.h"

#include "board/new_board.h"
#include "board/position.h"
#include "movegen/drop_fu_mate.h"
#include "movegen/make_evasion.h"
#include "movegen/make_legal.h"

int legal_moves(int ply, int side, int *list)
{
    Position *p = &Trunk[ply];
    const int own_king = p->king[side];
    const int checkers = own_king ? p->attack[side ^ 1][own_king] : 0;
    int n;
    if (checkers) {
        n = MakeEvasion(side, p, checkers, list);
    } else {
        n = MakeMove(side, p, list);
        n += MakeDrop(side, p, list + n);
    }
    // Only a pawn dropped right in front of the enemy king can mate by a pawn drop.
    const int enemy_king = p->king[side ^ 1];
    if (enemy_king && p->hand[side][FU]) {
        const int fu_drop = ((enemy_king - delta[side][0]) << 8) | (FU << 16);
        for (int i = 0; i < n; i++) {
            if (list[i] != fu_drop)
                continue;
            Position *child = &Trunk[ply + 1];
            *child = *p;
            NewBoard(side, fu_drop, child);
            if (DropFuMate(side ^ 1, child)) {
                for (int j = i + 1; j < n; j++)
                    list[j - 1] = list[j];
                n--;
            }
            break;
        }
    }
    return n;
}

std::uint64_t perft(int ply, int side, int depth)
{
    int list[MOVE_LIST_SIZE];
    const int n = legal_moves(ply, side, list);
    if (depth <= 1)
        return static_cast<std::uint64_t>(n);
    std::uint64_t total = 0;
    Position *child = &Trunk[ply + 1];
    for (int i = 0; i < n; i++) {
        *child = Trunk[ply];
        child->last_move = list[i];
        NewBoard(side, list[i], child);
        total += perft(ply + 1, side ^ 1, depth - 1);
    }
    return total;
}
