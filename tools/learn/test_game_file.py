#!/usr/bin/env python3
"""Tests of the game files and of how the game generator carries on after a stop."""

import os
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.dirname(HERE))
import game_file as gf  # noqa: E402
import gen_games  # noqa: E402
from shogi_board import Board  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(HERE))


def record_games():
    """The games of the strong engines' records, as game records with made-up scores."""
    games = []
    with open(os.path.join(ROOT, "tests", "data", "games", "fsf-vs-gpsusi.usi")) as f:
        for line in f:
            if line.startswith("startpos moves "):
                moves = line.split()[2:]
                scores = [gf.NO_SCORE if i < 8 else (i * 977) % 64001 - 32000 for i in range(len(moves))]
                games.append(gf.Game(len(games), len(games) % 3, (len(games) % 3) - 1, "", moves, scores))
    return games


class GameFile(unittest.TestCase):
    def test_every_move_of_real_games_round_trips(self):
        games = record_games()
        self.assertGreater(len(games), 10)
        kinds = set()
        for g in games:
            board = Board.from_position("startpos")
            for m in g.moves:
                self.assertEqual(gf.decode_move(gf.encode_move(m)), m)
                kinds.add("drop" if "*" in m else "promotion" if m.endswith("+") else "move")
                board.play(m)
        self.assertEqual(kinds, {"drop", "promotion", "move"})
        data = b"".join(gf.pack_game(g) for g in games)
        self.assertEqual(gf.read_games(data), (games, len(data)))

    def test_a_cut_off_record_is_left_out(self):
        games = record_games()[:3]
        games[1].start = "lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL w - 1"
        data = b"".join(gf.pack_game(g) for g in games)
        whole = len(gf.pack_game(games[0])) + len(gf.pack_game(games[1]))
        for cut in (whole + 1, whole + 9, whole + 12, len(data) - 1):
            self.assertEqual(gf.read_games(data[:cut]), (games[:2], whole), cut)
        with self.assertRaises(ValueError):
            gf.read_games(b"\0" * 20)

    def test_resume_keeps_whole_blocks_only(self):
        games = record_games()
        block = 4
        # Worker 1 of 2 plays blocks 1, 3, 5, ...: two whole blocks and a part of the third.
        ids = list(range(4, 8)) + list(range(12, 16)) + [20, 21]
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "g.w1.qgm")
            with open(path, "wb") as f:
                for i in ids:
                    g = games[i]
                    g.gid = i
                    f.write(gf.pack_game(g))
                f.write(gf.pack_game(games[22])[:7])  # the record a stop cut
            done, positions = gen_games.resume(path, block)
            self.assertEqual(done, set(range(4, 8)) | set(range(12, 16)))
            self.assertEqual(positions, sum(gen_games.labelled(games[i]) for i in sorted(done)))
            with open(path, "rb") as f:
                data = f.read()
            self.assertEqual([g.gid for g in gf.read_games(data)[0]], sorted(done))
            self.assertEqual(gf.read_games(data)[1], len(data))


if __name__ == "__main__":
    unittest.main()
