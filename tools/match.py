#!/usr/bin/env python3
"""Plays a match between two USI engines and prints W/D/L and an Elo estimate for the first.

    tools/match.py qvn gpsusi --games 40 --byoyomi 1000
    tools/match.py fairy-stockfish gpsusi --games 4 --byoyomi 300 --parallel 2
    tools/match.py ./other-engine fsf --dir1 /some/dir --option1 USI_Hash=256 --time 60000 --byoyomi 1000

An engine is a preset (qvn, gpsusi or gps, fairy-stockfish or fsf) or the path of a USI engine.
Games start from the first --opening-plies plies of the records in tests/data/games/*.usi; each
opening is played twice with the colours swapped. Every move is checked against the legal moves
of a separate fairy-stockfish; the games are written as USI move lists, one game a line, after a
"# game N black=... white=... result=... reason=... plies=N" line.

Clock rules (all times as seen by this script, from writing "go" to reading "bestmove"):
  - an engine may think until its main time plus byoyomi (or main time alone with --inc) is used;
    then it is sent "stop" (gpsusi runs far past a short byoyomi unless told);
  - a bestmove arriving later than that by at most --tolerance ms (default 500) is accepted and
    counted as "late"; later than that loses on time. The margin absorbs this script's own delays
    on a busy two-core machine (a "stop" sent 100 ms late was seen) and gpsusi's answer to "stop"
    (up to 270 ms seen under load); the summary shows every late reply and the worst overrun, so an
    engine that must answer within its byoyomi is judged by those columns;
  - no bestmove --hang ms (default 5000) after the deadline counts as no reply: the process is
    killed and the game lost as a crash, like a process that dies;
  - with --inc the increment is the engine's for the move it is asked for: it may use its main
    time plus the increment ("go btime 0 binc 5000" is a 0 + 5 s game), and what it leaves is
    its main time for the next move;
  - with --nodes N every engine is sent "go nodes N" and there is no clock: an engine is sent
    "stop" only after --node-hang ms (default 60000) and never loses on time.
Game ends: checkmate (the side to move has no legal move), "bestmove resign", an illegal move
(including a pawn-drop mate, which fairy-stockfish wrongly lists as legal), "bestmove win" (kept
when the entering-king declaration holds by the 28/27-point rule, lost otherwise), the fourth
occurrence of a position (a draw, unless one side checked with every move since the position first
occurred: that side loses), and the ply limit (a draw). fairy-stockfish never resigns, so its lost
games are played out to mate or to the ply limit.
"""

import argparse
import glob
import math
import os
import queue
import random
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from shogi_board import Board, edge_rank, other, parse_square  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FSF = "/usr/games/fairy-stockfish"
GPSUSI = "/usr/games/gpsusi"
GPS_DATA = "/usr/share/gpsshogi-data/data"
SIDE_NAME = {"b": "black", "w": "white"}

# name -> (path, working directory or None, setoption pairs, quirks)
PRESETS = {
    "qvn": (os.path.join(ROOT, "build", "qvn"), os.path.join(ROOT, "build"), [], ""),
    # gpsusi calls its thread count "Thread"; it has no "Threads".
    "gpsusi": (GPSUSI, None, [("Thread", "1")], "gps"),
    "fairy-stockfish": (FSF, None, [("UCI_Variant", "shogi"), ("Threads", "1")], "fsf"),
}
ALIASES = {"gps": "gpsusi", "fsf": "fairy-stockfish"}
SHORT = {"gpsusi": "gps", "fairy-stockfish": "fsf"}


# ---- pure rules ----------------------------------------------------------------------------
def position_key(board):
    """The position for repetition: board, side to move and hands, without a move number."""
    return board.sfen().rsplit(" ", 1)[0]


def repetition(keys, checks):
    """None, "draw", or the side ("b"/"w") that loses by perpetual check.

    keys[i] is the position after i plies (keys[0] the start), checks[i] whether the side to
    move is in check there. Decided when the last position occurs for the fourth time; a side
    loses when every move it made since the first of the four occurrences gave check.
    """
    last = len(keys) - 1
    seen = [i for i in range(last + 1) if keys[i] == keys[last]]
    if len(seen) < 4:
        return None
    first = seen[0]
    # ply i (1-based) led to keys[i]; the side that played it is the one not to move there.
    movers = {"b": [], "w": []}
    for i in range(first + 1, last + 1):
        mover = other(keys[i].split()[1])
        movers[mover].append(checks[i])
    perpetual = [s for s in "bw" if movers[s] and all(movers[s])]
    if len(perpetual) == 1:
        return perpetual[0]
    return "draw"


