#!/usr/bin/env python3
"""Perft speed of qvn-perft beside fairy-stockfish's "go perft" on the same positions, in
the same run: the start position to depth 5 and two middle-game positions of
tests/data/bench_positions.txt to depth 4. Each figure is the best of --repeat runs.

The node counts differ a little: ours leave out the non-promotions our generators omit by
design and the pawn-drop mates that fairy-stockfish 11.1 lists. Both programs count the
moves of the last ply without making them.

  tools/perft_speed.py [--perft build/qvn-perft] [--reference /usr/games/fairy-stockfish]
"""

import argparse
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from movegen_reference import Reference  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def bench_positions():
    with open(os.path.join(ROOT, "tests", "data", "bench_positions.txt")) as f:
        lines = [line.strip() for line in f if line.strip() and not line.startswith("#")]
    # The start position, then the positions after ply 60 of the first two games.
    return [("start position", lines[0], 5), ("middle game A (ply 60)", lines[2], 4),
            ("middle game B (ply 60)", lines[5], 4)]


def qvn(perft, position, depth):
    r = subprocess.run([perft, "--depth", str(depth)], input=position + "\n", capture_output=True, text=True,
                       check=True)
    nodes = int(r.stdout.split()[-1])
    seconds = float(re.search(r"time ([0-9.]+) s", r.stderr).group(1))
    return nodes, seconds


def reference_perft(ref, position, depth):
    start = time.perf_counter()
    _, nodes = ref.perft_lines(position, depth)
    return nodes, time.perf_counter() - start


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--perft", default=os.path.join(ROOT, "build", "qvn-perft"))
    ap.add_argument("--reference", default="/usr/games/fairy-stockfish")
    ap.add_argument("--repeat", type=int, default=3)
    args = ap.parse_args()

    ref = Reference(args.reference)
    print("%-24s %5s %12s %12s %10s %12s %10s %7s" % ("position", "depth", "qvn nodes", "qvn nps", "qvn s",
                                                      "fsf nodes", "fsf nps", "ratio"))
    ours_all = theirs_all = 0.0
    for name, position, depth in bench_positions():
        ours = min((qvn(args.perft, position, depth) for _ in range(args.repeat)), key=lambda r: r[1])
        theirs = min((reference_perft(ref, position, depth) for _ in range(args.repeat)), key=lambda r: r[1])
        ours_nps, theirs_nps = ours[0] / ours[1], theirs[0] / theirs[1]
        ours_all += ours_nps
        theirs_all += theirs_nps
        print("%-24s %5d %12d %12.0f %10.3f %12d %10.0f %7.2f" % (name, depth, ours[0], ours_nps, ours[1],
                                                                  theirs[0], theirs_nps, ours_nps / theirs_nps))
    ref.close()
    print("qvn-perft / fairy-stockfish nodes per second: %.2f (mean of the three rates)" % (ours_all / theirs_all))
    return 0


if __name__ == "__main__":
    sys.exit(main())
