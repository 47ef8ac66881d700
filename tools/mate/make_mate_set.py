#!/usr/bin/env python3
"""Builds the mate problem set tests/data/mate/problems.txt from the game records.

    tools/mate/make_mate_set.py candidates   # positions near the end of decisive games
    tools/mate/make_mate_set.py label        # qvn-mate, gpsusi (go mate) and fairy-stockfish on them
    tools/mate/make_mate_set.py select       # a balanced set by mate length, with no-mates

Candidates are the positions of the last 25 plies of every decisive game in
tests/data/games with the winner to move (sfen from fairy-stockfish). Labelling runs
qvn-mate on all of them (1 s each), keeps a sample by length, then asks gpsusi (go mate,
10 s) and fairy-stockfish (a mate score no longer than ours) about that sample; select runs
this build's qvn-mate once more on the sample (5 million nodes). A mate's length is the
shortest of the lines found; a no-mate needs both engines to say so. Every
stage writes build/mate-work/ and skips what is already there, so it can be resumed.
Needs the Debian packages gpsshogi and fairy-stockfish.
"""
import os
import random
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_tsume import Reference  # noqa: E402
from usi_mate import ROOT, MateEngine  # noqa: E402

WORK = os.path.join(ROOT, "build", "mate-work")
GAMES = [os.path.join(ROOT, "tests", "data", "games", f) for f in ("gpsusi-selfplay.usi", "fsf-vs-gpsusi.usi")]
OUT = os.path.join(ROOT, "tests", "data", "mate", "problems.txt")
BACK = 25          # plies from the end
PER_LENGTH = 12    # problems kept per mate length
NOMATES = 16


def candidates():
    out = os.path.join(WORK, "candidates.txt")
    if os.path.exists(out):
        return
    ref = Reference()
    seen, lines = set(), []
    for name in GAMES:
        header = None
        for line in open(name):
            if line.startswith("#"):
                header = line
                continue
            if not line.startswith("startpos") or not header:
                continue
            result = header.split("result=")[1].split()[0]
            if result not in ("1-0", "0-1"):
                continue
            winner = "b" if result == "1-0" else "w"
            moves = line.split()[2:]
            for back in range(0, BACK + 1):
                if len(moves) - back < 0:
                    break
                sfen, _ = ref.board("startpos moves " + " ".join(moves[:len(moves) - back]))
                if not sfen or sfen.split()[1] != winner:
                    continue
                key = " ".join(sfen.split()[:3])
                if key not in seen:
                    seen.add(key)
                    lines.append("sfen %s 1 # %s back %d" % (key, os.path.basename(name), back))
    with open(out, "w") as f:
        f.write("\n".join(lines) + "\n")
    print("%d candidates" % len(lines))


def read_results(path):
    results = {}
    if os.path.exists(path):
        for line in open(path):
            key, _, rest = line.rstrip("\n").partition("\t")
            results[key] = rest
    return results


def label():
    cands = [l.split(" #")[0] for l in open(os.path.join(WORK, "candidates.txt"))]
    qvn_path = os.path.join(WORK, "qvn.txt")
    if not os.path.exists(qvn_path):
        text = "".join("%d %s\n" % (i, c) for i, c in enumerate(cands))
        res = subprocess.run([os.path.join(ROOT, "build", "qvn-mate"), "--time", "1000"], input=text,
                             capture_output=True, text=True, cwd=os.path.join(ROOT, "build"))
        with open(qvn_path, "w") as f:
            for line in res.stdout.splitlines():
                w = line.split()
                if w[0].isdigit():
                    f.write("%s\t%s\n" % (cands[int(w[0])], " ".join(w[1:])))
    qvn = read_results(qvn_path)
    # The sample: per qvn length up to 2 * PER_LENGTH, every unknown, some no-mates.
    rng = random.Random(11)
    by_kind = {}
    for pos, r in qvn.items():
        w = r.split()
        kind = w[0] if w[0] != "mate" else int(w[1])
        by_kind.setdefault(kind, []).append(pos)
    sample = []
    for kind, group in sorted(by_kind.items(), key=str):
        rng.shuffle(group)
        cap = {"unknown": 40, "nomate": 2 * NOMATES, "nomate-rep": 2 * NOMATES}.get(kind, 2 * PER_LENGTH)
        sample += group[:cap]
    gps_path = os.path.join(WORK, "gps.txt")
    gps_done = read_results(gps_path)
    gps = MateEngine("gpsusi")
    ref = Reference()
    with open(gps_path, "a") as f:
        for pos in sample:
            if pos in gps_done:
                continue
            answer, seconds, _ = gps.mate(pos, 10000)
            text = answer if isinstance(answer, str) else "mate %d %s" % (len(answer), " ".join(answer))
            fsf = ""
            if not isinstance(answer, str) or qvn[pos].startswith("mate"):
                ref.send("position " + pos)
                ref.send("go movetime 1000")
                score = None
                for line in ref.until("bestmove"):
                    w = line.split()
                    if "score" in w:
                        i = w.index("score")
                        score = (w[i + 1], w[i + 2])
                fsf = " fsf %s %s" % score if score else " fsf none"
            f.write("%s\t%s %.2f%s\n" % (pos, text, seconds, fsf))
            f.flush()
    gps.close()


