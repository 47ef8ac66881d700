#!/usr/bin/env python3
"""Makes the openings of the match scripts: distinct lines of 12 to 16 plies from our game records.

    python3 tools/match/make_openings.py --seed 1 --count 1200 --out tools/match/openings.txt

Each line is drawn from --seed: a length L of 12 to 16 plies, a game of the records (by default
tests/data/games/*.usi), its first K plies (6 <= K < L), then L - K moves each drawn at random
among the sound ones of the position: those fairy-stockfish scores, searching to --depth with
--multipv lines, within --margin centipawns of its best. A line is kept when fairy-stockfish at
--check-depth scores its last position within --bound centipawns for the side to move (not
decided) and no earlier line has the same moves; every move is checked against the legal moves
of a separate fairy-stockfish, as the match script does. The hash is cleared before every search,
so the file depends only on the options and fairy-stockfish's version (written in its first line).
"""

import argparse
import glob
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from match import FSF, ROOT, Process, Reference  # noqa: E402
from shogi_board import Board  # noqa: E402

MATE = 100000


class Searcher:
    """fairy-stockfish searching to a fixed depth from a cleared hash, one thread."""

    def __init__(self, path):
        self.p = Process("search", [path])
        self.p.send("usi")
        self.name = "fairy-stockfish"
        while True:
            _, line = self.p.get(30)
            if line.startswith("id name "):
                self.name = line[len("id name "):]
            if line == "usiok":
                break
        for key, value in (("UCI_Variant", "shogi"), ("Threads", "1"), ("Hash", "16")):
            self.p.send("setoption name %s value %s" % (key, value))
        self.multipv = None

    def search(self, moves, depth, multipv):
        """[(score for the side to move, move)] of the principal lines, best first."""
        if multipv != self.multipv:
            self.p.send("setoption name MultiPV value %d" % multipv)
            self.multipv = multipv
        self.p.send("usinewgame")
        self.p.send("isready")
        self.p.wait_for("readyok", 30)
        self.p.send("position startpos" + (" moves " + " ".join(moves) if moves else ""))
        self.p.send("go depth %d" % depth)
        lines = {}
        while True:
            _, line = self.p.get(600)
            if line.startswith("bestmove"):
                break
            words = line.split()
            if words[:1] != ["info"] or "pv" not in words or "score" not in words:
                continue
            if "lowerbound" in words or "upperbound" in words:
                continue
            i = words.index("score")
            value = int(words[i + 2])
            score = value if words[i + 1] == "cp" else (MATE if value > 0 else -MATE)
            index = int(words[words.index("multipv") + 1]) if "multipv" in words else 1
            lines[index] = (score, words[words.index("pv") + 1])
        return [lines[i] for i in sorted(lines)]

    def close(self):
        self.p.close()


def read_games(paths):
    games, seen = [], set()
    for path in paths:
        with open(path) as f:
            for line in f:
                words = line.split()
                if words[:2] == ["startpos", "moves"] and tuple(words[2:]) not in seen:
                    seen.add(tuple(words[2:]))
                    games.append(words[2:])
    return games


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0], epilog="\n".join(__doc__.split("\n")[1:]),
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("records", nargs="*", help="game records (default tests/data/games/*.usi)")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--count", type=int, default=1200, help="lines to make (default 1200)")
    ap.add_argument("--out", default=os.path.join(ROOT, "tools", "match", "openings.txt"))
    ap.add_argument("--depth", type=int, default=6, help="depth of the search for sound moves (default 6)")
    ap.add_argument("--multipv", type=int, default=6, help="moves looked at for each drawn move (default 6)")
    ap.add_argument("--margin", type=int, default=50, help="cp below the best a sound move may be (default 50)")
    ap.add_argument("--check-depth", type=int, default=10, help="depth of the final score (default 10)")
    ap.add_argument("--bound", type=int, default=300, help="largest final score kept, in cp (default 300)")
    ap.add_argument("--min-plies", type=int, default=12)
    ap.add_argument("--max-plies", type=int, default=16)
    ap.add_argument("--engine", default=FSF, help="fairy-stockfish (default %s)" % FSF)
    a = ap.parse_args(argv)
    paths = a.records or sorted(glob.glob(os.path.join(ROOT, "tests", "data", "games", "*.usi")))
    games = read_games(paths)
    rng = random.Random(a.seed)
    searcher, ref = Searcher(a.engine), Reference(a.engine)
    kept, seen, tried = [], set(), 0
    rejected = {"short record": 0, "no sound move": 0, "decided": 0, "repeated": 0}
    try:
        while len(kept) < a.count:
            tried += 1
            length = rng.randint(a.min_plies, a.max_plies)
            game = rng.choice(games)
            k = rng.randint(6, length - 1)
            if len(game) < length:
                rejected["short record"] += 1
                continue
            moves = game[:k]
            board = Board.from_position("startpos moves " + " ".join(moves))
            while len(moves) < length:
                lines = searcher.search(moves, a.depth, a.multipv)
                sound = sorted(m for s, m in lines if lines and s >= lines[0][0] - a.margin)
                legal = ref.legal(moves, board) if sound else []
                sound = [m for m in sound if m in legal]
                if not sound:
                    break
                move = rng.choice(sound)
                board.play(move)
                moves.append(move)
            if len(moves) < length:
                rejected["no sound move"] += 1
                continue
            if tuple(moves) in seen:
                rejected["repeated"] += 1
                continue
            score = searcher.search(moves, a.check_depth, 1)[0][0]
            if abs(score) > a.bound:
                rejected["decided"] += 1
                continue
            seen.add(tuple(moves))
            kept.append(moves)
            if len(kept) % 50 == 0:
                print("%d lines kept of %d drawn (%s)" % (len(kept), tried,
                      ", ".join("%s %d" % kv for kv in rejected.items())), flush=True)
    finally:
        searcher.close()
        ref.close()
    with open(a.out, "w") as f:
        f.write("# %d openings of %d to %d plies: tools/match/make_openings.py --seed %d --count %d --depth %d "
                "--multipv %d --margin %d --check-depth %d --bound %d, %s, from %s\n"
                % (len(kept), a.min_plies, a.max_plies, a.seed, a.count, a.depth, a.multipv, a.margin,
                   a.check_depth, a.bound, searcher.name, " ".join(os.path.relpath(p, ROOT) for p in paths)))
        for moves in kept:
            f.write("startpos moves " + " ".join(moves) + "\n")
    print("%d lines written to %s (%d drawn: %s)" % (len(kept), a.out, tried,
          ", ".join("%s %d" % kv for kv in rejected.items())))
    return 0


if __name__ == "__main__":
    sys.exit(main())
