#include "movegen_util.h"

#include "board/attack.h"
#include "frontend/usi_sub.h"
#include "hash/hash.h"
#include "movegen/make_legal.h"

Position sfen_position(const std::string &sfen)
{
    read_position(("sfen " + sfen).c_str());
    return Trunk[0];
}

Position mirrored(const Position &src)
{
    Position p{};
    clear_board(&p);
    for (int sq : position_tbl) {
        const int w = src.board[sq];
        p.board[170 - sq] = w ? ((w & 15) | ((w & 16) ? 32 : 16)) : 0;
    }
    for (int t = 0; t < 8; t++) {
        p.hand[0][t] = src.hand[1][t];
        p.hand[1][t] = src.hand[0][t];
    }
    p.king[0] = src.king[1] ? 170 - src.king[1] : 0;
    p.king[1] = src.king[0] ? 170 - src.king[0] : 0;
    p.board_key = board_key_of(&p);
    p.hand_key = hand_key_of(&p);
    p.key = p.board_key ^ p.hand_key;
    AttackInit(&p);
    return p;
}

std::string usi(int move)
{
    char buf[8];
    move2usi(move, buf);
    return buf;
}

std::vector<std::string> moves_from(int side, Position p, int from)
{
    int list[MOVE_LIST_SIZE];
    const int n = MakeMove(side, &p, list);
    std::vector<std::string> out;
    for (int i = 0; i < n; i++)
        if (move_from(list[i]) == from)
            out.push_back(usi(list[i]));
    return out;
}

std::multiset<std::string> king_moves(int side, const Position &p)
{
    int list[16];
    const int n = MakeMoveKing(side, &p, list);
    std::multiset<std::string> out;
    for (int i = 0; i < n; i++)
        out.insert(usi(list[i]));
    return out;
}

std::vector<std::string> drops(int side, const Position &p)
{
    int list[MOVE_LIST_SIZE];
    const int n = MakeDrop(side, &p, list);
    std::vector<std::string> out;
    for (int i = 0; i < n; i++)
        out.push_back(usi(list[i]));
    return out;
}