def select():
    qvn = read_results(os.path.join(WORK, "qvn.txt"))
    gps = read_results(os.path.join(WORK, "gps.txt"))
    # The solver of this build, with a node limit (so that it repeats exactly), on every
    # labelled position: its line counts too when it is shorter.
    final_path = os.path.join(WORK, "qvn-final.txt")
    if not os.path.exists(final_path):
        positions = sorted(gps)
        text = "".join("%d %s\n" % (i, p) for i, p in enumerate(positions))
        res = subprocess.run([os.path.join(ROOT, "build", "qvn-mate"), "--nodes", "5000000", "--time", "-1"],
                             input=text, capture_output=True, text=True, cwd=os.path.join(ROOT, "build"))
        with open(final_path, "w") as f:
            for line in res.stdout.splitlines():
                w = line.split()
                if w[0].isdigit():
                    f.write("%s\t%s\n" % (positions[int(w[0])], " ".join(w[1:])))
    final = read_results(final_path)
    groups = {}
    for pos, g in sorted(gps.items()):
        q = qvn[pos].split()
        gw = g.split()
        fw = final.get(pos, "unknown").split()
        lengths = [int(w[1]) for w in (q, gw, fw) if w[0] == "mate"]
        if lengths:
            n = min(lengths)
            # The reference must see a mate no longer than ours (it needs no checks), or, for
            # a mate too long for it to see in a second, a won position (1000 and more).
            if "fsf" not in gw:
                continue
            kind, value = gw[gw.index("fsf") + 1], int(gw[gw.index("fsf") + 2])
            if not (kind == "mate" and 0 < value <= n) and not (kind == "cp" and value >= 1000 and n >= 19):
                continue
            groups.setdefault(n, []).append(pos)
        elif q[0].startswith("nomate") and gw[0] == "nomate" and fw[0] == q[0]:
            groups.setdefault(q[0], []).append(pos)
    lines = ["# Mate problems from the ends of decisive games in tests/data/games (winner to move).",
             "# <mate length in plies | nomate | nomate-rep (a perpetual check, no mate)> <position>",
             "# Made by tools/mate/make_mate_set.py; lengths are the shortest of qvn's and gpsusi's lines,",
             "# each mate also seen by fairy-stockfish (from 19 plies on a score of 1000 and more will do),",
             "# each no-mate said by both qvn and gpsusi (nomate-rep: qvn's no-mate rests on repetitions)."]
    for kind in sorted(groups, key=lambda k: (isinstance(k, str), k)):
        for pos in groups[kind][:NOMATES if isinstance(kind, str) else PER_LENGTH]:
            lines.append("%s %s" % (kind, pos))
    os.makedirs(os.path.dirname(OUT), exist_ok=True)
    with open(OUT, "w") as f:
        f.write("\n".join(lines) + "\n")
    print(" ".join("%s: %d" % (k, len(v)) for k, v in sorted(groups.items(), key=lambda kv: str(kv[0]))))


if __name__ == "__main__":
    os.makedirs(WORK, exist_ok=True)
    {"candidates": candidates, "label": label, "select": select}[sys.argv[1]]()
