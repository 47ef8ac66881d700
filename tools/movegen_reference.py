#!/usr/bin/env python3
"""Checks qvn's legal move lists against a reference engine (fairy-stockfish) and keeps the
positions with their expected move sets as test data.

The reference lists every legal move ("go perft 1"). Our generators leave out some legal
non-promotions by design, so the tool removes exactly those:
  not in check  - a pawn move into the promotion zone, a lance move to the last two ranks,
                  a bishop or rook move whose origin or target is in the zone;
  in check      - (the king's moves are all kept) a pawn, lance, bishop or rook move whose
                  target is in the zone.
fairy-stockfish 11.1 also lists pawn-drop mates, so a checking pawn drop after which the
defender has no legal reply is removed as well.

  movegen_reference.py refresh   build the position sets, ask the reference, write
                                 tests/data/movegen/*.txt and compare with qvn-perft
  movegen_reference.py check     compare the committed sets with qvn-perft (no reference)
  movegen_reference.py compare F compare the positions of file F (one a line) live
  movegen_reference.py full      the committed positions live, every legal move (nothing
                                 removed but pawn-drop mates) against qvn-perft --full,
                                 the mate solver's full move lists
  movegen_reference.py perft P N the reference's perft of position P to depth N, with the
                                 same moves removed at every node

Data lines: "<position as after 'position '>\t<expected moves, sorted, space-separated>".
"""

import argparse
import os
import random
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from shogi_board import (  # noqa: E402
    PROMOTABLE, Board, DIAG, ORTH, edge_rank, on_board, other, parse_square, steps_and_slides)

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = os.path.join(ROOT, "tests", "data", "movegen")
GAMES = os.path.join(ROOT, "tests", "data", "games")
REFERENCE = "/usr/games/fairy-stockfish"
PERFT = os.path.join(ROOT, "build", "qvn-perft")
MOVE_LINE = re.compile(r"^(\S+): (\d+)$")


