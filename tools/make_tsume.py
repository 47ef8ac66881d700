#!/usr/bin/env python3
"""Collects mate-in-1 and mate-in-3 (plies) positions for the search tests.

Candidates are the last positions of the game records, as played and with the other
side to move (the winner usually threatens mate). The reference engine fairy-stockfish
(Debian package) searches each; positions it scores as mate in 1 or 3 plies
are kept (in USI mode it gives mate distances in plies), unless a mating move is a pawn
drop (it wrongly allows pawn-drop mates).

    tools/make_tsume.py tests/data/games/*.usi > tests/data/tsume.txt

Output lines: "<plies> sfen <sfen>" (plies 1 or 3).
"""
import subprocess
import sys

ENGINE = "/usr/games/fairy-stockfish"


class Reference:
    def __init__(self):
        self.p = subprocess.Popen([ENGINE], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)
        self.send("usi")
        self.send("setoption name UCI_Variant value shogi")
        self.send("isready")
        self.until("readyok")

    def send(self, line):
        self.p.stdin.write(line + "\n")

    def until(self, prefix):
        lines = []
        while True:
            line = self.p.stdout.readline()
            if not line:
                raise RuntimeError("reference engine ended")
            lines.append(line.rstrip("\n"))
            if line.startswith(prefix):
                return lines

    def board(self, position):
        self.send("position " + position)
        self.send("d")
        sfen, checkers = None, None
        for line in self.until("Checkers:"):
            if line.startswith("Sfen: "):
                sfen = line[6:]
            if line.startswith("Checkers:"):
                checkers = line[9:].strip()
        return sfen, checkers

    def mate(self, sfen, depth):
        self.send("position sfen " + sfen)
        self.send("go depth %d" % depth)
        score, pv = None, []
        for line in self.until("bestmove"):
            words = line.split()
            if words[:1] == ["info"] and "score" in words and "pv" in words:
                i = words.index("score")
                score = (words[i + 1], int(words[i + 2]))
                pv = words[words.index("pv") + 1:]
        return score, pv


def main():
    # How far back from the end of each game to look (plies).
    backs = range(0, 10)
    ref = Reference()
    seen = set()
    for name in sys.argv[1:]:
        for line in open(name):
            if not line.startswith("startpos"):
                continue
            moves = line.split()[2:]
            for back in backs:
                pos = "startpos moves " + " ".join(moves[:len(moves) - back])
                sfen, checkers = ref.board(pos)
                if not sfen:
                    continue
                fields = sfen.split()
                candidates = [sfen]
                if not checkers:
                    fields[1] = "w" if fields[1] == "b" else "b"
                    candidates.append(" ".join(fields))
                for c in candidates:
                    key = " ".join(c.split()[:3])
                    if key in seen:
                        continue
                    seen.add(key)
                    score, pv = ref.mate(c, 9)
                    if not score or score[0] != "mate" or score[1] not in (1, 3):
                        continue
                    plies = score[1]
                    if len(pv) < plies or pv[plies - 1].startswith("P*"):
                        continue
                    print("%d sfen %s" % (plies, key + " 1"), flush=True)


if __name__ == "__main__":
    main()
