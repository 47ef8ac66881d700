#!/usr/bin/env python3
"""How long qvn takes to answer, as a front end sees it, over many moves of real play.

Two engine processes play each other from opening lines of the game records, with
"go btime 0 wtime 0 byoyomi N" for every move. The latency of a move is measured from
just after the command that starts its clock is written ("go", or "ponderhit" when the
engine pondered on the right move) to the moment its "bestmove" line is read. With
--ponder each engine ponders on its expected reply, as a GUI would let it: "ponderhit"
when the opponent plays it, "stop" otherwise. With --load N, N busy processes compete
for the processors meanwhile. Every reported move is also checked for legality with
qvn-perft (our own move generator) at the end.

    tools/timing_check.py [--moves 200] [--byoyomi 1000] [--load 1] [--ponder] [--build build]

Prints the count, maximum, mean and percentiles of the latencies, and how many reached the
byoyomi; exits 1 when any did, or when a move was illegal or an answer never came.
"""
import argparse
import multiprocessing
import os
import random
import select
import shutil
import subprocess
import sys
import tempfile
import time


def busy():
    while True:
        pass


class Engine:
    def __init__(self, binary, data_dir, conf, name, keep=False):
        self.name = name
        self.keep = keep
        self.dir = tempfile.mkdtemp(prefix="qvn_timing_")
        for f in ("hash_key.dat", "weight.dat", "book.dat"):
            shutil.copy(os.path.join(data_dir, f), self.dir)
        with open(os.path.join(self.dir, "qvn.conf"), "w") as c:
            c.write(conf)
        self.err = open(os.path.join(self.dir, "stderr.txt"), "w+")
        self.p = subprocess.Popen([binary], cwd=self.dir, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=self.err, bufsize=0)
        self.buf = b""
        self.stray = 0  # "bestmove" lines no command asked for

    def send(self, text):
        try:
            self.p.stdin.write(text.encode())
            self.p.stdin.flush()
        except BrokenPipeError:
            pass  # the engine has gone; its missing answers are counted
        return time.monotonic()

    def line(self, timeout=10.0):
        """The next line of output, or None when none comes within timeout seconds."""
        end = time.monotonic() + timeout
        while b"\n" not in self.buf:
            left = end - time.monotonic()
            if left <= 0 or not select.select([self.p.stdout], [], [], left)[0]:
                return None
            chunk = os.read(self.p.stdout.fileno(), 65536)
            if not chunk:
                return None
            self.buf += chunk
        line, self.buf = self.buf.split(b"\n", 1)
        return line.decode(errors="replace")

    def bestmove(self, timeout=10.0):
        """(time read, move, ponder move or None, info lines seen); move None on timeout."""
        infos = 0
        while True:
            line = self.line(timeout)
            if line is None:
                return time.monotonic(), None, None, infos
            if line.startswith("info"):
                infos += 1
            if line.startswith("bestmove"):
                words = line.split()
                ponder = words[3] if len(words) > 3 and words[2] == "ponder" else None
                return time.monotonic(), words[1], ponder, infos

    def ready(self):
        """Waits for "readyok"; counts the "bestmove" lines that came before it."""
        self.send("isready\n")
        while True:
            line = self.line(30.0)
            if line is None or line == "readyok":
                return line is not None
            if line.startswith("bestmove"):
                self.stray += 1

    def close(self):
        self.send("quit\n")
        try:
            status = self.p.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.p.kill()
            status = "hung"
        self.err.seek(0)
        errors = self.err.read()
        if status != 0:
            errors = "exit status %s\n%s" % (status, errors)
        self.err.close()
        if self.keep:
            print("%s kept its files in %s" % (self.name, self.dir))
        else:
            shutil.rmtree(self.dir, ignore_errors=True)
        return errors


def openings(files, plies, rng):
    lines = []
    for path in files:
        for line in open(path):
            if line.startswith("startpos moves "):
                moves = line.split()[2:]
                if len(moves) > plies:
                    lines.append(moves[:rng.randint(0, plies)])
    rng.shuffle(lines)
    return lines


def position(moves):
    return "startpos moves " + " ".join(moves) if moves else "startpos"


def percentile(sorted_values, q):
    if not sorted_values:
        return 0
    k = min(len(sorted_values) - 1, int(round(q / 100.0 * (len(sorted_values) - 1))))
    return sorted_values[k]


