#!/usr/bin/env python3
"""Quiet positions from the games qvn lost, labelled by gpsusi: where qvn's judgement failed.

    tools/learn/make_lost_set.py --count 2000 --seed 1 --out tools/learn/lost-positions.tsv \\
        tools/match/records/final-vs-fsf.usi tools/match/records/final-vs-gpsusi.usi

From each game of the match records that qvn lost, the positions from ply 20 to the end where
the side to move is not in check and neither the move before nor the move played is a capture
(no exchange under way), --count of them drawn with the seed, each searched by gpsusi (Thread 1,
BookDepth 0, LimitDepth 4, as the positions of strong engines' games were). The output has the
columns of those: SFEN, gpsusi's score from the side to move's view (a mate +-100000), the
game's result for the side to move (1, 0.5, 0), the ply, gpsusi's move. Resumable: positions
already in the output are kept.
"""

import argparse
import os
import random
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
from gen_games import Usi  # noqa: E402
from match import GPS_DATA, GPSUSI  # noqa: E402
from shogi_board import Board  # noqa: E402

import shutil  # noqa: E402
import tempfile  # noqa: E402


def lost_games(paths):
    """(moves, qvn's side) of every game qvn lost."""
    out = []
    for path in paths:
        header = None
        for line in open(path):
            if line.startswith("# game"):
                header = dict(w.split("=", 1) for w in line.split() if "=" in w)
            elif line.startswith("startpos") and header:
                side = "b" if header.get("black") == "qvn" else "w" if header.get("white") == "qvn" else None
                lost = {"b": "0-1", "w": "1-0"}.get(side)
                if lost and header.get("result") == lost:
                    out.append((line.split()[2:], side))
                header = None
    return out


def quiet_positions(moves, qvn_side):
    """(sfen, ply, result for the side to move) of the quiet positions of one game."""
    board = Board.from_position("startpos")
    captured_before = False
    out = []
    for ply, move in enumerate(moves):
        to = (int(move[2]), ord(move[3]) - ord("a") + 1)
        capture = "*" not in move and to in board.squares
        if ply >= 20 and not captured_before and not capture and not board.in_check():
            out.append((board.sfen(), ply, 0.0 if board.side == qvn_side else 1.0))
        board.play(move)
        captured_before = capture
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("records", nargs="+")
    ap.add_argument("--count", type=int, default=2000)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--depth", type=int, default=4, help="gpsusi's LimitDepth (default 4)")
    ap.add_argument("--out", required=True)
    args = ap.parse_args()

    games = lost_games(args.records)
    candidates = []
    for moves, side in games:
        candidates += quiet_positions(moves, side)
    rng = random.Random(args.seed)
    chosen = rng.sample(candidates, min(args.count, len(candidates)))
    done = set()
    if os.path.exists(args.out):
        done = {line.split("\t")[0] for line in open(args.out)}
    print("%d games lost, %d quiet positions, %d chosen, %d labelled already"
          % (len(games), len(candidates), len(chosen), len(done)), file=sys.stderr)

    home = tempfile.mkdtemp(prefix="lost-osl-")
    os.symlink(GPS_DATA, os.path.join(home, "data"))
    gps = Usi("gps", [GPSUSI], [("Thread", "1"), ("BookDepth", "0"), ("LimitDepth", str(args.depth))],
              env=dict(os.environ, OSL_HOME=home))
    try:
        with open(args.out, "a") as out:
            for i, (sfen, ply, result) in enumerate(chosen):
                if sfen in done:
                    continue
                gps.new_game()
                score, move = gps.search("sfen " + sfen, "go byoyomi 60000")
                if abs(score) >= 30000:
                    score = 100000 if score > 0 else -100000
                out.write("%s\t%d\t%s\t%d\t%s\n" % (sfen, score, "%g" % result, ply, move))
                out.flush()
                if i % 100 == 0:
                    print("%d/%d" % (i, len(chosen)), file=sys.stderr, flush=True)
    finally:
        gps.close()
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    main()
