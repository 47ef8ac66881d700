#include "frontend/usi_sub.h"

#include <cstdio>
#include <cstring>

#include "board/attack.h"
#include "board/board_print.h"
#include "board/new_board.h"
#include "board/notation.h"
#include "hash/hash.h"
#include "log/log.h"
#include "search/qvn.h"

namespace {

void report(const char *fmt, const char *detail)
{
    std::fprintf(stderr, fmt, detail);
    std::fputc('\n', stderr);
    lprintf(fmt, detail);
    lprintf("\n");
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
