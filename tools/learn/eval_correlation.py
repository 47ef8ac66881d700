#!/usr/bin/env python3
"""How well evaluations rank positions: Spearman's rank correlation with a teacher's scores.

    tools/learn/eval_correlation.py tools/learn/lost-positions.tsv ../shared/learn/gpsusi_depth4.tsv \\
        --qvn "build/qvn-eval-positions" --qvn "build/qvn-eval-positions --net build/qvn.net"

Each file has a position (SFEN) and the teacher's score from the side to move's view in its
first two columns (the layout of tools/learn/make_lost_set.py's output). Evaluations, all from
the side to move's view:
  - material: the engine's piece values (pawn 128 ... dragon 1236), pieces in hand 10 % more;
  - fairy-stockfish: its static evaluation (the "eval" command), when it is installed;
  - each --qvn COMMAND: a program that reads SFENs, one a line, and writes one line of
    "name=value" words for each (qvn-eval-positions: the linear evaluation, the network's).
Prints one row per file: the number of positions and each evaluation's correlation.
"""

import argparse
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
from match import FSF  # noqa: E402

VALUE = {"P": 128, "L": 473, "N": 552, "S": 690, "G": 765, "B": 920, "R": 1017, "K": 0,
         "+P": 843, "+L": 712, "+N": 762, "+S": 736, "+B": 1161, "+R": 1236}


def ranks(values):
    """Ranks from 1, ties sharing their mean rank."""
    order = sorted(range(len(values)), key=lambda i: values[i])
    out = [0.0] * len(values)
    i = 0
    while i < len(order):
        j = i
        while j + 1 < len(order) and values[order[j + 1]] == values[order[i]]:
            j += 1
        for k in range(i, j + 1):
            out[order[k]] = (i + j) / 2.0 + 1
        i = j + 1
    return out


def spearman(a, b):
    ra, rb = ranks(a), ranks(b)
    n = len(a)
    ma, mb = sum(ra) / n, sum(rb) / n
    cov = sum((x - ma) * (y - mb) for x, y in zip(ra, rb))
    va = sum((x - ma) ** 2 for x in ra)
    vb = sum((y - mb) ** 2 for y in rb)
    return cov / (va * vb) ** 0.5 if va > 0 and vb > 0 else 0.0


def material(sfen):
    board, side, hand = sfen.split()[:3]
    total, promoted, count = 0.0, False, ""
    for ch in board:
        if ch == "+":
            promoted = True
        elif ch.isalpha():
            v = VALUE[("+" if promoted else "") + ch.upper()]
            total += v if ch.isupper() else -v
            promoted = False
    for ch in hand:
        if ch.isdigit():
            count += ch
        elif ch.isalpha():
            v = 1.1 * VALUE[ch.upper()] * int(count or "1")
            total += v if ch.isupper() else -v
            count = ""
    return total if side == "b" else -total


def fsf_static(sfens):
    """fairy-stockfish's static evaluation (it reports the first player's view, in pawns)."""
    lines = ["usi", "setoption name UCI_Variant value shogi"]
    for s in sfens:
        lines += ["position sfen " + s, "eval"]
    out = subprocess.run([FSF], input="\n".join(lines + ["quit"]) + "\n", capture_output=True, text=True).stdout
    values = [float(line.split()[2]) for line in out.splitlines() if line.startswith("Total evaluation:")]
    if len(values) != len(sfens):
        sys.exit("fairy-stockfish answered %d of %d evaluations" % (len(values), len(sfens)))
    return [v if s.split()[1] == "b" else -v for v, s in zip(values, sfens)]


def qvn_columns(command, sfens):
    out = subprocess.run(command.split(), input="\n".join(sfens) + "\n", capture_output=True, text=True)
    rows = [dict(w.split("=", 1) for w in line.split() if "=" in w) for line in out.stdout.splitlines()]
    if len(rows) != len(sfens):
        sys.exit("%s: %d answers to %d positions\n%s" % (command, len(rows), len(sfens), out.stderr))
    return {name: [float(r[name]) for r in rows] for name in rows[0]}


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("files", nargs="+")
    ap.add_argument("--qvn", action="append", default=[], help="a program giving qvn's evaluations")
    args = ap.parse_args()

    for path in args.files:
        rows = [line.rstrip("\n").split("\t") for line in open(path) if "\t" in line]
        sfens, teacher = [r[0] for r in rows], [float(r[1]) for r in rows]
        columns = {"material": [material(s) for s in sfens]}
        if os.access(FSF, os.X_OK):
            columns["fairy-stockfish"] = fsf_static(sfens)
        for i, command in enumerate(args.qvn):
            for name, values in qvn_columns(command, sfens).items():
                columns[name if len(args.qvn) == 1 else "%s(%d)" % (name, i + 1)] = values
        print("%s: %d positions  %s" % (os.path.basename(path), len(rows), "  ".join(
            "%s %.3f" % (name, spearman(values, teacher)) for name, values in columns.items())))


if __name__ == "__main__":
    main()
