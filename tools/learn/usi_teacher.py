#!/usr/bin/env python3
"""Labels training records with any USI engine: its score becomes the record's score.

    build/qvn-records dump in.bin \\
      | python3 tools/learn/usi_teacher.py --engine /usr/games/gpsusi --option Thread=1 \\
          --option BookDepth=0 --go "go depth 4" \\
      | build/qvn-records pack out.bin          (run pack where hash_key.dat is)

Reads the lines of `qvn-records dump` on standard input and writes them again with the
engine's score (the last "score cp" or "score mate" of its info lines, side to move's view;
a mate is the record's bound +-32000), its move and teacher 2. The scores stay on the
engine's own scale: the learner fits that scale to the game results. Prints positions per second on standard error.
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from match import parse_score  # noqa: E402  (the match tool reads engine scores the same way)

GPS_DATA = "/usr/share/gpsshogi-data/data"


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--engine", required=True, help="the engine's command line")
    ap.add_argument("--option", action="append", default=[], help="NAME=VALUE, sent as setoption")
    ap.add_argument("--go", default="go depth 4", help="the go command for each position")
    ap.add_argument("--limit", type=int, default=0, help="label only this many positions")
    args = ap.parse_args()

    env = dict(os.environ)
    if "gpsusi" in args.engine:
        # gpsusi keeps its settings in $OSL_HOME: a private one per run.
        home = tempfile.mkdtemp(prefix="teacher-osl-")
        os.symlink(GPS_DATA, os.path.join(home, "data"))
        env["OSL_HOME"] = home
    p = subprocess.Popen(args.engine.split(), stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                         bufsize=1, env=env)

    def send(line):
        p.stdin.write(line + "\n")
        p.stdin.flush()

    def wait_for(word):
        for line in p.stdout:
            if line.split()[:1] == [word]:
                return line
        sys.exit("the engine ended")

    send("usi")
    wait_for("usiok")
    for opt in args.option:
        name, _, value = opt.partition("=")
        send("setoption name %s value %s" % (name, value))
    send("isready")
    wait_for("readyok")
    send("usinewgame")

    start, n = time.time(), 0
    for line in sys.stdin:
        cols = line.rstrip("\n").split("\t")
        if len(cols) < 7:
            continue
        send("position " + cols[0])
        send(args.go)
        score = None
        for out in p.stdout:
            words = out.split()
            if words[:1] == ["bestmove"]:
                move = words[1] if len(words) > 1 else ""
                break
            if words[:1] == ["info"]:
                reported = parse_score(out)
                score = score if reported is None else reported
        else:
            sys.exit("the engine ended")
        if score is None or move in ("resign", "win", ""):
            continue
        cols[1], cols[2], cols[6] = str(max(-32000, min(32000, score))), move, "2"
        print("\t".join(cols), flush=True)
        n += 1
        if n % 100 == 0:
            print("%d labelled  %.2f positions/s" % (n, n / (time.time() - start)), file=sys.stderr)
        if args.limit and n >= args.limit:
            break
    send("quit")
    print("%d labelled in %.0f s: %.2f positions/s" % (n, time.time() - start, n / max(1e-9, time.time() - start)),
          file=sys.stderr)


if __name__ == "__main__":
    main()
