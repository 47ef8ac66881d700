// Training positions: one fixed-size binary record a position, with its labels.
//
// A file is a plain sequence of 48-byte records, no header, little-endian:
//   bytes  0..35  the position, bit-packed (below), always with the first player to move
//                 (positions with the second player to move are stored turned, as the
//                 engine searches them)
//   bytes 36..37  score   int16, the search's (or teacher's) score, side to move's view
//   bytes 38..39  move    uint16, the searched best move in the book's short form
//   bytes 40..41  ply     uint16, moves played before the position
//   byte  42      result  int8, the game's end for the side to move: 1 won, 0 draw, -1 lost
//   byte  43      grade   uint8, the game phase the search used (0..2)
//   byte  44      teacher uint8, who gave the score: 0 the self-play search, 1 qvn's deeper
//                 search, 2 another engine (its own scale)
//   bytes 45..47  zero
// The position, bits from the low bit of byte 0 up: the 81 squares in the engine's square
// order (file 1 rank 1..9, file 2, ...), an empty square as 0, a piece as 1, its colour
// (1: first player) and its 4-bit type; then each piece in hand as 1, its colour and its
// 3-bit type; then 0. A full set of 40 pieces takes 282 of the 288 bits.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "board/position.h"

constexpr int RECORD_BYTES = 48;

struct TrainingRecord {
    std::array<std::uint8_t, 36> packed{};
    std::int16_t score = 0;
    std::uint16_t move = 0;
    std::uint16_t ply = 0;
    std::int8_t result = 0;
    std::uint8_t grade = 0;
    std::uint8_t teacher = 0;
};

enum Teacher : std::uint8_t { TEACHER_SELF_PLAY = 0, TEACHER_QVN = 1, TEACHER_ENGINE = 2 };

// Packs board and hands of p (side 1 to move); false when they do not fit (more pieces
// than a set).
bool pack_position(const Position &p, TrainingRecord *r);
// The stored position as an SFEN with the first player to move: "<board> b <hands> <ply+1>".
std::string record_sfen(const TrainingRecord &r);
// A 64-bit hash of the packed position, for removing duplicates.
std::uint64_t record_hash(const TrainingRecord &r);

void encode_record(const TrainingRecord &r, std::uint8_t out[RECORD_BYTES]);
TrainingRecord decode_record(const std::uint8_t in[RECORD_BYTES]);

// Appends records to a file (created when missing).
bool append_records(const char *path, const std::vector<TrainingRecord> &records);
// Reads every whole record of a file; a torn last record is left out and reported.
std::vector<TrainingRecord> read_records(const char *path);
