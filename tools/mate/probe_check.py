#!/usr/bin/env python3
"""How often qvn sees the mate in real play, with and without the mate probe.

    tools/mate/probe_check.py [--byoyomi MS] [--probe MS] [--min-length N] [FILE]

For each mate of at least --min-length plies in FILE (default tests/data/mate/problems.txt)
qvn plays one move under "go btime 0 wtime 0 byoyomi MS", once as configured in build/ and
once with "mate_probe=MS" added to its qvn.conf (each in a directory of its own). A move
counts as seeing the mate when the engine's last "info" line before "bestmove" has a mate
score: "score mate N" from the probe, or the search's "score cp" of 29000 and more. Prints
the counts by mate length and the mean time per move.
"""
import argparse
import os
import shutil
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from usi_mate import ROOT, MateEngine  # noqa: E402

BUILD = os.path.join(ROOT, "build")


def engine_in(conf):
    d = tempfile.mkdtemp(prefix="qvn-probe-")
    for f in ("hash_key.dat", "weight.dat", "book.dat"):
        shutil.copy(os.path.join(BUILD, f), d)
    with open(os.path.join(d, "qvn.conf"), "w") as f:
        f.write(conf)
    return MateEngine("qvn", build=d, binary=os.path.join(BUILD, "qvn")), d


def play(engine, position, byoyomi):
    engine.send("position " + position)
    start = time.time()
    engine.send("go btime 0 wtime 0 byoyomi %d" % byoyomi)
    last_info = ""
    for line in engine.until("bestmove", byoyomi / 1000.0 + 10):
        if line.startswith("info") and "score" in line:
            last_info = line
    w = last_info.split()
    seen = False
    if "score" in w:
        kind, value = w[w.index("score") + 1], w[w.index("score") + 2]
        seen = kind == "mate" or (kind == "cp" and int(value) >= 29000)
    return seen, time.time() - start


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("file", nargs="?", default=os.path.join(ROOT, "tests", "data", "mate", "problems.txt"))
    ap.add_argument("--byoyomi", type=int, default=1000)
    ap.add_argument("--probe", type=int, default=250)
    ap.add_argument("--min-length", type=int, default=5)
    args = ap.parse_args()
    problems = []
    for line in open(args.file):
        kind = line.split(" ", 1)[0]
        if kind.isdigit() and int(kind) >= args.min_length:
            problems.append((int(kind), line.split(" ", 1)[1].strip()))
    base = "no_book=1\n"
    rows = {}
    for label, conf in (("search", base), ("probe", base + "mate_probe=%d\n" % args.probe)):
        engine, d = engine_in(conf)
        for i, (n, pos) in enumerate(problems):
            engine.send("usinewgame")
            seen, seconds = play(engine, pos, args.byoyomi)
            rows.setdefault(label, []).append((n, seen, seconds))
            print("\r%s %d/%d" % (label, i + 1, len(problems)), end="", file=sys.stderr, flush=True)
        print(file=sys.stderr)
        engine.close()
        shutil.rmtree(d, ignore_errors=True)
    print("byoyomi %d ms, probe %d ms: mates seen at the first move" % (args.byoyomi, args.probe))
    print("%-7s %4s | %-8s | %-8s" % ("length", "n", "search", "probe"))
    buckets = [(5, 7), (9, 11), (13, 15), (17, 21), (23, 99)]
    for lo, hi in buckets + [(0, 999)]:
        sel = {k: [r for r in v if lo <= r[0] <= hi] for k, v in rows.items()}
        if not sel["search"]:
            continue
        name = "%d-%d" % (lo, hi) if hi < 999 else "all"
        print("%-7s %4d | %3d      | %3d" % (name, len(sel["search"]), sum(r[1] for r in sel["search"]),
                                           sum(r[1] for r in sel["probe"])))
    for k, v in rows.items():
        print("%s: mean %.2f s per move" % (k, sum(r[2] for r in v) / len(v)))


if __name__ == "__main__":
    main()