def is_pawn_drop_check(board, move):
    """A pawn drop onto the square in front of the enemy king (the only way a drop checks with a pawn)."""
    if not (move.startswith("P*") and len(move) == 4):
        return False
    to = parse_square(move[2:4])
    forward = -1 if board.side == "b" else 1
    return board.king(other(board.side)) == (to[0], to[1] + forward)


def drop_legal_moves(board, moves, replies):
    """The reference's legal moves less pawn-drop mates.

    replies(move) gives the number of legal replies after the move; it is asked only for pawn
    drops that check, the only moves the reference lists wrongly.
    """
    return [m for m in moves if not (is_pawn_drop_check(board, m) and replies(m) == 0)]


def declaration_ok(board):
    """The side to move may declare a win by entering king (28 points for black, 27 for white)."""
    side = board.side
    king = board.king(side)
    if king is None or edge_rank(side, king) > 3 or board.in_check():
        return False
    in_zone = [kind for sq, (s, kind) in board.squares.items()
               if s == side and kind != "K" and edge_rank(side, sq) <= 3]
    if len(in_zone) < 10:
        return False
    points = sum(5 if kind.lstrip("+") in ("B", "R") else 1 for kind in in_zone)
    points += sum(n * (5 if kind in ("B", "R") else 1) for kind, n in board.hands[side].items())
    return points >= (28 if side == "b" else 27)


def elo(score):
    return -400.0 * math.log10(1.0 / score - 1.0)


def elo_estimate(wins, draws, losses, z=1.96):
    """(elo, margin) from the first engine's view; margin is the half-width of the z-interval
    of the score (95% by default) taken through the Elo curve. None where not defined."""
    n = wins + draws + losses
    if n == 0:
        return None, None
    s = (wins + 0.5 * draws) / n
    var = (wins * (1 - s) ** 2 + draws * (0.5 - s) ** 2 + losses * s ** 2) / n
    se = math.sqrt(var / n)
    if s <= 0.0 or s >= 1.0:
        return (math.inf if s >= 1.0 else -math.inf), None
    eps = 1e-6
    lo, hi = max(eps, s - z * se), min(1 - eps, s + z * se)
    return elo(s), (elo(hi) - elo(lo)) / 2


def elo_bound(games):
    """With every game lost, the Elo lies below this with 95% confidence (all won: above its negation)."""
    return elo(1.0 - 0.05 ** (1.0 / games))


def read_openings(paths, plies):
    """Distinct first-`plies` move sequences of the game records (lines "startpos moves ...");
    plies None takes every line whole (a file of openings)."""
    out, seen = [], set()
    for path in paths:
        with open(path) as f:
            for line in f:
                words = line.split()
                if not words or words[0] != "startpos":
                    continue
                moves = tuple(words[2:] if plies is None else words[2:2 + plies])
                if (plies is None or len(moves) == plies) and moves not in seen:
                    seen.add(moves)
                    out.append(list(moves))
    return out


# ---- processes -----------------------------------------------------------------------------
class Ended(Exception):
    """The process ended or did not answer in time."""


class ReferenceFailed(Exception):
    """The judge of legality failed: the match cannot go on."""


class Process:
    """A child speaking a line protocol; a thread stamps each line with its arrival time."""

    def __init__(self, label, argv, cwd=None, env=None, log=None):
        self.label, self.log = label, log
        self.proc = subprocess.Popen(argv, cwd=cwd, env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, text=True, bufsize=1)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            self.lines.put((time.monotonic(), line.rstrip("\r\n")))
            if self.log:
                self.log.write(self.label, "<", line.rstrip("\r\n"))
        self.lines.put((time.monotonic(), None))

    def send(self, line):
        if self.log:
            self.log.write(self.label, ">", line)
        try:
            self.proc.stdin.write(line + "\n")
            self.proc.stdin.flush()
        except (BrokenPipeError, OSError, ValueError):
            raise Ended("%s: process ended" % self.label)

    def get(self, timeout):
        """(arrival time, line); raises Ended at end of output, queue.Empty on timeout."""
        at, line = self.lines.get(timeout=max(0.0, timeout))
        if line is None:
            self.lines.put((at, None))  # keep reporting the end
            raise Ended("%s: process ended" % self.label)
        return at, line

    def wait_for(self, prefix, timeout):
        end = time.monotonic() + timeout
        while True:
            try:
                at, line = self.get(end - time.monotonic())
            except queue.Empty:
                raise Ended("%s: no '%s' within %.0f s" % (self.label, prefix, timeout))
            if line.split(" ", 1)[0] == prefix:
                return at, line

    def drain(self):
        """The lines waiting now; the end-of-output mark stays for the next get()."""
        out = []
        while True:
            try:
                at, line = self.lines.get_nowait()
            except queue.Empty:
                return out
            if line is None:
                self.lines.put((at, None))
                return out
            out.append((at, line))

    def close(self, quit_line="quit"):
        if self.proc.poll() is None:
            try:
                self.send(quit_line)
            except Ended:
                pass
            try:
                self.proc.wait(timeout=3)
            except subprocess.TimeoutExpired:
                self.kill()
        self.proc.wait()

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()


