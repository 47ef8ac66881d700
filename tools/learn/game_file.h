// Game files: whole games with a teacher's score for every ply, the network's training data.
//
// A file is a sequence of game records, little-endian, no file header (files may be
// concatenated; a file named *.gz is read through gzip):
//   u16 magic 0x4751
//   u32 game id
//   u8  kind: bits 0-3 who played (0 qvn self-play, 1 qvn against fairy-stockfish,
//       2 qvn against gpsusi); bit 4: qvn played the second player against a peer
//   i8  result: +1 the first player won, -1 the second won, 0 draw or unknown
//   u8  L, then L bytes: the start position as an SFEN (L = 0: the initial position)
//   u16 N plies, then N x (u16 move, i16 score)
// move: bits 0-6 the destination (file - 1) * 9 + (rank - 1); bits 7-13 the origin in the
// same numbering, or 81 + (k - 1) for a drop of piece k (P L N S G B R, k = 1..7); bit 14
// promote. score: the teacher's score of the position before the move, side to move's
// view, in the teacher's centipawns, mates as +-(32000 - distance); -32768: no score.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "board/position.h"

constexpr std::uint16_t GAME_MAGIC = 0x4751;
constexpr std::int16_t GAME_NO_SCORE = -32768;
constexpr int GAME_KIND_SELF_PLAY = 0, GAME_KIND_FAIRY_STOCKFISH = 1, GAME_KIND_GPSUSI = 2;
constexpr int GAME_KIND_QVN_SECOND = 0x10;

struct GamePly {
    std::uint16_t move = 0;
    std::int16_t score = GAME_NO_SCORE;
};

struct GameData {
    std::uint32_t id = 0;
    std::uint8_t kind = 0;
    std::int8_t result = 0;
    std::string sfen;            // empty: the initial position
    std::vector<GamePly> plies;
};

// The record's bytes appended to out; false when the SFEN or the ply count does not fit.
bool encode_game(const GameData &g, std::vector<std::uint8_t> *out);
// Writes (or appends) games to path; false when it cannot.
bool write_games(const char *path, const std::vector<GameData> &games, bool append);

// Reads game records one at a time. A last record cut short (a file still being written)
// ends the reading quietly: truncated() tells. A bad magic ends it with error() set.
class GameReader {
  public:
    explicit GameReader(const char *path);
    ~GameReader();
    GameReader(const GameReader &) = delete;
    GameReader &operator=(const GameReader &) = delete;
    bool next(GameData *g);
    bool truncated() const { return truncated_; }
    const std::string &error() const { return error_; }

  private:
    bool read(void *buf, std::size_t n);  // false at the end (a part read sets truncated_)
    std::FILE *f_ = nullptr;
    bool pipe_ = false, truncated_ = false;
    std::string error_;
};
// Every game of path (all whole records).
std::vector<GameData> read_games(const char *path, std::string *error = nullptr);

// The USI text of a 16-bit move ("" when it is not one).
std::string move16_usi(std::uint16_t m);
// The 16-bit move of a USI move text (0 when it is not one).
std::uint16_t usi_move16(const char *usi);

// One position of a replayed game.
struct ReplayedPosition {
    Position pos;         // as the engine searches it: side to move is side 1 (turned when
                          // the second player is to move), pins, attacks and keys made
    int ply = 0;          // moves played before it
    int score = GAME_NO_SCORE;  // the teacher's, side to move's view
    int result = 0;       // the game's result for the side to move: +1 won, -1 lost, 0 draw
    bool in_check = false;
    bool capture = false; // the move played from it takes a piece
    int move = 0;         // that move, in pos's view (piece and captured filled in)
    bool second_to_move = false;  // the real side to move is the second player
};

// Sets up the game's start and plays its moves, calling fn for every position before a
// move. Stops with false (and *error) at a start or a move that cannot be played.
// Uses the engine's position command for the start (it sets Trunk[0]).
bool replay_game(const GameData &g, const std::function<void(const ReplayedPosition &)> &fn,
                 std::string *error = nullptr);

// The same position turned 180 degrees with the sides exchanged, keys, attacks, kings and
// pins computed.
Position turned(const Position &p);
