#!/usr/bin/env python3
"""How deep each engine gets in the same time: the depth it completes at a byoyomi on the
middle-game benchmark positions, its nodes and nodes per second, side by side in one run.

    tools/depth_at_clock.py build/qvn /tmp/base/qvn fsf [--byoyomi 1000] [--detail 3]
        [--option time_margin=100]

An engine is a path of a USI engine (run in its own folder, where qvn finds its data files)
or `fsf` (fairy-stockfish, shogi, one thread). The engines search one position at a time,
never two at once. A completed depth is the last "info" line with a principal variation and
no bound; nodes are the engine's count at the end of the search (summed over iterations for
an engine that counts each iteration on its own, as qvn did before it counted from the
"go"). --detail K prints, for position K, each engine's depth, nodes and time per iteration.
"""
import argparse
import os
import re
import statistics
import subprocess
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FSF = "/usr/games/fairy-stockfish"


def start(engine, options):
    if engine in ("fsf", "fairy-stockfish"):
        argv, cwd, setup = [FSF], None, ["setoption name UCI_Variant value shogi", "setoption name Threads value 1"]
    else:
        path = os.path.abspath(engine)
        argv, cwd = [path], os.path.dirname(path)
        setup = ["setoption name %s value %s" % tuple(o.split("=", 1)) for o in options]
    p = subprocess.Popen(argv, cwd=cwd, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                         text=True, bufsize=1)
    for line in ["usi"] + setup + ["isready"]:
        p.stdin.write(line + "\n")
    while not p.stdout.readline().startswith("readyok"):
        pass
    return p


def search(p, position, byoyomi):
    """The iterations of one search: a list of (depth, nodes, ms) and the whole search's ms."""
    p.stdin.write("usinewgame\nisready\n")
    while not p.stdout.readline().startswith("readyok"):
        pass
    p.stdin.write("position %s\ngo btime 0 wtime 0 byoyomi %d\n" % (position, byoyomi))
    began = time.time()
    iterations = []
    per_iteration = False
    for line in p.stdout:
        if line.startswith("bestmove"):
            break
        if not line.startswith("info") or " pv " not in line or "bound" in line:
            continue
        d = re.search(r"\bdepth (\d+)", line)
        n = re.search(r"\bnodes (\d+)", line)
        t = re.search(r"\btime (\d+)", line)
        if not (d and n):
            continue
        nodes = int(n.group(1))
        ms = int(t.group(1)) if t else 0
        # An engine that counts from the "go" never goes back in nodes or time.
        if iterations and (nodes < iterations[-1][1] or ms < iterations[-1][2]):
            per_iteration = True
        iterations.append((int(d.group(1)), nodes, ms))
    elapsed = (time.time() - began) * 1000
    total = sum(n for _, n, _ in iterations) if per_iteration else (iterations[-1][1] if iterations else 0)
    return iterations, total, elapsed


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("engines", nargs="+", help="paths of USI engines, or fsf")
    ap.add_argument("--byoyomi", type=int, default=1000)
    ap.add_argument("--positions", default=os.path.join(ROOT, "tests", "data", "bench_positions.txt"))
    ap.add_argument("--detail", type=int, default=None, help="print the iterations of this position")
    ap.add_argument("--option", action="append", default=[], metavar="NAME=VALUE",
                    help="setoption for every engine but fairy-stockfish (repeatable)")
    args = ap.parse_args()
    for o in args.option:
        if "=" not in o:
            ap.error("--option wants NAME=VALUE, not %r" % o)
    positions = [l.strip() for l in open(args.positions) if l.strip() and not l.startswith("#")]
    positions = [p for p in positions if len(p.split()) > 30]  # middle games only
    names = [os.path.basename(os.path.dirname(os.path.abspath(e))) if e not in ("fsf", "fairy-stockfish") else "fsf"
             for e in args.engines]
    # Two engines in folders of one name (build/ of two work trees) would share their columns.
    names = [n if names.count(n) == 1 else "%s#%d" % (n, i + 1) for i, n in enumerate(names)]
    procs = [start(e, args.option) for e in args.engines]
    depths = {n: [] for n in names}
    nodes = {n: 0 for n in names}
    millis = {n: 0.0 for n in names}
    print("pos  " + "".join("%16s" % n for n in names) + "   (completed depth / nodes)")
    for i, pos in enumerate(positions):
        cells = []
        for name, p in zip(names, procs):
            its, total, ms = search(p, pos, args.byoyomi)
            depth = its[-1][0] if its else 0
            depths[name].append(depth)
            nodes[name] += total
            millis[name] += ms
            cells.append("%6d %9d" % (depth, total))
            if args.detail == i:
                print("  %s, position %d: " % (name, i) + ", ".join("d%d %d nodes %d ms" % it for it in its))
        print("%-4d " % i + "".join("%16s" % c for c in cells), flush=True)
    for p in procs:
        p.stdin.write("quit\n")
        p.stdin.flush()
    print()
    for name in names:
        d = depths[name]
        print("%-16s depth median %4.1f (%d to %d)  %10.0f nodes per second" %
              (name, statistics.median(d), min(d), max(d), nodes[name] / (millis[name] / 1000)))


if __name__ == "__main__":
    main()