class Log:
    def __init__(self, path):
        self.f = open(path, "a", buffering=1)
        self.lock = threading.Lock()
        self.t0 = time.monotonic()

    def write(self, label, way, line):
        with self.lock:
            self.f.write("%10.3f %s %s %s\n" % (time.monotonic() - self.t0, label, way, line))


class Reference:
    """fairy-stockfish as the judge of legal moves ("go perft 1" lists them)."""

    def __init__(self, path, log=None, label="ref"):
        self.p = Process(label, [path], log=log)
        self.p.send("usi")
        self.p.wait_for("usiok", 30)
        self.p.send("setoption name UCI_Variant value shogi")
        self.p.send("setoption name Threads value 1")
        self.p.send("isready")
        self.p.wait_for("readyok", 30)

    def listed(self, moves, start="startpos"):
        try:
            return self._listed(moves, start)
        except Ended as e:
            raise ReferenceFailed(str(e))

    def _listed(self, moves, start):
        self.p.send("position " + start + (" moves " + " ".join(moves) if moves else ""))
        self.p.send("go perft 1")
        out = []
        while True:
            try:
                _, line = self.p.get(30)
            except queue.Empty:
                raise Ended("reference: no perft answer")
            if line.startswith("Nodes searched"):
                return out
            head, _, count = line.partition(": ")
            if count.strip().isdigit() and " " not in head:
                out.append(head)

    def legal(self, moves, board, start="startpos"):
        """The legal moves after `moves` from `start` (board is that position)."""
        return drop_legal_moves(board, self.listed(moves, start), lambda m: len(self.listed(moves + [m], start)))

    def close(self):
        self.p.close()


class EngineSetup:
    def __init__(self, text, name, cwd, options):
        preset = ALIASES.get(text, text)
        if preset in PRESETS:
            path, pcwd, popts, quirks = PRESETS[preset]
            self.name = name or SHORT.get(preset, preset)
        else:
            path, pcwd, popts = os.path.abspath(text), None, []
            base = os.path.basename(path)
            quirks = "gps" if "gpsusi" in base else "fsf" if "fairy-stockfish" in base else ""
            self.name = name or base
        self.path, self.quirks = path, quirks
        self.cwd = os.path.abspath(cwd) if cwd else (pcwd or os.path.dirname(path))
        self.options = list(popts)
        for o in options:
            key, eq, value = o.partition("=")
            self.options.append((key.strip(), value.strip() if eq else None))
        if not os.access(self.path, os.X_OK):
            sys.exit("match.py: %s is not an executable" % self.path)


class Engine:
    """One running player; restarted after it dies or hangs."""

    def __init__(self, setup, label, log=None, start_timeout=60.0):
        self.setup, self.label, self.log = setup, label, log
        self.start_timeout = start_timeout
        self.p, self.osl_home = None, None

    def alive(self):
        return self.p is not None and self.p.proc.poll() is None

    def start(self):
        env = None
        if self.setup.quirks == "gps":
            # gpsusi stores every setoption in $OSL_HOME and reads it back on the next start:
            # a private home per process keeps runs (and parallel games) apart.
            self.osl_home = tempfile.mkdtemp(prefix="match-osl-")
            os.symlink(GPS_DATA, os.path.join(self.osl_home, "data"))
            env = dict(os.environ, OSL_HOME=self.osl_home)
        self.p = Process(self.label, [self.setup.path], cwd=self.setup.cwd, env=env, log=self.log)
        self.p.send("usi")
        advertised = set()
        while True:
            try:
                _, line = self.p.get(self.start_timeout)
            except queue.Empty:
                raise Ended("%s: no usiok" % self.label)
            if line == "usiok":
                break
            if line.startswith("option name "):
                advertised.add(line[len("option name "):].split(" type ")[0])
        for key, value in self.setup.options:
            if key not in advertised:
                warn("%s does not list option '%s'; sending it anyway" % (self.setup.name, key))
            self.p.send("setoption name %s%s" % (key, "" if value is None else " value " + value))
        self.ready(self.start_timeout)

    def ready(self, timeout):
        self.p.send("isready")
        self.p.wait_for("readyok", timeout)

    def new_game(self):
        if not self.alive():
            self.stop_process(kill=True)
            self.start()
        else:
            self.ready(self.start_timeout)
        self.p.send("usinewgame")

    def go_line(self, clocks, byoyomi, inc, nodes=0):
        if nodes:
            return "go nodes %d" % nodes
        b, w = int(clocks["b"]), int(clocks["w"])
        if self.setup.quirks == "fsf":
            b, w = w, b  # fairy-stockfish takes btime (and binc) as white's and wtime as black's
        line = "go btime %d wtime %d" % (b, w)
        if inc and self.setup.quirks == "gps":
            # gpsusi dies on "binc"; told nothing of the increment it only plays safe on main time.
            line += " byoyomi 0"
        elif inc:
            line += " binc %d winc %d" % (inc, inc)
        else:
            line += " byoyomi %d" % byoyomi
        return line

    def stop_process(self, kill=False):
        if self.p is not None:
            if kill:
                self.p.kill()
            else:
                self.p.close()
            self.p = None
        if self.osl_home:
            shutil.rmtree(self.osl_home, ignore_errors=True)
            self.osl_home = None