# ---- the reference engine -------------------------------------------------------------
class Reference:
    def __init__(self, path=REFERENCE):
        self.proc = subprocess.Popen([path], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)
        self.send("usi")
        self.wait("usiok")
        self.send("setoption name UCI_Variant value shogi")
        self.send("isready")
        self.wait("readyok")
        self.queries = 0

    def send(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()

    def wait(self, word):
        while True:
            line = self.proc.stdout.readline()
            if not line:
                raise RuntimeError("reference engine ended")
            if line.strip() == word:
                return

    def perft_lines(self, position, depth):
        self.send("position " + position)
        self.send("go perft %d" % depth)
        out = []
        while True:
            line = self.proc.stdout.readline()
            if not line:
                raise RuntimeError("reference engine ended")
            line = line.strip()
            if line.startswith("Nodes searched"):
                return out, int(line.split(":")[1])
            m = MOVE_LINE.match(line)
            if m:
                out.append((m.group(1), int(m.group(2))))

    def legal(self, position):
        self.queries += 1
        return [m for m, _ in self.perft_lines(position, 1)[0]]

    def close(self):
        self.send("quit")
        self.proc.wait()


def with_move(position, move):
    return position + (" " if " moves " in " " + position + " " else " moves ") + move


def omitted(board, move, in_check):
    """True for a legal non-promotion that our generators leave out by design."""
    if move[1] == "*" or move.endswith("+"):
        return False
    frm, to = parse_square(move[0:2]), parse_square(move[2:4])
    side, kind = board.squares[frm]
    zone_to, zone_from = edge_rank(side, to) <= 3, edge_rank(side, frm) <= 3
    if in_check:
        return kind in ("P", "L", "B", "R") and zone_to
    if kind == "P":
        return zone_to
    if kind == "L":
        return edge_rank(side, to) <= 2
    if kind in ("B", "R"):
        return zone_to or zone_from
    return False


def pawn_drop_mates(ref, position, board, move):
    if not (move[0] == "P" and move[1] == "*"):
        return False
    to = parse_square(move[2:4])
    if board.king(other(board.side)) != (to[0], to[1] + (-1 if board.side == "b" else 1)):
        return False  # no check
    return not ref.legal(with_move(position, move))


def expected_moves(ref, position, board=None, legal=None, full=False):
    """The reference's legal moves less our omissions (unless full) and pawn-drop mates, sorted."""
    board = board or Board.from_position(position)
    legal = legal if legal is not None else ref.legal(position)
    in_check = board.in_check()
    return sorted(m for m in legal
                  if (full or not omitted(board, m, in_check)) and not pawn_drop_mates(ref, position, board, m))


# ---- qvn-perft ------------------------------------------------------------------------
def qvn_divide(perft, positions, depth=1, full=False):
    """Root moves (or None when qvn could not set the position up) for each position."""
    r = subprocess.run([perft, "--divide", "--depth", str(depth)] + (["--full"] if full else []),
                       input="\n".join(positions) + "\n",
                       capture_output=True, text=True, check=True)
    blocks, cur = [], []
    for line in r.stdout.splitlines():
        if line.startswith("total:"):
            blocks.append(cur)
            cur = []
        elif line.startswith("error:"):
            blocks.append(None)
            cur = []
        else:
            cur.append(line.split(":")[0])
    if len(blocks) != len(positions):
        raise RuntimeError("qvn-perft answered %d of %d positions" % (len(blocks), len(positions)))
    return blocks


def compare(perft, entries, show=5, full=False):
    """entries: (position, expected moves). Prints mismatches; returns the number matched."""
    got = qvn_divide(perft, [p for p, _ in entries], full=full)
    matched = 0
    for (position, want), have in zip(entries, got):
        if have is not None and sorted(have) == sorted(want) and len(have) == len(set(have)):
            matched += 1
            continue
        if show > 0:
            show -= 1
            if have is None:
                print("  not set up: %s" % position)
                continue
            dup = sorted(m for m in set(have) if have.count(m) > 1)
            print("  %s\n    missing %s\n    extra   %s%s" % (position, sorted(set(want) - set(have)),
                  sorted(set(have) - set(want)), "\n    twice   %s" % dup if dup else ""))
    return matched


# ---- position sets --------------------------------------------------------------------
def read_games():
    games = []
    for name in sorted(os.listdir(GAMES)):
        if not name.endswith(".usi"):
            continue
        with open(os.path.join(GAMES, name)) as f:
            for line in f:
                if line.startswith("startpos"):
                    words = line.split()
                    games.append(words[2:] if len(words) > 2 else [])
    return games


def game_positions(rng):
    """Every fourth ply of each game (rotating), every ply in check, some whole games."""
    out = []
    for g, moves in enumerate(read_games()):
        b = Board.from_position("startpos")
        for k in range(len(moves) + 1):
            if k > 0:
                before = b.sfen()
                b.play(moves[k - 1])
            if k % 4 != g % 4 and not b.in_check():
                continue
            out.append("startpos" if k == 0 else "sfen %s moves %s" % (before, moves[k - 1]))
        if g % 20 == 0:
            out.append("startpos moves " + " ".join(moves))
    return out


def random_play(ref, rng, games, plies, keep_every):
    """Random legal games from the start and from game positions, biased to checks and captures."""
    out = []
    real = read_games()
    for g in range(games):
        if g % 2 == 0:
            position = "startpos"
        else:
            moves = rng.choice(real)
            position = "startpos moves " + " ".join(moves[: rng.randrange(len(moves) // 2 + 1)])
        b = Board.from_position(position)
        sfen_start = "sfen " + b.sfen()
        played = []
        for ply in range(plies):
            pos = sfen_start + (" moves " + " ".join(played) if played else "")
            legal = ref.legal(pos)
            legal = [m for m in legal if not pawn_drop_mates(ref, pos, b, m)]
            if not legal:
                break
            r = rng.random()
            pool = legal
            if r < 0.3:
                pool = [m for m in legal if b.gives_check(m)] or legal
            elif r < 0.6:
                pool = [m for m in legal if m[1] != "*" and parse_square(m[2:4]) in b.squares] or legal
            m = rng.choice(pool)
            b.play(m)
            played.append(m)
            if ply % keep_every == 0 or b.in_check():
                # Alternate the forms: a SFEN of the position, or the game's moves from a SFEN.
                out.append("sfen " + b.sfen() if ply % 2 else sfen_start + " moves " + " ".join(played))
    return out


PIECE_SET = ["P"] * 18 + ["L"] * 4 + ["N"] * 4 + ["S"] * 4 + ["G"] * 4 + ["B"] * 2 + ["R"] * 2
ALL_SQUARES = [(f, r) for f in range(1, 10) for r in range(1, 10)]


def can_stand(board, side, kind, sq):
    r = edge_rank(side, sq)
    if kind in ("P", "L") and r == 1 or kind == "N" and r <= 2:
        return False
    if kind == "P":
        return not any(board.squares.get((sq[0], rr)) == (side, "P") for rr in range(1, 10))
    return True


def place(rng, b, side, kind, squares=None, promote_rate=0.25):
    """Puts a piece of side on a random empty square where it may stand; False when none."""
    if kind in PROMOTABLE and rng.random() < promote_rate:
        kind = "+" + kind
    squares = [sq for sq in (squares or ALL_SQUARES) if sq not in b.squares]
    rng.shuffle(squares)
    for sq in squares:
        if kind.startswith("+") or can_stand(b, side, kind, sq):
            b.squares[sq] = (side, kind)
            return sq
    return None


def random_board(rng, on_board_count, hand_rate, side=None):
    b = Board()
    ks = rng.sample(ALL_SQUARES, 2)
    b.squares[ks[0]] = ("b", "K")
    b.squares[ks[1]] = ("w", "K")
    pieces = PIECE_SET[:]
    rng.shuffle(pieces)
    placed = 0
    for kind in pieces:
        owner = rng.choice("bw")
        if rng.random() < hand_rate:
            b.hands[owner][kind] = b.hands[owner].get(kind, 0) + 1
        elif placed < on_board_count and place(rng, b, owner, kind):
            placed += 1
    b.side = side or rng.choice("bw")
    return b


def legal_setup(b):
    """No more pieces than a set holds, and the side not to move is not in check."""
    count = {}
    for _, kind in b.squares.values():
        count[kind[-1]] = count.get(kind[-1], 0) + 1
    for hand in b.hands.values():
        for kind, n in hand.items():
            count[kind] = count.get(kind, 0) + n
    if any(n > PIECE_SET.count(kind) for kind, n in count.items() if kind != "K"):
        return False
    return not b.in_check(other(b.side))


def add_distant_check(rng, b):
    """Puts an enemy slider on a line to the mover's king, two or more squares away."""
    k = b.king(b.side)
    enemy = other(b.side)
    dirs = ORTH + DIAG
    rng.shuffle(dirs)
    for df, dr in dirs:
        line, t = [], (k[0] + df, k[1] + dr)
        while on_board(t) and t not in b.squares:
            line.append(t)
            t = (t[0] + df, t[1] + dr)
        if len(line) < 2:
            continue
        sq = rng.choice(line[1:])
        kinds = (["R", "+R"] if (df, dr) in ORTH else ["B", "+B"])
        # A lance checks along its file from behind, looking forward.
        if (df, dr) in ORTH and df == 0 and (0, -dr) in steps_and_slides("L", enemy)[1]:
            kinds.append("L")
        kind = rng.choice(kinds)
        if kind == "L" and not can_stand(b, enemy, kind, sq):
            continue
        b.squares[sq] = (enemy, kind)
        return True
    return False


def crafted(ref, rng, kind, count):
    """Random positions of one kind: check, pins, hands, general."""
    out = []
    tries = 0
    while len(out) < count and tries < count * 400:
        tries += 1
        if kind == "hands":
            b = random_board(rng, rng.randrange(0, 12), rng.uniform(0.7, 1.0))
        else:
            b = random_board(rng, rng.randrange(4, 32), rng.uniform(0.0, 0.5))
        if kind == "check" and rng.random() < 0.6:
            add_distant_check(rng, b)
        if not legal_setup(b):
            continue
        if kind == "check" and not b.in_check():
            continue
        if kind == "pins" and (b.in_check() or not b.pinned()):
            continue
        out.append("sfen " + b.sfen())
    return out


def every_piece_in_hand():
    """Kings alone on the board, every other piece in one hand: over 520 legal drops."""
    out = []
    for kings in (("5i", "5a"), ("1a", "9i"), ("5e", "1a"), ("9e", "2b")):
        for holder in "bw":
            for mover in "bw":
                b = Board()
                b.squares[parse_square(kings[0])] = ("b", "K")
                b.squares[parse_square(kings[1])] = ("w", "K")
                for kind in PIECE_SET:
                    b.hands[holder][kind] = b.hands[holder].get(kind, 0) + 1
                b.side = mover
                if legal_setup(b):
                    out.append("sfen " + b.sfen())
    return out


def pawn_drop_positions(ref, rng, count):
    """A king with the square in front of it open to a pawn drop: its neighbours blocked by
    its own pieces or covered by the attacker, the pawn's square usually supported, a few
    more pieces about (some defenders that may take the pawn, some of them pinned). Kept
    when the reference allows the checking drop; mates are favoured.
    Returns (positions, how many of them have a mating pawn drop)."""
    out, mates = [], 0
    tries = 0
    while len(out) < count and tries < count * 400:
        tries += 1
        attacker = rng.choice("bw")
        defender = other(attacker)
        b = Board()
        b.side = attacker
        # Kings near an edge give the most mates.
        k = rng.choice([sq for sq in ALL_SQUARES if rng.random() < 0.5 or edge_rank(attacker, sq) <= 2])
        toward = -1 if attacker == "b" else 1  # the attacker's pawn moves toward its rank 1
        p = (k[0], k[1] - toward)
        if not on_board(p):
            continue
        b.squares[k] = (defender, "K")
        b.hands[attacker]["P"] = 1 + rng.randrange(3)
        for df in (-1, 0, 1):
            for dr in (-1, 0, 1):
                t = (k[0] + df, k[1] + dr)
                if t in (k, p) or not on_board(t):
                    continue
                if rng.random() < 0.5:
                    place(rng, b, defender, rng.choice(["G", "S", "P", "N", "L", "+P", "B", "R"]), [t])
        # Support the pawn's square, then cover the open flight squares.
        targets = [p] if rng.random() < 0.9 else []
        targets += [(k[0] + df, k[1] + dr) for df in (-1, 0, 1) for dr in (-1, 0, 1)]
        for t in targets:
            if t == k or not on_board(t) or (t in b.squares and t != p) or rng.random() < 0.1:
                continue
            for _ in range(30):
                kind = rng.choice(["G", "S", "N", "L", "R", "B", "+R", "+B", "+P"])
                sq = place(rng, b, attacker, kind, promote_rate=0)
                if not sq:
                    continue
                if t in b.attacks_from(sq) and k not in b.attacks_from(sq) and sq != p:
                    break
                del b.squares[sq]
        for _ in range(rng.randrange(0, 6)):
            place(rng, b, rng.choice([attacker, defender]), rng.choice(PIECE_SET))
        place(rng, b, attacker, "K")
        for kind in rng.sample(PIECE_SET, rng.randrange(0, 6)):
            owner = rng.choice([attacker, defender])
            b.hands[owner][kind] = b.hands[owner].get(kind, 0) + 1
        if p in b.squares or not b.king(attacker) or not legal_setup(b) or b.in_check():
            continue
        if any(b.squares.get((p[0], r)) == (attacker, "P") for r in range(1, 10)):
            continue
        position = "sfen " + b.sfen()
        drop = "P*" + "%d%s" % (p[0], chr(ord("a") + p[1] - 1))
        if drop not in ref.legal(position):
            continue
        mate = not ref.legal(with_move(position, drop))
        if not mate and rng.random() < 0.6:
            continue  # keep the mates in good number
        mates += mate
        out.append(position)
    return out, mates


SETS = [  # file name, what it holds
    ("games.txt", "positions of real games (sfen before a ply plus that ply, some whole games)"),
    ("random_play.txt", "positions after random legal play from the start and from game positions"),
    ("checks.txt", "random positions in check: single, double, distant sliders"),
    ("pins.txt", "random positions with pinned pieces, not in check"),
    ("hands.txt", "random positions with most pieces in hand, and every piece in one hand"),
    ("general.txt", "random positions of any density"),
    ("pawn_drops.txt", "pawn drops in front of a king, mating and not"),
]


def build_sets(ref, seed, scale):
    rng = random.Random(seed)
    n = lambda k: max(1, int(k * scale))  # noqa: E731
    sets = {}
    t = time.time()
    sets["games.txt"] = game_positions(rng)
    sets["random_play.txt"] = random_play(ref, rng, n(40), 160, 3)
    sets["checks.txt"] = crafted(ref, rng, "check", n(1500))
    sets["pins.txt"] = crafted(ref, rng, "pins", n(600))
    sets["hands.txt"] = crafted(ref, rng, "hands", n(500)) + every_piece_in_hand()
    sets["general.txt"] = crafted(ref, rng, "general", n(500))
    sets["pawn_drops.txt"], mates = pawn_drop_positions(ref, rng, n(400))
    print("positions built in %.0f s (%d with a pawn-drop mate)" % (time.time() - t, mates), file=sys.stderr)
    return sets


def describe(positions):
    """Counts of features over a set, for the summary."""
    gote = check = double = distant = 0
    for pos in positions:
        b = Board.from_position(pos)
        gote += b.side == "w"
        c = b.checkers()
        check += bool(c)
        double += len(c) > 1
        k = b.king(b.side)
        distant += any(max(abs(sq[0] - k[0]), abs(sq[1] - k[1])) > 1 and b.squares[sq][1] != "N" for sq in c)
    return "gote to move %d, in check %d (double %d, distant slider %d)" % (gote, check, double, distant)


def write_set(name, entries):
    os.makedirs(DATA, exist_ok=True)
    with open(os.path.join(DATA, name), "w") as f:
        for position, moves in entries:
            f.write("%s\t%s\n" % (position, " ".join(moves)))


def read_set(path):
    entries = []
    with open(path) as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            position, _, moves = line.partition("\t")
            entries.append((position, moves.split()))
    return entries


# ---- commands -------------------------------------------------------------------------
def cmd_refresh(args):
    ref = Reference(args.reference)
    sets = build_sets(ref, args.seed, args.scale)
    total = matched = 0
    for name, _ in SETS:
        positions = sets[name]
        entries = [(pos, expected_moves(ref, pos)) for pos in positions]
        write_set(name, entries)
        m = compare(args.perft, entries)
        total += len(entries)
        matched += m
        print("%-16s %5d positions, %5d match; %s" % (name, len(entries), m, describe(positions)))
    print("all: %d positions, %d match, %d reference queries" % (total, matched, ref.queries))
    ref.close()
    return 0 if matched == total else 1


def cmd_check(args):
    total = matched = 0
    for name, _ in SETS:
        entries = read_set(os.path.join(DATA, name))
        m = compare(args.perft, entries)
        total += len(entries)
        matched += m
        print("%-16s %5d positions, %5d match" % (name, len(entries), m))
    print("all: %d positions, %d match" % (total, matched))
    return 0 if matched == total else 1


def cmd_compare(args):
    ref = Reference(args.reference)
    with open(args.file) as f:
        positions = [line.split("\t")[0].strip() for line in f if line.strip() and not line.startswith("#")]
    entries = [(pos, expected_moves(ref, pos)) for pos in positions]
    m = compare(args.perft, entries, show=20)
    print("%d positions, %d match" % (len(entries), m))
    ref.close()
    return 0 if m == len(entries) else 1


def cmd_full(args):
    ref = Reference(args.reference)
    total = matched = 0
    for name, _ in SETS:
        entries = read_set(os.path.join(DATA, name))[::args.every]
        entries = [(pos, expected_moves(ref, pos, full=True)) for pos, _ in entries]
        m = compare(args.perft, entries, full=True)
        total += len(entries)
        matched += m
        print("%-16s %5d positions, %5d match" % (name, len(entries), m), flush=True)
    print("all: %d positions, %d match" % (total, matched))
    ref.close()
    return 0 if matched == total else 1


def cmd_perft(args):
    ref = Reference(args.reference)

    def count(position, depth):
        moves = expected_moves(ref, position)
        if depth == 1:
            return len(moves)
        return sum(count(with_move(position, m), depth - 1) for m in moves)

    for d in range(1, args.depth + 1):
        print("depth %d: %d" % (d, count(args.position, d)), flush=True)
    ref.close()
    return 0


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--reference", default=REFERENCE)
    ap.add_argument("--perft", default=PERFT)
    sub = ap.add_subparsers(dest="command", required=True)
    r = sub.add_parser("refresh")
    r.add_argument("--seed", type=int, default=20261206)
    r.add_argument("--scale", type=float, default=1.0, help="size of the random sets")
    sub.add_parser("check")
    c = sub.add_parser("compare")
    c.add_argument("file")
    f = sub.add_parser("full")
    f.add_argument("--every", type=int, default=1, help="take every n-th position of each set")
    p = sub.add_parser("perft")
    p.add_argument("position")
    p.add_argument("depth", type=int)
    args = ap.parse_args()
    return {"refresh": cmd_refresh, "check": cmd_check, "compare": cmd_compare, "full": cmd_full,
            "perft": cmd_perft}[args.command](args)


if __name__ == "__main__":
    sys.exit(main())
