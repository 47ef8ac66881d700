#include "board/notation.h"

#include <cctype>
#include <cstring>

#include "board/attack.h"

namespace {

// Pieces of each unpromoted type in a full set, king included.
constexpr int piece_total[9] = {0, 18, 4, 4, 4, 4, 2, 2, 2};

int letter_type(char c)
{
    switch (std::toupper(static_cast<unsigned char>(c))) {
    case 'P': return FU;
    case 'L': return KY;
    case 'N': return KE;
    case 'S': return GI;
    case 'G': return KI;
    case 'B': return KA;
    case 'R': return HI;
    case 'K': return OU;
    default: return 0;
    }
}

// Ranks from side's far edge: 1 on the last rank it moves toward.
int rank_from_edge(int side, int sq) { return side ? (sq & 15) : 10 - (sq & 15); }

// A pawn or lance on the last rank, or a knight on the last two, could never move again.
bool dead_square(int side, int type, int sq)
{
    const int r = rank_from_edge(side, sq);
    return ((type == FU || type == KY) && r == 1) || (type == KE && r <= 2);
}

bool can_promote(int type) { return type != 0 && type < OU && type != KI; }

}  // namespace

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

int usi2move(const char *t)
{
    if (t[0] >= '0' && t[0] <= '9' && t[1] >= 'a' && t[1] <= 'i') {
        if (!(t[2] >= '0' && t[2] <= '9' && t[3] >= 'a' && t[3] <= 'i'))
            return 0;
        const int from = (t[0] - '0') * 16 + (t[1] - 'a' + 1);
        const int to = (t[2] - '0') * 16 + (t[3] - 'a' + 1);
        return from | (to << 8) | (t[4] == '+' ? MOVE_PROMOTE : 0);
    }
    if (t[0] && t[1] == '*') {
        const int type = letter_type(t[0]);
        if (type == 0 || type == OU)
            return 0;
        if (!(t[2] >= '0' && t[2] <= '9' && t[3] >= 'a' && t[3] <= 'i'))
            return 0;
        return (((t[2] - '0') * 16 + (t[3] - 'a' + 1)) << 8) | (type << 16);
    }
    return 0;
}

void move2usi(int move, char *buf)
{
    if (move == 0) {
        std::strcpy(buf, "pass");
        return;
    }
    const int from = move_from(move), to = move_to(move);
    if (from) {
        buf[0] = static_cast<char>('0' + (from >> 4));
        buf[1] = static_cast<char>('a' - 1 + (from & 15));
        buf[2] = static_cast<char>('0' + (to >> 4));
        buf[3] = static_cast<char>('a' - 1 + (to & 15));
        buf[4] = move_is_promote(move) ? '+' : 0;
        buf[5] = 0;
    } else {
        buf[0] = " PLNSGBR"[move_piece(move) & 7];
        buf[1] = '*';
        buf[2] = static_cast<char>('0' + (to >> 4));
        buf[3] = static_cast<char>('a' - 1 + (to & 15));
        buf[4] = 0;
    }
}

std::string write_sfen(const Position &p, bool gote_to_move, int move_number)
{
    static constexpr char letters[] = " PLNSGBRK";
    const auto lower = [](char c) { return static_cast<char>(c - 'A' + 'a'); };
    std::string s;
    for (int rank = 1; rank <= 9; rank++) {
        int empty = 0;
        for (int file = 9; file >= 1; file--) {
            const int w = p.board[file * 16 + rank];
            if (!w) {
                empty++;
                continue;
            }
            if (empty)
                s += static_cast<char>('0' + empty), empty = 0;
            if ((w & 15) > OU)
                s += '+';
            const char c = letters[(w & 15) == OU ? OU : (w & 7)];
            s += (w & 16) ? c : lower(c);
        }
        if (empty)
            s += static_cast<char>('0' + empty);
        if (rank < 9)
            s += '/';
    }
    s += gote_to_move ? " w " : " b ";
    std::string hands;
    for (int side : {1, 0})
        for (int t = HI; t >= FU; t--)
            if (const int n = p.hand[side][t]) {
                if (n > 1)
                    hands += std::to_string(n);
                hands += side ? letters[t] : lower(letters[t]);
            }
    return s + (hands.empty() ? "-" : hands) + " " + std::to_string(move_number);
}