_warned = set()
_print_lock = threading.Lock()


def warn(text):
    with _print_lock:
        if text not in _warned:
            _warned.add(text)
            print("warning: " + text, file=sys.stderr)


# ---- one game ------------------------------------------------------------------------------
class Stats:
    def __init__(self):
        self.moves = 0
        self.total_ms = 0.0
        self.max_ms = 0.0
        self.max_over_ms = -math.inf  # most time past the deadline (negative: always in time)
        self.late = 0      # bestmove after the deadline but within the tolerance
        self.stopped = 0   # had to be sent "stop"
        self.protocol = 0  # output between a bestmove and the next go (extra bestmove or info)

    def add(self, other_stats):
        self.moves += other_stats.moves
        self.total_ms += other_stats.total_ms
        self.max_ms = max(self.max_ms, other_stats.max_ms)
        self.max_over_ms = max(self.max_over_ms, other_stats.max_over_ms)
        self.late += other_stats.late
        self.stopped += other_stats.stopped
        self.protocol += other_stats.protocol


class Result:
    def __init__(self, winner, reason, kind=None):
        self.winner = winner  # "b", "w" or None for a draw
        self.reason = reason
        self.kind = kind      # "illegal", "crash", "time" for a loss by fault of the loser


MATE_SCORE = 1000000


def parse_score(line):
    """The score of an "info" line from its sender's view, mates as +-MATE_SCORE; None without one."""
    words = line.split()
    if "score" not in words:
        return None
    i = words.index("score")
    try:
        kind, value = words[i + 1], words[i + 2]
        if kind == "cp":
            return int(value)
        if kind == "mate":
            return -MATE_SCORE if value.startswith("-") else MATE_SCORE
    except (IndexError, ValueError):
        pass
    return None


def adjudicate(scores, bound, plies):
    """The side both engines agree is winning: the last plies scores (black's view, None where a
    move came without one) all at bound or beyond for the same side. None when not decided."""
    if bound <= 0 or len(scores) < plies:
        return None
    last = scores[-plies:]
    if all(s is not None and s >= bound for s in last):
        return "b"
    if all(s is not None and s <= -bound for s in last):
        return "w"
    return None


