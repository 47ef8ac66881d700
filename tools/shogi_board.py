"""A small independent shogi board for the test tools: USI positions, moves, attacks, SFEN.

It knows the geometry of the pieces and nothing of legality beyond "is this square
attacked"; the legal moves themselves come from the reference engine.
"""

START_SFEN = "lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL b - 1"
HAND_ORDER = "RBGSNLP"
PROMOTABLE = set("PLNSBR")

ORTH = [(0, 1), (0, -1), (1, 0), (-1, 0)]
DIAG = [(1, 1), (1, -1), (-1, 1), (-1, -1)]


def steps_and_slides(kind, side):
    """(steps, slides) of a piece as (file, rank) vectors; side 'b' moves toward rank 1."""
    f = -1 if side == "b" else 1  # forward in ranks
    gold = [(0, f), (-1, f), (1, f), (-1, 0), (1, 0), (0, -f)]
    table = {
        "P": ([(0, f)], []),
        "L": ([], [(0, f)]),
        "N": ([(-1, 2 * f), (1, 2 * f)], []),
        "S": ([(0, f), (-1, f), (1, f), (-1, -f), (1, -f)], []),
        "G": (gold, []),
        "+P": (gold, []),
        "+L": (gold, []),
        "+N": (gold, []),
        "+S": (gold, []),
        "B": ([], DIAG),
        "R": ([], ORTH),
        "+B": (ORTH, DIAG),
        "+R": (DIAG, ORTH),
        "K": (ORTH + DIAG, []),
    }
    return table[kind]


def on_board(sq):
    return 1 <= sq[0] <= 9 and 1 <= sq[1] <= 9


def parse_square(text):
    return (int(text[0]), ord(text[1]) - ord("a") + 1)


def square_text(sq):
    return "%d%s" % (sq[0], chr(ord("a") + sq[1] - 1))


def edge_rank(side, sq):
    """1 on the last rank the side moves toward, 3 on its third."""
    return sq[1] if side == "b" else 10 - sq[1]


def other(side):
    return "w" if side == "b" else "b"


class Board:
    def __init__(self):
        self.squares = {}  # (file, rank) -> (side, kind)
        self.hands = {"b": {}, "w": {}}
        self.side = "b"

    # ---- set-up ---------------------------------------------------------------------
    @staticmethod
    def from_sfen(sfen):
        fields = sfen.split()
        b = Board()
        rank, file = 1, 9
        promoted = False
        for ch in fields[0]:
            if ch == "/":
                rank, file = rank + 1, 9
            elif ch.isdigit():
                file -= int(ch)
            elif ch == "+":
                promoted = True
            else:
                side = "b" if ch.isupper() else "w"
                kind = ("+" if promoted else "") + ch.upper()
                b.squares[(file, rank)] = (side, kind)
                file -= 1
                promoted = False
        b.side = fields[1] if len(fields) > 1 else "b"
        hand = fields[2] if len(fields) > 2 else "-"
        count = ""
        for ch in hand:
            if ch == "-":
                continue
            if ch.isdigit():
                count += ch
                continue
            side = "b" if ch.isupper() else "w"
            b.hands[side][ch.upper()] = b.hands[side].get(ch.upper(), 0) + int(count or "1")
            count = ""
        return b

    @staticmethod
    def from_position(text):
        """A board from the arguments of the USI "position" command."""
        words = text.split()
        if words[0] == "startpos":
            b = Board.from_sfen(START_SFEN)
            rest = words[1:]
        else:
            assert words[0] == "sfen"
            end = words.index("moves") if "moves" in words else len(words)
            b = Board.from_sfen(" ".join(words[1:end]))
            rest = words[end:]
        if rest and rest[0] == "moves":
            for m in rest[1:]:
                b.play(m)
        return b

    def sfen(self):
        rows = []
        for rank in range(1, 10):
            row, empty = "", 0
            for file in range(9, 0, -1):
                piece = self.squares.get((file, rank))
                if not piece:
                    empty += 1
                    continue
                if empty:
                    row += str(empty)
                    empty = 0
                side, kind = piece
                row += kind if side == "b" else kind.lower()
            if empty:
                row += str(empty)
            rows.append(row)
        hand = ""
        for side in "bw":
            for k in HAND_ORDER:
                n = self.hands[side].get(k, 0)
                if n:
                    letter = k if side == "b" else k.lower()
                    hand += (str(n) if n > 1 else "") + letter
        return "%s %s %s 1" % ("/".join(rows), self.side, hand or "-")

    def copy(self):
        b = Board()
        b.squares = dict(self.squares)
        b.hands = {"b": dict(self.hands["b"]), "w": dict(self.hands["w"])}
        b.side = self.side
        return b

    # ---- moves ----------------------------------------------------------------------
    def play(self, usi):
        side = self.side
        if usi[1] == "*":
            kind = usi[0].upper()
            to = parse_square(usi[2:4])
            self.hands[side][kind] -= 1
            self.squares[to] = (side, kind)
        else:
            frm, to = parse_square(usi[0:2]), parse_square(usi[2:4])
            _, kind = self.squares.pop(frm)
            captured = self.squares.get(to)
            if captured:
                base = captured[1][-1]
                self.hands[side][base] = self.hands[side].get(base, 0) + 1
            if usi.endswith("+"):
                kind = "+" + kind
            self.squares[to] = (side, kind)
        self.side = other(side)

    def after(self, usi):
        b = self.copy()
        b.play(usi)
        return b

    # ---- attacks --------------------------------------------------------------------
    def attacks_from(self, sq):
        side, kind = self.squares[sq]
        steps, slides = steps_and_slides(kind, side)
        out = []
        for df, dr in steps:
            t = (sq[0] + df, sq[1] + dr)
            if on_board(t):
                out.append(t)
        for df, dr in slides:
            t = (sq[0] + df, sq[1] + dr)
            while on_board(t):
                out.append(t)
                if t in self.squares:
                    break
                t = (t[0] + df, t[1] + dr)
        return out

    def attackers(self, target, by):
        return [sq for sq, (s, _) in list(self.squares.items()) if s == by and target in self.attacks_from(sq)]

    def king(self, side):
        for sq, piece in self.squares.items():
            if piece == (side, "K"):
                return sq
        return None

    def checkers(self, side=None):
        """The pieces that check side's king (default: the side to move)."""
        side = side or self.side
        k = self.king(side)
        return self.attackers(k, other(side)) if k else []

    def in_check(self, side=None):
        return bool(self.checkers(side))

    def pinned(self, side=None):
        """Squares of side's pieces pinned to its king."""
        side = side or self.side
        k = self.king(side)
        out = []
        if not k:
            return out
        for df, dr in ORTH + DIAG:
            t, first = (k[0] + df, k[1] + dr), None
            while on_board(t):
                if t in self.squares:
                    if first is None:
                        if self.squares[t][0] != side:
                            break
                        first = t
                    else:
                        s, kind = self.squares[t]
                        if s != side:
                            _, slides = steps_and_slides(kind, s)
                            if (-df, -dr) in slides:
                                out.append(first)
                        break
                t = (t[0] + df, t[1] + dr)
        return out

    def gives_check(self, usi):
        """The move checks the opponent's king."""
        return self.after(usi).in_check()