const char *parse_sfen(const char *s, Position *p, bool *gote_to_move, const char **rest)
{
    clear_board(p);
    int rank = 1, file = 9;
    for (; *s && *s != ' ' && *s != '\n'; s++) {
        if (*s == '/') {
            if (++rank > 9)
                return "too many ranks";
            file = 9;
            continue;
        }
        if (*s >= '1' && *s <= '9') {
            file -= *s - '0';
            if (file < 0)
                return "too many squares in a rank";
            continue;
        }
        bool promoted = false;
        if (*s == '+') {
            promoted = true;
            if (!*++s || *s == ' ' || *s == '\n')
                return "'+' without a piece";
        }
        if (file < 1)
            return "too many squares in a rank";
        const int type = letter_type(*s);
        const int sq = file * 16 + rank;
        file--;
        if (!type)
            continue;  // any other character stands for an empty square
        if (promoted && !can_promote(type))
            return "a piece that cannot promote is marked '+'";
        const int side = std::isupper(static_cast<unsigned char>(*s)) ? 1 : 0;
        if (!promoted && dead_square(side, type, sq))
            return "a piece stands where it could never move";
        p->board[sq] = colour(side) | type | (promoted ? PROMOTE : 0);
    }
    while (*s == ' ')
        s++;
    *gote_to_move = *s == 'w';
    while (*s && *s != ' ' && *s != '\n')
        s++;
    while (*s == ' ')
        s++;
    // Hand field: optional counts of one or two digits before each letter.
    for (; *s && *s != ' ' && *s != '\n'; s++) {
        if (*s == '-')
            continue;
        int count = 1;
        if (std::isdigit(static_cast<unsigned char>(*s))) {
            count = *s++ - '0';
            if (std::isdigit(static_cast<unsigned char>(*s)))
                count = count * 10 + (*s++ - '0');
        }
        const int type = letter_type(*s);
        if (!*s || *s == ' ' || *s == '\n')
            break;
        if (type && type != OU)
            p->hand[std::isupper(static_cast<unsigned char>(*s)) ? 1 : 0][type] += count;
    }
    *rest = s;

    // Counts beyond a full set would run past the key tables of the hands.
    int total[9] = {};
    int kings[2] = {};
    for (int sq : position_tbl) {
        const int w = p->board[sq];
        if (!w)
            continue;
        const int t = (w & 15) == OU ? OU : (w & 7);
        total[t]++;
        if (t == OU)
            kings[(w & 16) ? 1 : 0]++;
    }
    for (int t = FU; t <= HI; t++)
        total[t] += p->hand[0][t] + p->hand[1][t];
    for (int t = FU; t <= OU; t++)
        if (total[t] > piece_total[t])
            return "more pieces than a set holds";
    if (kings[0] > 1 || kings[1] > 1)
        return "two kings of one side";
    return nullptr;
}

int complete_move(int move, int side, const Position *p)
{
    const int to = move_to(move);
    if (!on_board(to))
        return 0;
    if (move_from(move) == 0) {
        const int type = move_piece(move);
        if (p->board[to] != 0 || p->hand[side][type] == 0 || dead_square(side, type, to))
            return 0;
        if (type == FU)
            for (int r = 1; r <= 9; r++)
                if (p->board[(to & 0xF0) + r] == (colour(side) | FU))
                    return 0;
        return move;
    }
    const int from = move_from(move);
    if (!on_board(from))
        return 0;
    const int word = p->board[from], target = p->board[to];
    if (!(word & colour(side)) || (target & colour(side)) || (target & 15) == OU)
        return 0;
    bool reaches = false;
    for (int bits = p->attack[side][to]; bits && !reaches; bits &= bits - 1)
        reaches = attacker_square(p, side, to, __builtin_ctz(static_cast<unsigned>(bits))) == from;
    if (!reaches)
        return 0;
    const int type = word & 15;
    if (move_is_promote(move)) {
        if (!can_promote(type) || !(pro[side][from & 15] || pro[side][to & 15]))
            return 0;
    } else if (dead_square(side, type, to)) {
        return 0;
    }
    return make_move(from, to, type, target & 15, move_is_promote(move));
}