def play_game(opening, engines, ref, args):
    """Plays one game; engines maps "b"/"w" to Engine. Returns (Result, moves, {side: Stats})."""
    stats = {"b": Stats(), "w": Stats()}
    board = Board.from_position("startpos")
    moves, keys, checks = [], [position_key(board)], [False]
    scores = []  # each searched move's last reported score, from black's view
    for side in "bw":
        try:
            engines[side].new_game()
        except Ended:
            engines[side].stop_process(kill=True)
            return Result(other(side), "%s (%s) fails to start" % (SIDE_NAME[side], engines[side].setup.name),
                          "crash"), moves, stats
    for m in opening:
        if m not in ref.legal(moves, board):
            raise RuntimeError("opening move %s after '%s' is illegal" % (m, " ".join(moves)))
        board.play(m)
        moves.append(m)
        keys.append(position_key(board))
        checks.append(board.in_check())
    clocks = {"b": float(args.btime), "w": float(args.wtime)}

    def who(side):
        return "%s (%s)" % (SIDE_NAME[side], engines[side].setup.name)

    while True:
        side = board.side
        legal = ref.legal(moves, board)
        if not legal:
            return Result(other(side), "%s is checkmated" % SIDE_NAME[side] if board.in_check()
                          else "%s has no legal move" % SIDE_NAME[side]), moves, stats
        if len(moves) >= args.max_plies:
            return Result(None, "max plies (%d) reached" % args.max_plies), moves, stats
        engine, st = engines[side], stats[side]
        for _, line in engine.p.drain():
            if line.split(" ", 1)[0] in ("bestmove", "info"):
                st.protocol += 1
        allowed = args.node_hang if args.nodes else clocks[side] + (args.inc if args.inc else args.byoyomi)
        try:
            engine.p.send("position startpos" + (" moves " + " ".join(moves) if moves else ""))
            engine.p.send(engine.go_line(clocks, args.byoyomi, args.inc, args.nodes))
            t0 = time.monotonic()
            stop_sent = False
            score = None
            while True:
                limit = allowed + (args.hang if stop_sent else 0)
                try:
                    at, line = engine.p.get(t0 + limit / 1000.0 - time.monotonic())
                except queue.Empty:
                    if stop_sent:
                        engine.stop_process(kill=True)
                        return Result(other(side), "%s gives no reply" % who(side), "crash"), moves, stats
                    engine.p.send("stop")
                    stop_sent = True
                    st.stopped += 1
                    continue
                if line.startswith("bestmove"):
                    break
                if line.startswith("info"):
                    reported = parse_score(line)
                    score = score if reported is None else reported
        except Ended:
            engine.stop_process(kill=True)
            return Result(other(side), "%s crashes" % who(side), "crash"), moves, stats
        used = (at - t0) * 1000.0
        st.moves += 1
        st.total_ms += used
        st.max_ms = max(st.max_ms, used)
        st.max_over_ms = max(st.max_over_ms, used - allowed)
        if used > allowed + args.tolerance and not args.nodes:
            return Result(other(side), "%s loses on time (%.0f ms, allowed %.0f)" % (who(side), used, allowed),
                          "time"), moves, stats
        if used > allowed:
            st.late += 1
        if args.inc:
            clocks[side] = max(0.0, clocks[side] + args.inc - used)
        else:
            clocks[side] = max(0.0, clocks[side] - used)

        words = line.split()
        move = words[1] if len(words) > 1 else ""
        if move == "resign":
            return Result(other(side), "%s resigns" % who(side)), moves, stats
        if move == "win":
            if declaration_ok(board):
                return Result(side, "%s declares a win (entering king)" % who(side)), moves, stats
            return Result(other(side), "%s declares a win wrongly" % who(side), "illegal"), moves, stats
        if move not in legal:
            reason = ("%s plays a pawn-drop mate %s" if is_pawn_drop_check(board, move)
                      else "%s plays an illegal move %s") % (who(side), move or "(none)")
            return Result(other(side), reason, "illegal"), moves, stats
        board.play(move)
        moves.append(move)
        keys.append(position_key(board))
        checks.append(board.in_check())
        rep = repetition(keys, checks)
        if rep == "draw":
            return Result(None, "4-fold repetition (sennichite)"), moves, stats
        if rep:
            return Result(other(rep), "perpetual check by %s" % who(rep)), moves, stats
        scores.append(None if score is None else score if side == "b" else -score)
        winner = adjudicate(scores, args.resign, args.resign_plies)
        if winner:
            return Result(winner, "adjudicated: both engines see %s winning (%d or more for %d plies)"
                          % (who(winner), args.resign, args.resign_plies)), moves, stats


def finish_game(engines, result):
    for side in "bw":
        e = engines[side]
        if e.alive():
            word = "draw" if result.winner is None else "win" if result.winner == side else "lose"
            try:
                e.p.send("gameover " + word)
            except Ended:
                pass


# ---- the match -----------------------------------------------------------------------------
def fault_of(reason):
    """The kind of a loss by fault, read back from the reason written in the records."""
    if "loses on time" in reason:
        return "time"
    if any(w in reason for w in ("gives no reply", "crashes", "fails to start")):
        return "crash"
    if any(w in reason for w in ("illegal move", "pawn-drop mate", "declares a win wrongly")):
        return "illegal"
    return None


def read_records(path, names):
    """The games of an earlier run of the same match: game index -> record (timings not kept)."""
    records, header = {}, None
    with open(path) as f:
        for line in f:
            if line.startswith("# game "):
                header = line
            elif line.startswith("startpos") and header:
                fields = dict(w.split("=", 1) for w in header.split(" reason=")[0].split()[3:])
                reason = header.split(" reason=", 1)[1].rsplit(" plies=", 1)[0]
                g = int(header.split()[2]) - 1
                if fields["black"] not in names or fields["white"] not in names:
                    sys.exit("match.py: %s holds games of %s and %s, not of this match"
                             % (path, fields["black"], fields["white"]))
                bi = names.index(fields["black"])
                winner = {"1-0": "b", "0-1": "w"}.get(fields["result"])
                moves = line.split()[2:]
                records[g] = (bi, 1 - bi, Result(winner, reason, fault_of(reason)), moves,
                              {"b": Stats(), "w": Stats()})
                header = None
    return records


