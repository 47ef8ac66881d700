#include "board/new_board.h"

#include "board/attack.h"
#include "hash/hash.h"

void NewBoard(int side, int move, Position *p)
{
    const int from = move_from(move), to = move_to(move);
    const int piece = move_piece(move), captured = move_cap(move);
    const int placed = move_is_promote(move) ? piece | PROMOTE : piece;

    if (from) {
        // The piece's own attacks go while it still stands there; slides through from continue.
        AttackClr(side, from, p);
        AttackJmpSet(from, p);
        p->board[from] = 0;
        p->board_key ^= hash_seed[side * 16 + piece][from];
        if (captured) {
            AttackClr(side ^ 1, to, p);
            const int t = captured & 7;       // a promoted piece goes to the hand demoted
            const int n = p->hand[side][t];
            p->hand_key ^= hand_hash_seed[side * 8 + t][n] ^ hand_hash_seed[side * 8 + t][n + 1];
            p->hand[side][t] = n + 1;
            p->board_key ^= hash_seed[(side ^ 1) * 16 + captured][to];
        }
        if (placed == OU)
            p->king[side] = to;
    } else {
        const int n = p->hand[side][piece];
        p->hand_key ^= hand_hash_seed[side * 8 + piece][n] ^ hand_hash_seed[side * 8 + piece][n - 1];
        p->hand[side][piece] = n - 1;
    }

    p->board_key ^= hash_seed[side * 16 + placed][to];
    p->board[to] = colour(side) | placed;
    // Cut the slides at to before the arriving piece adds its own.
    AttackJmpClr(to, p);
    AttackSet(side, to, p);
    p->key = p->board_key ^ p->hand_key;
}
