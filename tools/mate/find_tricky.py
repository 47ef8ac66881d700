#!/usr/bin/env python3
"""Finds tricky mate problems among random positions around a king in its corner.

    tools/mate/find_tricky.py [--count N] [--seed S]

Prints candidates of three kinds, each with qvn-mate's answers:
  plain-only   mated with the solver's full moves, but not with the search generators'
               moves (qvn-mate --plain 0 proves no mate): only a plain pawn, lance,
               bishop or rook move mates;
  pawn-trap    a pawn drop in front of the king would mate (qvn-perft: no reply), so it
               is illegal and must never be the answer;
  perpetual    no mate, and the no-mate rests on repetitions (a perpetual check).
Used by hand to pick the tricky problems of tests/data/mate/tricky.txt.
"""
import os
import random
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from shogi_board import Board, edge_rank  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.path.join(ROOT, "build")


def random_position(rng):
    b = Board()
    b.side = "b"
    kf, kr = rng.randint(1, 4), rng.randint(1, 3)
    b.squares[(kf, kr)] = ("w", "K")
    used = {(kf, kr)}

    def place(side, kinds, files, ranks):
        for _ in range(50):
            sq = (rng.randint(*files), rng.randint(*ranks))
            kind = rng.choice(kinds)
            if sq in used:
                continue
            base = kind[-1]
            if base in "PL" and edge_rank(side, sq) < 2 and not kind.startswith("+"):
                continue
            if base == "N" and edge_rank(side, sq) < 3 and not kind.startswith("+"):
                continue
            if kind == "P" and any(b.squares.get((sq[0], r)) == (side, "P") for r in range(1, 10)):
                continue
            b.squares[sq] = (side, kind)
            used.add(sq)
            return

    for _ in range(rng.randint(1, 5)):
        place("w", ["P", "G", "S", "L", "N", "+P", "B", "R"], (max(1, kf - 2), min(9, kf + 2)), (1, min(9, kr + 2)))
    # A bishop or rook near the zone and a pawn in hand: where plain moves and pawn drops matter.
    place("b", ["B", "R", "L", "P"], (1, min(9, kf + 4)), (1, 5))
    for _ in range(rng.randint(0, 3)):
        place("b", ["P", "L", "N", "S", "G", "B", "R", "+B", "+R", "+P"], (1, min(9, kf + 4)), (1, 7))
    if rng.random() < 0.7:
        b.hands["b"]["P"] = 1
    for _ in range(rng.randint(0, 2)):
        k = rng.choice("PLNSGBR")
        b.hands["b"][k] = b.hands["b"].get(k, 0) + 1
    if rng.random() < 0.5:
        for k in rng.sample("PLNSG", rng.randint(0, 3)):
            b.hands["w"][k] = 1
    if b.in_check("w"):
        return None
    return b


def run(args, text):
    return subprocess.run(args, input=text, capture_output=True, text=True, cwd=BUILD).stdout.splitlines()


def main():
    count = int(sys.argv[sys.argv.index("--count") + 1]) if "--count" in sys.argv else 3000
    seed = int(sys.argv[sys.argv.index("--seed") + 1]) if "--seed" in sys.argv else 1
    rng = random.Random(seed)
    boards = []
    while len(boards) < count:
        b = random_position(rng)
        if b:
            boards.append(b)
    text = "".join("%d sfen %s\n" % (i, b.sfen()) for i, b in enumerate(boards))
    full = run(["./qvn-mate", "--time", "300"], text)
    plain = run(["./qvn-mate", "--time", "300", "--plain", "0"], text)
    pf = {l.split()[0]: l for l in full if l.split()[0].isdigit()}
    pp = {l.split()[0]: l for l in plain if l.split()[0].isdigit()}
    # Pawn-drop traps: the drop in front of the king leaves no legal reply.
    traps = []
    for i, b in enumerate(boards):
        if not b.hands["b"].get("P"):
            continue
        kf, kr = b.king("w")
        sq = (kf, kr + 1)
        if kr + 1 > 9 or sq in b.squares or any(b.squares.get((kf, r)) == ("b", "P") for r in range(1, 10)):
            continue
        traps.append((i, "%d%s" % (sq[0], "abcdefghi"[sq[1] - 1])))
    perft = run(["./qvn-perft"], "".join("sfen %s moves P*%s\n" % (boards[i].sfen(), s) for i, s in traps))
    totals = [l for l in perft if l.startswith("total") or l.startswith("error")]
    for (i, s), t in zip(traps, totals):
        if t == "total: 0":
            print("pawn-trap P*%s sfen %s | %s" % (s, boards[i].sfen(), pf[str(i)]))
    for i, b in enumerate(boards):
        f, p = pf[str(i)].split(), pp[str(i)].split()
        if f[1] == "mate" and p[1].startswith("nomate"):
            print("plain-only sfen %s | %s" % (b.sfen(), pf[str(i)]))
        if f[1] == "nomate-rep":
            print("perpetual sfen %s | %s" % (b.sfen(), pf[str(i)]))


if __name__ == "__main__":
    main()