class Match:
    def __init__(self, args, setups, openings):
        self.args, self.setups, self.openings = args, setups, openings
        self.lock = threading.Lock()
        self.next_game = 0
        self.records = {}  # game index -> (black index, white index, Result, moves, stats)
        if args.resume and os.path.exists(args.out):
            self.records = read_records(args.out, [s.name for s in setups])
            print("resuming: %d games already in %s" % (len(self.records), args.out), flush=True)
        self.out = open(args.out, "a" if args.resume else "w", buffering=1)
        self.log = Log(args.log) if args.log else None
        self.error = None

    def stopping(self):
        """Asked under the lock before each new game: True ends the match early (a subclass decides)."""
        return False

    def game_setup(self, g):
        opening = self.openings[(g // 2) % len(self.openings)]
        first_black = g % 2 == 0
        return opening, (0, 1) if first_black else (1, 0)

    def worker(self, wid):
        ref = None
        players = [Engine(self.setups[i], "w%d.%s" % (wid, self.setups[i].name), self.log, self.args.start_timeout)
                   for i in range(2)]
        try:
            ref = Reference(self.args.reference, self.log, "w%d.ref" % wid)
            while True:
                with self.lock:
                    while self.next_game in self.records:
                        self.next_game += 1
                    if self.next_game >= self.args.games or self.error or self.stopping():
                        return
                    g = self.next_game
                    self.next_game += 1
                opening, (bi, wi) = self.game_setup(g)
                engines = {"b": players[bi], "w": players[wi]}
                result, moves, stats = play_game(opening, engines, ref, self.args)
                finish_game(engines, result)
                self.record(g, bi, wi, result, moves, stats)
        except Exception as e:  # the reference or the openings failed: stop the match
            with self.lock:
                self.error = self.error or e
        finally:
            for e in players:
                e.stop_process()
            if ref:
                ref.close()

    def record_lines(self, g):
        bi, wi, result, moves, _ = self.records[g]
        names = [s.name for s in self.setups]
        score = "1/2-1/2" if result.winner is None else "1-0" if result.winner == "b" else "0-1"
        return ("# game %d black=%s white=%s result=%s reason=%s plies=%d\n"
                % (g + 1, names[bi], names[wi], score, result.reason, len(moves))
                + "startpos moves" + "".join(" " + m for m in moves) + "\n")

    def record(self, g, bi, wi, result, moves, stats):
        names = [s.name for s in self.setups]
        score = "1/2-1/2" if result.winner is None else "1-0" if result.winner == "b" else "0-1"
        with self.lock:
            self.records[g] = (bi, wi, result, moves, stats)
            self.out.write(self.record_lines(g))  # at once, so that an interrupted run keeps its games
            if not self.args.quiet:
                w, d, l = self.wdl()
                print("game %3d  %s vs %s  %-7s %3d plies  %-50s [%s W/D/L %d/%d/%d]"
                      % (g + 1, names[bi], names[wi], score, len(moves), result.reason, names[0], w, d, l),
                      flush=True)

    def wdl(self, colour=None):
        w = d = l = 0
        for bi, wi, result, _, _ in self.records.values():
            first_side = "b" if bi == 0 else "w"
            if colour and colour != first_side:
                continue
            if result.winner is None:
                d += 1
            elif result.winner == first_side:
                w += 1
            else:
                l += 1
        return w, d, l

    def run(self):
        threads = [threading.Thread(target=self.worker, args=(i + 1,)) for i in range(self.args.parallel)]
        for t in threads:
            t.start()
        try:
            for t in threads:
                while t.is_alive():
                    t.join(0.5)
        except KeyboardInterrupt:
            with self.lock:
                self.error = self.error or KeyboardInterrupt("interrupted")
            print("\ninterrupted: finishing the games in progress", file=sys.stderr)
            for t in threads:
                t.join()
        self.out.close()
        if self.args.parallel > 1:  # games end out of order: put the file in game order
            with open(self.args.out, "w") as f:
                f.write("".join(self.record_lines(g) for g in sorted(self.records)))
        self.summary()
        if self.error and not isinstance(self.error, KeyboardInterrupt):
            print("match stopped: %s" % self.error, file=sys.stderr)
            return 2
        return 0

    def summary(self):
        a, names = self.args, [s.name for s in self.setups]
        n = len(self.records)
        tc = ("main %s/%s ms" % (a.btime, a.wtime) if a.btime or a.wtime else "") + \
             (" +%d ms/move" % a.inc if a.inc else (" byoyomi %d ms" % a.byoyomi if a.byoyomi else ""))
        if a.nodes:
            tc = "%d nodes a move" % a.nodes
        plies = "whole-line" if a.opening_plies is None else "%d-ply" % a.opening_plies
        print("\n%s vs %s: %d games, %s, %s openings, ply limit %d, time tolerance %d ms"
              % (names[0], names[1], n, tc.strip(), plies, a.max_plies, a.tolerance))
        w, d, l = self.wdl()
        if n:
            e, margin = elo_estimate(w, d, l)
            elo_text = ("%+d +- %d (95%%)" % (round(e), round(margin)) if margin is not None
                        else "+inf (95%%: above %+d)" % -round(elo_bound(n)) if e > 0
                        else "-inf (95%%: below %+d)" % round(elo_bound(n)))
            print("W/D/L for %s: %d/%d/%d  score %.1f%%  Elo %s" % (names[0], w, d, l, 100.0 * (w + 0.5 * d) / n,
                                                                  elo_text))
            for colour in "bw":
                cw, cd, cl = self.wdl(colour)
                print("  as %s: %d/%d/%d" % (SIDE_NAME[colour], cw, cd, cl))
        losses = [{"illegal": 0, "crash": 0, "time": 0} for _ in range(2)]
        stats = [Stats(), Stats()]
        reasons = {}
        for bi, wi, result, _, st in self.records.values():
            idx = {"b": bi, "w": wi}
            if result.kind:
                losses[idx[other(result.winner)]][result.kind] += 1
            for side in "bw":
                stats[idx[side]].add(st[side])
            key = result.reason.split(" (")[0] if "loses on time" in result.reason else result.reason
            reasons[key] = reasons.get(key, 0) + 1
        nw = max(8, len(names[0]), len(names[1]))
        print("%-*s  illegal  crash  time" % (nw + 1, "losses by"))
        for i in range(2):
            print("  %-*s %7d %6d %5d" % (nw, names[i], losses[i]["illegal"], losses[i]["crash"], losses[i]["time"]))
        print("%-*s    moves  mean ms  max ms  max past deadline  late  stopped  protocol" % (nw + 1, "timing"))
        for i in range(2):
            s = stats[i]
            over = "%+.0f ms" % s.max_over_ms if s.moves else "-"
            print("  %-*s %7d %8.0f %7.0f %18s %5d %8d %9d" % (nw, names[i], s.moves, s.total_ms / s.moves if s.moves else 0,
                                                           s.max_ms, over, s.late, s.stopped, s.protocol))
        print("results:")
        for reason, count in sorted(reasons.items(), key=lambda kv: -kv[1]):
            print("  %3d  %s" % (count, reason))
        print("games written to %s" % a.out)


def opening_plies(text):
    """--opening-plies: a number of plies, or "all" for whole lines."""
    return None if text == "all" else int(text)


def make_parser(doc=__doc__, games_help="number of games (default 2)", engines=2):
    """The options of a match; tools that play through this script add their own. With engines=1
    a single engine is named (engine, --name, --dir, --option) and --games is left out."""
    ap = argparse.ArgumentParser(description=doc.split("\n")[0],
                                 formatter_class=argparse.RawDescriptionHelpFormatter,
                                 epilog="\n".join(doc.split("\n")[1:]))
    if engines == 1:
        ap.add_argument("engine", help="preset (qvn, gpsusi/gps, fairy-stockfish/fsf) or path")
    else:
        ap.add_argument("engine1", help="preset (qvn, gpsusi/gps, fairy-stockfish/fsf) or path; results are its view")
        ap.add_argument("engine2", help="preset or path of the opponent")
    for i in ("",) if engines == 1 else (1, 2):
        ap.add_argument("--name%s" % i, help="name in the records (default: preset or file name)")
        ap.add_argument("--dir%s" % i, help="working directory (default: qvn's build/, else the engine's folder)")
        ap.add_argument("--option%s" % i, action="append", default=[], metavar="NAME=VALUE",
                        help="setoption after the preset's own (repeatable; NAME alone for a button)")
    ap.add_argument("--games", type=int, default=2, help=games_help if engines == 2 else argparse.SUPPRESS)
    ap.add_argument("--byoyomi", type=int, default=None, help="byoyomi in ms (default 1000 without main time)")
    ap.add_argument("--time", type=int, default=None, help="main time in ms for both sides")
    ap.add_argument("--btime", type=int, default=None, help="main time in ms for black")
    ap.add_argument("--wtime", type=int, default=None, help="main time in ms for white")
    ap.add_argument("--inc", type=int, default=0, help="increment per move in ms (instead of byoyomi)")
    ap.add_argument("--nodes", type=int, default=0,
                    help="send 'go nodes N' instead of a clock: fixed-node games, no time losses")
    ap.add_argument("--node-hang", type=int, default=60000,
                    help="with --nodes: ms until an engine is sent 'stop' (default 60000)")
    ap.add_argument("--tolerance", type=int, default=500,
                    help="ms past the deadline a bestmove may arrive without losing on time (default 500)")
    ap.add_argument("--hang", type=int, default=5000,
                    help="ms past the deadline (after 'stop') until no reply counts as a crash (default 5000)")
    ap.add_argument("--start-timeout", type=float, default=60.0,
                    help="s to wait for usiok and readyok (default 60)")
    ap.add_argument("--resign", type=int, default=0,
                    help="adjudicate a win when every score of the last --resign-plies moves, of both engines, "
                         "says the same side leads by this much (default 0: off)")
    ap.add_argument("--resign-plies", type=int, default=6, help="plies for --resign (default 6)")
    ap.add_argument("--max-plies", type=int, default=320, help="draw at this many plies (default 320)")
    ap.add_argument("--opening-plies", type=opening_plies, default=12,
                    help="plies taken from each record, or 'all' for whole lines (default 12)")
    ap.add_argument("--openings", nargs="+", default=None,
                    help="game record files (default tests/data/games/*.usi)")
    ap.add_argument("--seed", type=int, default=1, help="shuffles the openings (default 1)")
    ap.add_argument("--parallel", type=int, default=1, choices=(1, 2), help="games played at once (default 1)")
    ap.add_argument("--out", default=None, help="game records (default build/match-<date>-<time>.usi)")
    ap.add_argument("--log", default=None, help="append every line sent and received to this file")
    ap.add_argument("--reference", default=FSF, help="fairy-stockfish judging legality (default %s)" % FSF)
    ap.add_argument("--resume", action="store_true",
                    help="keep the games already in --out and play only the rest (same options as before)"
                    if engines == 2 else argparse.SUPPRESS)
    ap.add_argument("-q", "--quiet", action="store_true", help="no line per game")
    return ap


def check_args(ap, a):
    """Checks and completes the parsed options (clock defaults, --out, --openings)."""
    main_b = a.btime if a.btime is not None else (a.time or 0)
    main_w = a.wtime if a.wtime is not None else (a.time or 0)
    a.btime, a.wtime = main_b, main_w
    if a.inc and a.byoyomi:
        ap.error("--inc and --byoyomi exclude each other")
    if a.nodes < 0:
        ap.error("--nodes must not be negative")
    if a.nodes and (a.inc or a.byoyomi or main_b or main_w):
        ap.error("--nodes excludes every clock option")
    if a.byoyomi is None:
        a.byoyomi = 0 if (a.inc or main_b or main_w or a.nodes) else 1000
    if not a.nodes and (not (a.byoyomi or a.btime or a.inc) or not (a.byoyomi or a.wtime or a.inc)):
        ap.error("each side needs some time: --byoyomi, --time/--btime/--wtime or --inc")
    if a.games < 1 or (a.opening_plies is not None and a.opening_plies < 0) or a.max_plies < 1:
        ap.error("--games and --max-plies must be positive, --opening-plies not negative")
    if a.resume and a.out is None:
        ap.error("--resume needs --out")
    if a.out is None:
        os.makedirs(os.path.join(ROOT, "build"), exist_ok=True)
        a.out = os.path.join(ROOT, "build", time.strftime("match-%Y%m%d-%H%M%S.usi"))
    if a.openings is None:
        a.openings = sorted(glob.glob(os.path.join(ROOT, "tests", "data", "games", "*.usi")))
    return a


def parse_args(argv=None):
    ap = make_parser()
    return check_args(ap, ap.parse_args(argv))


def match_parts(a):
    """The two engine setups and the shuffled openings of parsed options."""
    setups = [EngineSetup(a.engine1, a.name1, a.dir1, a.option1), EngineSetup(a.engine2, a.name2, a.dir2, a.option2)]
    if setups[0].name == setups[1].name:
        setups[0].name += "1"
        setups[1].name += "2"
    openings = read_openings(a.openings, a.opening_plies)
    if not openings:
        sys.exit("match.py: no opening of %s plies in %s" % (a.opening_plies, " ".join(a.openings)))
    random.Random(a.seed).shuffle(openings)
    return setups, openings


def build_match(argv=None):
    a = parse_args(argv)
    return Match(a, *match_parts(a))


def main(argv=None):
    return build_match(argv).run()


if __name__ == "__main__":
    sys.exit(main())