def legal_failures(perft, data_dir, played):
    """The (position, move) pairs whose move qvn-perft does not list as legal."""
    if not perft or not played:
        return []
    text = "".join(pos + "\n" for pos, _ in played)
    out = subprocess.run([perft, "--divide", "--depth", "1"], input=text, capture_output=True, text=True,
                         cwd=data_dir).stdout
    blocks, current = [], set()
    for line in out.splitlines():
        if line.startswith("total:") or line.startswith("error:"):
            blocks.append(current if line.startswith("total:") else None)
            current = set()
        else:
            current.add(line.split(":")[0])
    bad = []
    for (pos, move), legal in zip(played, blocks):
        if legal is None or move not in legal:
            bad.append((pos, move))
    return bad


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", default="build", help="build directory with qvn, qvn-perft and the data files")
    ap.add_argument("--moves", type=int, default=200, help="moves to measure")
    ap.add_argument("--byoyomi", type=int, default=1000)
    ap.add_argument("--load", type=int, default=0, help="busy processes running meanwhile")
    ap.add_argument("--ponder", action="store_true", help="let the engines ponder (ponderhit and stop)")
    ap.add_argument("--book", action="store_true", help="use the opening book (its moves answer at once)")
    ap.add_argument("--opening-plies", type=int, default=24, help="longest opening line from the records")
    ap.add_argument("--max-plies", type=int, default=160, help="a game ends after this many plies")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--keep", action="store_true",
                    help="write the engines' thinking logs and protocol dumps and keep their directories")
    ap.add_argument("games", nargs="*", help="game records (default: tests/data/games/*.usi)")
    args = ap.parse_args()

    build = os.path.abspath(args.build)
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    games = args.games or [os.path.join(root, "tests/data/games", f)
                           for f in sorted(os.listdir(os.path.join(root, "tests/data/games")))]
    perft = os.path.join(build, "qvn-perft")
    perft = perft if os.path.exists(perft) else None
    rng = random.Random(args.seed)
    lines = openings(games, args.opening_plies, rng)

    loaders = [multiprocessing.Process(target=busy, daemon=True) for _ in range(args.load)]
    for p in loaders:
        p.start()

    conf = "pondering=%d\nno_book=%d\n" % (1 if args.ponder else 0, 0 if args.book else 1)
    if args.keep:
        conf += "log_enable=1\nusi_dump=1\n"
    engines = [Engine(os.path.join(build, "qvn"), build, conf, name, args.keep) for name in ("black", "white")]
    for e in engines:
        e.send("usi\n")
        if not e.ready():
            sys.exit("%s: no readyok" % e.name)

    go = "btime 0 wtime 0 byoyomi %d" % args.byoyomi
    latency = {"go": [], "ponderhit": []}
    stop_latency = []
    slowest = []  # (ms, kind, position)
    played = []  # (position, move) for the legality check
    missing = 0
    games_played = 0
    measured = 0
    try:
        while measured < args.moves:
            moves = list(lines[games_played % len(lines)])
            games_played += 1
            for e in engines:
                e.send("usinewgame\n")
                e.ready()
            pondering = [None, None]  # per engine: the move it ponders on
            result = None
            while len(moves) < args.max_plies and measured < args.moves:
                side = len(moves) % 2
                e = engines[side]
                pos = position(moves)
                expected = pondering[side]
                pondering[side] = None
                if expected is not None and moves[-1] == expected:
                    kind = "ponderhit"
                    start = e.send("ponderhit\n")
                else:
                    if expected is not None:
                        t = e.send("stop\n")
                        answered, stopped, _, _ = e.bestmove()
                        if stopped is None:
                            missing += 1
                        else:
                            stop_latency.append((answered - t) * 1000)
                    kind = "go"
                    e.send("position %s\n" % pos)
                    start = e.send("go %s\n" % go)
                answered, move, ponder, _ = e.bestmove(timeout=args.byoyomi / 1000.0 + 10)
                if move is None:
                    missing += 1
                    result = "%s gave no answer to %s in %s" % (e.name, kind, pos)
                    break
                latency[kind].append((answered - start) * 1000)
                slowest.append(((answered - start) * 1000, kind, pos))
                measured += 1
                if move in ("resign", "win"):
                    result = "%s: %s" % (e.name, move)
                    break
                played.append((pos, move))
                moves.append(move)
                if args.ponder and ponder:
                    pondering[side] = ponder
                    e.send("position %s\ngo ponder %s\n" % (position(moves + [ponder]), go))
            if result is None:
                result = "enough moves measured" if measured >= args.moves else "ply limit"
            for side, e in enumerate(engines):
                e.send("gameover draw\n")
                if pondering[side] is not None:
                    e.send("stop\n")  # a held ponder move after gameover is never sent
            for e in engines:
                e.ready()  # whatever a finished game still sends shows up before readyok
            print("game %d: %d plies, %s" % (games_played, len(moves), result), flush=True)
    finally:
        errors = [e.close() for e in engines]
        for p in loaders:
            p.terminate()

    bad = legal_failures(perft, build, played)
    everything = sorted(latency["go"] + latency["ponderhit"])
    print()
    print("byoyomi %d ms, %d busy processes, %s, %s, %d games, %d processors" % (
        args.byoyomi, args.load, "pondering" if args.ponder else "no pondering",
        "book" if args.book else "no book", games_played, os.cpu_count()))
    for name, values in (("all", everything), ("go", sorted(latency["go"])),
                         ("ponderhit", sorted(latency["ponderhit"])), ("stop", sorted(stop_latency))):
        if not values:
            continue
        print("%-9s n=%4d  max %7.1f  mean %7.1f  p50 %7.1f  p90 %7.1f  p99 %7.1f ms" % (
            name, len(values), values[-1], sum(values) / len(values), percentile(values, 50),
            percentile(values, 90), percentile(values, 99)))
    for ms, kind, pos in sorted(slowest, reverse=True)[:3]:
        print("  slow: %.1f ms after %s in %s" % (ms, kind, pos))
    late = sum(1 for v in everything if v >= args.byoyomi)
    print("answers at or over %d ms: %d of %d" % (args.byoyomi, late, len(everything)))
    stray = sum(e.stray for e in engines)
    print("missing answers: %d, unasked bestmove lines: %d" % (missing, stray))
    if perft:
        print("illegal moves: %d of %d checked" % (len(bad), len(played)))
        for pos, move in bad[:5]:
            print("  %s in %s" % (move, pos))
    else:
        print("illegal moves: not checked (no qvn-perft in %s)" % build)
    for e, text in zip(engines, errors):
        if text.strip():
            print("%s stderr: %s" % (e.name, text.strip()[:300]))
    sys.exit(1 if late or bad or missing or stray else 0)


if __name__ == "__main__":
    main()
