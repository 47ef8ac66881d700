#include "movegen/make_evasion.h"

#include "board/attack.h"
#include "movegen/gen_util.h"
#include "movegen/make_legal.h"
#include "movegen/move_to.h"

using namespace gen;

namespace {

template <int S>
int make_evasion(Position *p, int checkers, int *list)
{
    int *out = list;
    out += MakeMoveKing(S, p, out);
    if (checkers & (checkers - 1))
        return static_cast<int>(out - list);  // double check: only the king can answer
    MakePin(S, p);

    const int k = p->king[S];
    const int bit = __builtin_ctz(static_cast<unsigned>(checkers));
    if (bit < 8 || bit >= 16) {
        out += MoveTo(S, p, k + step<S>(bit), out, 0);
        return static_cast<int>(out - list);
    }
    const int dir = step<S>(bit - 8);
    int between[8];
    int n = 0;
    int checker = k + dir;
    while (p->board[checker] == 0) {
        between[n++] = checker;
        checker += dir;
    }
    out += MoveTo(S, p, checker, out, 0);
    for (int i = 0; i < n; i++)
        out += MoveTo(S, p, between[i], out, 0);
    if (n == 0)
        return static_cast<int>(out - list);

    const int *hand = p->hand[S];
    for (int i = 0; i < n; i++) {
        const int sq = between[i];
        const int r = edge_rank<S>(sq);
        if (hand[FU] && r >= 2) {
            const int file = sq & 0xF0;
            bool pawn_on_file = false;
            for (int rank = S ? 2 : 1; rank <= (S ? 9 : 8); rank++)
                pawn_on_file |= p->board[file + rank] == (OWN<S> | FU);
            if (!pawn_on_file)
                *out++ = drop_word(sq, FU);
        }
        if (hand[KY] && r >= 2)
            *out++ = drop_word(sq, KY);
        if (hand[KE] && r >= 3)
            *out++ = drop_word(sq, KE);
        for (int type = GI; type <= HI; type++)
            if (hand[type])
                *out++ = drop_word(sq, type);
    }
    return static_cast<int>(out - list);
}

}  // namespace

int MakeEvasion(int side, Position *p, int checkers, int *list)
{
    return side ? make_evasion<1>(p, checkers, list) : make_evasion<0>(p, checkers, list);
}
