#!/usr/bin/env python3
"""Nodes per second of qvn's search beside fairy-stockfish and gpsusi, in one run.

gpsusi takes its thread count as "Thread", fairy-stockfish as "Threads": both run one.

qvn searches each middle-game position of the bench file to a fixed depth (qvn-search);
each peer then searches the same position for the same time with one thread, and its
last reported node count gives its speed.

    tools/search_speed.py [--depth 7] [--build build] [tests/data/bench_positions.txt]
"""
import argparse
import os
import re
import subprocess
import tempfile
import time


def qvn_search(build, position, depth):
    out = subprocess.run([os.path.join(build, "qvn-search"), "--depth", str(depth)], input=position + "\n",
                         capture_output=True, text=True, cwd=build).stdout
    m = re.search(r"value (-?\d+) nodes (\d+) time ([\d.]+)", out)
    return int(m.group(2)), float(m.group(3))


def peer_nodes(command, setup, position, millis, env=None):
    p = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                         text=True, env=env)
    for line in ["usi"] + setup + ["isready"]:
        p.stdin.write(line + "\n")
    p.stdin.flush()
    while not p.stdout.readline().startswith("readyok"):
        pass
    p.stdin.write("position %s\ngo btime 0 wtime 0 byoyomi %d\n" % (position, millis))
    p.stdin.flush()
    start = time.time()
    nodes = 0
    for line in p.stdout:
        m = re.search(r"\bnodes (\d+)", line)
        if m:
            nodes = int(m.group(1))
        if line.startswith("bestmove"):
            break
        if time.time() - start > millis / 1000.0 + 0.2:
            p.stdin.write("stop\n")
            p.stdin.flush()
    elapsed = time.time() - start
    p.stdin.write("quit\n")
    p.stdin.flush()
    p.wait(timeout=10)
    return nodes, elapsed


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--depth", type=int, default=7)
    ap.add_argument("--build", default="build")
    ap.add_argument("positions", nargs="?", default="tests/data/bench_positions.txt")
    args = ap.parse_args()
    args.build = os.path.abspath(args.build)
    positions = [l.strip() for l in open(args.positions) if l.strip() and not l.startswith("#")]
    positions = [p for p in positions if len(p.split()) > 30]  # middle-game positions only
    osl_home = tempfile.mkdtemp()
    os.makedirs(os.path.join(osl_home, "share"), exist_ok=True)
    os.symlink("/usr/share/gpsshogi-data/data", os.path.join(osl_home, "data"))
    gps_env = dict(os.environ, OSL_HOME=osl_home)
    totals = {"qvn": [0, 0.0], "fairy-stockfish": [0, 0.0], "gpsusi": [0, 0.0]}
    print("%-4s %12s %12s %12s" % ("pos", "qvn nps", "fsf nps", "gpsusi nps"))
    for i, pos in enumerate(positions):
        nodes, seconds = qvn_search(args.build, pos, args.depth)
        millis = max(200, int(seconds * 1000))
        f_nodes, f_time = peer_nodes(["/usr/games/fairy-stockfish"],
                                     ["setoption name UCI_Variant value shogi", "setoption name Threads value 1"],
                                     pos, millis)
        g_nodes, g_time = peer_nodes(["/usr/games/gpsusi"], ["setoption name Thread value 1"], pos, millis,
                                     gps_env)
        for name, n, t in (("qvn", nodes, seconds), ("fairy-stockfish", f_nodes, f_time), ("gpsusi", g_nodes, g_time)):
            totals[name][0] += n
            totals[name][1] += t
        print("%-4d %12.0f %12.0f %12.0f" % (i, nodes / seconds, f_nodes / f_time, g_nodes / g_time), flush=True)
    q = totals["qvn"][0] / totals["qvn"][1]
    for name, (n, t) in totals.items():
        print("%-16s %12d nodes %8.2f s %12.0f nps  qvn/%s = %.2f" % (name, n, t, n / t, name, q / (n / t)))


if __name__ == "__main__":
    main()
