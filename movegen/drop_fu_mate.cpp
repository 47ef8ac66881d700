#include "movegen/drop_fu_mate.h"

#include "board/attack.h"
#include "movegen/make_legal.h"
#include "movegen/move_to.h"

int DropFuMate(int side, Position *p)
{
    int list[40];  // at most 8 king moves, or two moves per attack bit (18 bits)
    if (MakeMoveKing(side, p, list) > 0)
        return 0;
    const int pawn = p->king[side] + delta[side][0];
    // Only the king defends the pawn's square (one step forward from behind it), and the
    // king cannot take it.
    if (p->attack[side][pawn] == 1)
        return 1;
    MakePin(side, p);
    return MoveTo(side, p, pawn, list, 0) == 0 ? 1 : 0;
}
