#!/usr/bin/env python3
"""Runs "go mate" over a problem set through USI and prints the solve rate, time and nodes
by mate length, for each engine on the same problems and time.

    tools/mate/mate_table.py [--engines qvn,gpsusi] [--time MS] [--every N] [FILE]

FILE (default tests/data/mate/problems.txt) holds "<length | nomate | nomate-rep> <position>"
lines. A mate counts as solved when the engine answers with a line of moves (qvn's lines
are checked by tests/mate_test.cpp; here only its length is shown); a no-mate when it
answers "nomate". Time is from writing "go mate" to reading "checkmate". Engines are
those of usi_mate.py ("qvn" is build/qvn). Each engine runs alone, one after the other.
"""
import argparse
import os
import statistics
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from usi_mate import ROOT, MateEngine  # noqa: E402


def bucket(kind):
    if not kind[0].isdigit():
        return "nomate"
    n = int(kind)
    return "%d" % n if n <= 17 else "19-25" if n <= 25 else "27+"


ORDER = ["1", "3", "5", "7", "9", "11", "13", "15", "17", "19-25", "27+", "nomate"]


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("file", nargs="?", default=os.path.join(ROOT, "tests", "data", "mate", "problems.txt"))
    ap.add_argument("--engines", default="qvn,gpsusi")
    ap.add_argument("--time", type=int, default=10000, help="ms per problem (go mate MS)")
    ap.add_argument("--every", type=int, default=1, help="take every n-th problem")
    ap.add_argument("--log", help="write every answer to this file")
    args = ap.parse_args()
    problems = []
    for line in open(args.file):
        if line.strip() and not line.startswith("#"):
            kind, pos = line.split(" ", 1)
            problems.append((kind, pos.strip()))
    problems = problems[::args.every]
    log = open(args.log, "w") if args.log else None
    results = {}
    for name in args.engines.split(","):
        engine = MateEngine(name)
        rows = []
        for i, (kind, pos) in enumerate(problems):
            answer, seconds, nodes = engine.mate(pos, args.time)
            if kind[0].isdigit():
                ok = not isinstance(answer, str)
            else:
                ok = answer == "nomate"
            length = len(answer) if not isinstance(answer, str) else 0
            rows.append((kind, ok, seconds, nodes, length))
            if log:
                log.write("%s\t%s\t%s\t%.3f\t%d\t%s\n" % (name, kind, pos, seconds, nodes,
                                                          answer if isinstance(answer, str) else " ".join(answer)))
                log.flush()
            print("\r%s %d/%d" % (name, i + 1, len(problems)), end="", file=sys.stderr, flush=True)
        print(file=sys.stderr)
        engine.close()
        results[name] = rows

    print("go mate %d ms, %d problems (%s)" % (args.time, len(problems), os.path.basename(args.file)))
    header = "%-7s %4s" % ("length", "n")
    for name in results:
        header += " | %-8s %6s %7s %7s %7s %9s %7s" % (name, "solved", "median", "mean", "max", "nodes", "longer")
    print(header)
    for b in ORDER + ["all"]:
        line = None
        for name, rows in results.items():
            sel = [r for r in rows if b == "all" or bucket(r[0]) == b]
            if not sel:
                break
            solved = [r for r in sel if r[1]]
            times = [r[2] for r in sel]
            nodes = [r[3] for r in solved if r[3]]
            # Solved mates whose line is longer than the set's length.
            longer = sum(1 for r in solved if r[0][0].isdigit() and r[4] > int(r[0]))
            if line is None:
                line = "%-7s %4d" % (b, len(sel))
            line += " | %-8s %3d/%-3d %6.2fs %6.2fs %6.2fs %9s %7d" % (
                "", len(solved), len(sel), statistics.median(times), statistics.mean(times), max(times),
                "%d" % statistics.median(nodes) if nodes else "-", longer)
        if line:
            print(line)
    print("time: median, mean and longest over every problem of the row (unsolved ones count with")
    print("their full time); nodes: median of the solved ones as the engine's last info line says;")
    print("longer: solved mates whose line is longer than the set's length")


if __name__ == "__main__":
    main()
