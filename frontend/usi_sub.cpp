#include "frontend/usi_sub.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "board/attack.h"
#include "board/new_board.h"
#include "frontend/helper.h"
#include "hash/hash.h"
#include "log/log.h"
#include "search/qvn.h"

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

void report(const char *fmt, const char *detail)
{
    std::fprintf(stderr, fmt, detail);
    std::fputc('\n', stderr);
    lprintf(fmt, detail);
    lprintf("\n");
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

// Reads the board and hand fields of an SFEN into p (sente as side 1). Sets *gote_to_move
// and *rest to the text after the hand field. Returns an error text, or nullptr.
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

// Fills in piece and captured of a board move and checks that side can make it in p:
// its own piece, a square it really reaches, not onto its own piece or a king, legal
// promotion. Drops: a piece in hand onto an empty square, no dead rank, no second pawn.
// (Whether the mover's king is left in check is not tested.)
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

// The same position turned 180 degrees with the sides exchanged.
void mirror_position(const Position *src, Position *dst)
{
    clear_board(dst);
    for (int sq : position_tbl) {
        const int w = src->board[sq];
        dst->board[170 - sq] = w ? ((w & 15) | ((w & 16) ? 32 : 16)) : 0;
    }
    for (int t = 0; t < 8; t++) {
        dst->hand[0][t] = src->hand[1][t];
        dst->hand[1][t] = src->hand[0][t];
    }
}

void find_kings(Position *p)
{
    p->king[0] = p->king[1] = 0;
    for (int sq : position_tbl) {
        if (p->board[sq] == (16 | OU))
            p->king[1] = sq;
        else if (p->board[sq] == (32 | OU))
            p->king[0] = sq;
    }
}

}  // namespace

namespace {

void set_up_start(Position *p)
{
    set_keys(p);
    AttackInit(p);
    find_kings(p);
    p->last_move = p->hash_move = p->eval = 0;
}

// The game's history for the repetition rules, rebuilt from the moves of this command
// alone, so that nothing of an earlier game (or of a game the engine did not follow from
// its start) is ever taken for a repetition.
void record_history(int index, const Position *p, int mover)
{
    HashRecord[index] = p->key;
    BoardRecord[index] = p->board_key;
    HandRecord[index] = hand_count(p, 1);
    CheckRecord[index] = gives_check(mover, p) ? 1 : 0;
}

}  // namespace

int read_position(const char *text)
{
    static Position start, work;  // a bad command must leave the old root intact
    static int moves[MAX_GAME_MOVES];
    const char *moves_start = text;
    bool gote_to_move = false;
    if (std::strstr(text, "startpos")) {
        set_initial_board(&start);
    } else if (const char *sfen = std::strstr(text, "sfen")) {
        const char *err = parse_sfen(sfen[4] ? sfen + 5 : sfen + 4, &start, &gote_to_move, &moves_start);
        if (err) {
            report("position ignored: bad sfen (%s)", err);
            return -1;
        }
    } else {
        clear_board(&start);
    }
    set_up_start(&start);
    work = start;

    // Check the moves with the real first player as side 1, stopping at the first bad one.
    const int first_side = gote_to_move ? 0 : 1;
    int side = first_side;
    int n = 0;
    const char *list = std::strstr(moves_start, "moves");
    if (list) {
        const char *tok = list + 5;
        for (;;) {
            while (*tok == ' ')
                tok++;  // empty tokens from doubled blanks are skipped
            if (!*tok || *tok == '\n')
                break;
            const int len = static_cast<int>(std::strcspn(tok, " \n"));
            char token[16];
            std::snprintf(token, sizeof token, "%.*s", len < 15 ? len : 15, tok);
            if (n == MAX_GAME_MOVES) {
                report("position: more than 500 moves, the rest is ignored (from %s)", token);
                break;
            }
            const int m = len <= 5 ? complete_move(usi2move(token), side, &work) : 0;
            if (!m) {
                report("position: move '%s' is not possible here; the moves before it are kept", token);
                break;
            }
            NewBoard(side, m, &work);
            moves[n++] = m;
            side ^= 1;
            tok += len;
        }
    }

    // The engine always moves as side 1: turn the game when the second player is to move,
    // then play it again in that view, recording every position on the way.
    Reverse = side == 0;
    Position &root = Trunk[0];
    if (Reverse) {
        mirror_position(&start, &root);
        set_up_start(&root);
    } else {
        root = start;
    }
    for (int i = 0; i < n; i++) {
        const int mover = ((first_side ^ (i & 1)) == 1) != (Reverse != 0) ? 1 : 0;
        const int m = Reverse ? move_reverse(moves[i]) : moves[i];
        NewBoard(mover, m, &root);
        root.last_move = m;
        record_history(i + 1, &root, mover);
    }
    for (int k = n + 1; k < GAME_RECORD_SIZE; k++) {
        HashRecord[k] = BoardRecord[k] = 0;
        HandRecord[k] = CheckRecord[k] = 0;
    }
    root.hash_move = root.eval = 0;
    MakePin(0, &root);
    MakePin(1, &root);

    if (n > 0) {
        char line[75];
        std::memset(line, '=', 74);
        line[74] = 0;
        lputs(line);
        lprintf("%s %d手目 ", Reverse ? "▲" : "△", n);
        MovePrint(&root.last_move, 1, nullptr);
        PrintBoard(&root);
    }
    const int number = n > 0 ? n : 1;
    HashRecord[number] = root.key;
    return number;
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
