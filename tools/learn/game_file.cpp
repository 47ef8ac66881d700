#include "tools/learn/game_file.h"

#include <cstring>

#include "board/attack.h"
#include "board/new_board.h"
#include "board/notation.h"
#include "frontend/usi_sub.h"
#include "hash/hash.h"

namespace {

constexpr const char drop_letters[] = "PLNSGBR";

void put(std::vector<std::uint8_t> *out, std::uint32_t v, int bytes)
{
    for (int k = 0; k < bytes; k++)
        out->push_back(static_cast<std::uint8_t>(v >> (8 * k)));
}

bool ends_with(const std::string &s, const char *tail)
{
    const std::size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// Board square of a 0..80 index: (file - 1) * 9 + (rank - 1).
constexpr int square_of(int index) { return (index / 9 + 1) * 16 + index % 9 + 1; }

}  // namespace

bool encode_game(const GameData &g, std::vector<std::uint8_t> *out)
{
    if (g.sfen.size() > 255 || g.plies.size() > 65535)
        return false;
    put(out, GAME_MAGIC, 2);
    put(out, g.id, 4);
    put(out, g.kind, 1);
    put(out, static_cast<std::uint8_t>(g.result), 1);
    put(out, static_cast<std::uint32_t>(g.sfen.size()), 1);
    out->insert(out->end(), g.sfen.begin(), g.sfen.end());
    put(out, static_cast<std::uint32_t>(g.plies.size()), 2);
    for (const GamePly &p : g.plies) {
        put(out, p.move, 2);
        put(out, static_cast<std::uint16_t>(p.score), 2);
    }
    return true;
}

bool write_games(const char *path, const std::vector<GameData> &games, bool append)
{
    std::vector<std::uint8_t> bytes;
    for (const GameData &g : games)
        if (!encode_game(g, &bytes))
            return false;
    std::FILE *f = std::fopen(path, append ? "ab" : "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

GameReader::GameReader(const char *path)
{
    if (ends_with(path, ".gz")) {
        // Tools run on Linux, where gzip is always there; the name is quoted for the shell.
        std::string command = "gzip -dc '";
        for (const char *c = path; *c; c++)
            command += *c == '\'' ? std::string("'\\''") : std::string(1, *c);
        command += "'";
        f_ = popen(command.c_str(), "r");
        pipe_ = true;
    } else {
        f_ = std::fopen(path, "rb");
    }
    if (!f_)
        error_ = std::string("cannot read ") + path;
}

GameReader::~GameReader()
{
    if (f_ && pipe_)
        pclose(f_);
    else if (f_)
        std::fclose(f_);
}

bool GameReader::read(void *buf, std::size_t n)
{
    const std::size_t got = std::fread(buf, 1, n, f_);
    if (got == n)
        return true;
    if (got > 0)
        truncated_ = true;
    return false;
}

bool GameReader::next(GameData *g)
{
    if (!f_ || !error_.empty())
        return false;
    std::uint8_t head[10];
    if (!read(head, 2))
        return false;
    if ((head[0] | head[1] << 8) != GAME_MAGIC) {
        error_ = "bad record magic: not a game file, or a damaged one";
        return false;
    }
    // From here on, an end of the data means a record cut short.
    auto need = [&](void *buf, std::size_t n) {
        if (read(buf, n))
            return true;
        truncated_ = true;
        return false;
    };
    if (!need(head + 2, 7))
        return false;
    g->id = head[2] | head[3] << 8 | head[4] << 16 | static_cast<std::uint32_t>(head[5]) << 24;
    g->kind = head[6];
    g->result = static_cast<std::int8_t>(head[7]);
    g->sfen.assign(head[8], ' ');
    if (head[8] && !need(g->sfen.data(), head[8]))
        return false;
    std::uint8_t count[2];
    if (!need(count, 2))
        return false;
    const std::size_t n = count[0] | count[1] << 8;
    std::vector<std::uint8_t> body(4 * n);
    if (n && !need(body.data(), body.size()))
        return false;
    g->plies.resize(n);
    for (std::size_t i = 0; i < n; i++) {
        const std::uint8_t *b = body.data() + 4 * i;
        g->plies[i].move = static_cast<std::uint16_t>(b[0] | b[1] << 8);
        g->plies[i].score = static_cast<std::int16_t>(b[2] | b[3] << 8);
    }
    return true;
}

std::vector<GameData> read_games(const char *path, std::string *error)
{
    std::vector<GameData> games;
    GameReader reader(path);
    GameData g;
    while (reader.next(&g))
        games.push_back(g);
    if (error)
        *error = reader.error();
    return games;
}

std::string move16_usi(std::uint16_t m)
{
    const int to = m & 127, from = m >> 7 & 127;
    if (to >= 81 || from >= 88 || (from >= 81 && (m & 0x4000)))
        return "";
    std::string s;
    if (from >= 81) {
        s += drop_letters[from - 81];
        s += '*';
    } else {
        s += static_cast<char>('1' + from / 9);
        s += static_cast<char>('a' + from % 9);
    }
    s += static_cast<char>('1' + to / 9);
    s += static_cast<char>('a' + to % 9);
    if (m & 0x4000)
        s += '+';
    return s;
}

std::uint16_t usi_move16(const char *t)
{
    auto square = [](const char *c) { return (c[0] >= '1' && c[0] <= '9' && c[1] >= 'a' && c[1] <= 'i') ? (c[0] - '1') * 9 + (c[1] - 'a') : -1; };
    int from;
    if (t[0] && t[1] == '*') {
        const char *k = std::strchr(drop_letters, t[0]);
        if (!k || !t[0])
            return 0;
        from = 81 + static_cast<int>(k - drop_letters);
    } else {
        from = square(t);
        if (from < 0)
            return 0;
    }
    const int to = square(t + 2);
    if (to < 0)
        return 0;
    return static_cast<std::uint16_t>(to | from << 7 | (t[4] == '+' ? 0x4000 : 0));
}

Position turned(const Position &src)
{
    Position p{};
    clear_board(&p);
    for (int sq : position_tbl) {
        const int w = src.board[sq];
        p.board[170 - sq] = w ? ((w & 15) | ((w & 16) ? 32 : 16)) : 0;
        if (w == (16 | OU))
            p.king[0] = 170 - sq;
        else if (w == (32 | OU))
            p.king[1] = 170 - sq;
    }
    for (int t = 0; t < 8; t++) {
        p.hand[0][t] = src.hand[1][t];
        p.hand[1][t] = src.hand[0][t];
    }
    set_keys(&p);
    AttackInit(&p);
    MakePin(0, &p);
    MakePin(1, &p);
    return p;
}

bool replay_game(const GameData &g, const std::function<void(const ReplayedPosition &)> &fn, std::string *error)
{
    auto fail = [&](const std::string &why) {
        if (error)
            *error = "game " + std::to_string(g.id) + ": " + why;
        return false;
    };
    const std::string start = g.sfen.empty() ? "startpos" : "sfen " + g.sfen;
    if (read_position(start.c_str()) < 0)
        return fail("bad start position " + g.sfen);
    // Played in the real orientation (side 1 the first player); turned for the second to move.
    int side = Reverse ? 0 : 1;
    Position real = Reverse ? turned(Trunk[0]) : Trunk[0];
    real.last_move = real.hash_move = real.eval = 0;
    ReplayedPosition r;
    for (std::size_t i = 0; i < g.plies.size(); i++) {
        const std::string text = move16_usi(g.plies[i].move);
        int m = text.empty() ? 0 : usi2move(text.c_str());
        if (!m)
            return fail("ply " + std::to_string(i) + ": not a move");
        const int from = move_from(m), to = move_to(m);
        const int target = real.board[to];
        if (target && ((target & colour(side)) || (target & 15) == OU))
            return fail("ply " + std::to_string(i) + ": " + text + " lands on its own piece or a king");
        if (from) {
            const int w = real.board[from];
            if (!(w & colour(side)) || (move_is_promote(m) && (w & PROMOTE || (w & 15) == KI || (w & 15) == OU)))
                return fail("ply " + std::to_string(i) + ": " + text + " moves no piece of the side to move");
            m = make_move(from, to, w & 15, target & 15, move_is_promote(m));
        } else if (target || real.hand[side][move_piece(m)] == 0) {
            return fail("ply " + std::to_string(i) + ": " + text + " drops no piece in hand");
        }
        r.pos = side ? real : turned(real);
        r.ply = static_cast<int>(i);
        r.score = g.plies[i].score;
        r.result = side ? g.result : -g.result;
        r.in_check = in_check(side, &real);
        r.capture = move_cap(m) != 0;
        r.move = side ? m : move_reverse(m);
        r.second_to_move = side == 0;
        fn(r);
        NewBoard(side, m, &real);
        MakePin(0, &real);
        MakePin(1, &real);
        side ^= 1;
    }
    return true;
}
