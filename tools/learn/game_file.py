"""Game files: training games as their start and, per ply, the move and the teacher's score.

A file is a sequence of game records, little-endian, with no file header, so files can be
concatenated (tools/learn/game_file.h reads the same layout):

    u16 magic 0x4751
    u32 game id
    u8  kind: bits 0-3 the players (KIND_*), bit 4 set when qvn played white against a peer
    i8  result: +1 black won, -1 white won, 0 draw or unknown
    u8  L, then L bytes: the start as an SFEN (L = 0: the initial position)
    u16 N, then N x (u16 move, i16 score)

A move is bits 0-6 its destination, (file - 1) * 9 + (rank - 1), bits 7-13 its origin in the
same numbering or 81 + (k - 1) for a drop of the k-th of P L N S G B R, bit 14 a promotion.
A score is the teacher's of the position before that ply's move, from the side to move's view,
in the teacher's centipawns; a mate is +-(32000 - distance); NO_SCORE marks a ply without one.
"""

import struct

MAGIC = 0x4751
NO_SCORE = -32768
MATE = 32000
KIND_SELFPLAY, KIND_FSF, KIND_GPS = 0, 1, 2
KIND_QVN_WHITE = 0x10
DROP_ORDER = "PLNSGBR"


def square_index(text):
    return (int(text[0]) - 1) * 9 + (ord(text[1]) - ord("a"))


def square_text(index):
    return "%d%s" % (index // 9 + 1, chr(ord("a") + index % 9))


def encode_move(usi):
    """The 16-bit word of a USI move ("7g7f", "2b3c+", "P*5e")."""
    if usi[1] == "*":
        origin = 81 + DROP_ORDER.index(usi[0])
    else:
        origin = square_index(usi[0:2])
    word = square_index(usi[2:4]) | (origin << 7)
    if usi.endswith("+"):
        word |= 1 << 14
    return word


def decode_move(word):
    to, origin = word & 127, (word >> 7) & 127
    head = DROP_ORDER[origin - 81] + "*" if origin >= 81 else square_text(origin)
    return head + square_text(to) + ("+" if word & (1 << 14) else "")


def clamp_score(score):
    return max(-MATE, min(MATE, score))


class Game:
    def __init__(self, gid, kind, result, start, moves, scores):
        self.gid, self.kind, self.result, self.start = gid, kind, result, start
        self.moves, self.scores = moves, scores

    def __eq__(self, other):
        return vars(self) == vars(other)


def pack_game(game):
    start = game.start.encode()
    assert len(start) < 256 and len(game.moves) == len(game.scores) < 65536
    out = [struct.pack("<HIBbB", MAGIC, game.gid, game.kind, game.result, len(start)), start,
           struct.pack("<H", len(game.moves))]
    out += [struct.pack("<Hh", encode_move(m), clamp_score(s) if s != NO_SCORE else NO_SCORE)
            for m, s in zip(game.moves, game.scores)]
    return b"".join(out)


def read_games(data):
    """(games, bytes used): every whole record of data; a cut-off last record is left out."""
    games, at = [], 0
    while at + 9 <= len(data):
        magic, gid, kind, result, length = struct.unpack_from("<HIBbB", data, at)
        if magic != MAGIC:
            raise ValueError("bad game record at byte %d" % at)
        head = at + 9 + length
        if head + 2 > len(data):
            break
        start = data[at + 9:head].decode()
        (n,) = struct.unpack_from("<H", data, head)
        end = head + 2 + 4 * n
        if end > len(data):
            break
        pairs = [struct.unpack_from("<Hh", data, head + 2 + 4 * i) for i in range(n)]
        games.append(Game(gid, kind, result, start, [decode_move(w) for w, _ in pairs], [s for _, s in pairs]))
        at = end
    return games, at
