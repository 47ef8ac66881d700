#!/usr/bin/env python3
"""Plays training games for the evaluation network and labels every position with a teacher.

    tools/learn/gen_games.py --out learn-data/net1/games --games 40000 --seed 1 --jobs 2

Games are of the kinds qvn really plays: against itself, against fairy-stockfish and against
gpsusi (where its king gets attacked), from the lines of tools/match/openings.txt cut at a
random ply, then up to two random legal moves. qvn plays at a fixed number of nodes a move
(drawn per game), fairy-stockfish at the teacher's depth, gpsusi at a fixed depth. The teacher,
fairy-stockfish at `go depth 6`, searches every position after the opening; where it is the
player, that search is also its move. A game ends by mate, resignation, repetition, the ply
limit, or once the teacher has seen one side winning by --adjudicate or more for four plies.

Games are played in blocks of --block, each by engines started afresh, so game g depends only on
the seed and its block (gpsusi's moves are the one part not checked to repeat). Worker k plays
the blocks b with b % jobs == k into OUT.wK.qgm, in order; a run that is stopped carries on where
it stopped, with as many jobs as wanted (a block cut off by the stop is played again), and
OUT.progress shows how far it is. Each worker waits on one engine at a time, so a job more than
the cores keeps them busy (two jobs left 30 % of two cores idle).
When every game is played the worker files are merged, by game id, into OUT.qgm.
The layout of the files is in tools/learn/game_file.py.
"""

import argparse
import glob
import multiprocessing
import os
import queue
import random
import shutil
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
sys.path.insert(0, HERE)
from match import (FSF, GPS_DATA, GPSUSI, Ended, Process, declaration_ok,  # noqa: E402
                   is_pawn_drop_check, position_key, repetition)
from shogi_board import Board  # noqa: E402
import game_file as gf  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(HERE))
QVN_FILES = ["qvn", "hash_key.dat", "weight.dat", "book.dat"]


class Usi:
    """One engine process: the USI handshake and a search that returns (score, bestmove)."""

    def __init__(self, label, argv, options, cwd=None, env=None):
        self.p = Process(label, argv, cwd=cwd, env=env)
        self.p.send("usi")
        self.p.wait_for("usiok", 60)
        for name, value in options:
            self.p.send("setoption name %s value %s" % (name, value))
        self.ready()

    def ready(self):
        self.p.send("isready")
        self.p.wait_for("readyok", 120)

    def new_game(self):
        self.ready()  # qvn clears its table here, the others at usinewgame
        self.p.send("usinewgame")

    def search(self, position, go):
        """The last score (side to move's view, mates as +-(MATE - plies)) and the move."""
        self.p.send("position " + position)
        self.p.send(go)
        score = gf.NO_SCORE
        while True:
            _, line = self.p.get(600)
            words = line.split()
            if words[:1] == ["bestmove"]:
                return score, (words[1] if len(words) > 1 else "resign")
            if words[:1] == ["info"] and "score" in words:
                i = words.index("score")
                try:
                    kind, value = words[i + 1], words[i + 2]
                    if kind == "cp":
                        score = gf.clamp_score(int(value))
                    elif kind == "mate":
                        n = int(value.lstrip("+-") or 0)
                        score = -(gf.MATE - n) if value.startswith("-") or n == 0 else gf.MATE - n
                except (IndexError, ValueError):
                    pass

    def legal_moves(self, position):
        """fairy-stockfish's move list ("go perft 1"); it lists pawn-drop mates, see below."""
        self.p.send("position " + position)
        self.p.send("go perft 1")
        out = []
        while True:
            _, line = self.p.get(60)
            if line.startswith("Nodes searched"):
                return out
            head, _, count = line.partition(": ")
            if count.strip().isdigit() and " " not in head:
                out.append(head)

    def close(self):
        self.p.close()


class Players:
    """The engines of one worker, started for a block of games and reused for each of them."""

    def __init__(self, engine_dir, args):
        self.osl_home = None
        self.qvn = Usi("qvn", [os.path.join(engine_dir, "qvn")], [("no_book", "true"), ("USI_Hash", "16")],
                       cwd=engine_dir)
        self.fsf = Usi("fsf", [FSF], [("UCI_Variant", "shogi"), ("Threads", "1"), ("Hash", "16")])
        self.gps, self.args = None, args

    def peer(self, kind):
        """The opponent of qvn in a game of that kind; gpsusi, slow to start, only when needed."""
        if kind == gf.KIND_FSF:
            return self.fsf
        if kind == gf.KIND_GPS and self.gps is None:
            # gpsusi keeps its settings in $OSL_HOME: a private one per worker.
            self.osl_home = tempfile.mkdtemp(prefix="gen-osl-")
            os.symlink(GPS_DATA, os.path.join(self.osl_home, "data"))
            self.gps = Usi("gps", [GPSUSI], [("Thread", "1"), ("BookDepth", "0"),
                                             ("LimitDepth", str(self.args.gps_depth)), ("USI_Hash", "16")],
                           env=dict(os.environ, OSL_HOME=self.osl_home))
        return self.gps if kind == gf.KIND_GPS else None

    def close(self):
        for e in (self.qvn, self.fsf, self.gps):
            if e:
                e.close()
        if self.osl_home:
            shutil.rmtree(self.osl_home, ignore_errors=True)


def read_openings(path):
    out = []
    for line in open(path):
        words = line.split()
        if words[:2] == ["startpos", "moves"]:
            out.append(words[2:])
    return out


def plan_game(gid, args, openings):
    """Everything random about game gid, from the seed and gid alone."""
    rng = random.Random(args.seed * 1000003 + gid)
    r = rng.random()
    kind = gf.KIND_SELFPLAY if r < args.self_share else gf.KIND_GPS if r < args.self_share + args.gps_share \
        else gf.KIND_FSF
    qvn_side = rng.choice("bw")
    line = rng.choice(openings)
    cut = rng.randint(min(len(line), 6), len(line))
    nodes = rng.randint(args.nodes_min, args.nodes_max)
    return rng, kind, qvn_side, line[:cut], rng.randint(0, 2), nodes


def adjudicated(scores, bound, plies=4):
    """The side the teacher has seen winning (black's view scores) for the last plies, or None."""
    last = [s for s in scores[-plies:] if s != gf.NO_SCORE]
    if len(last) < plies:
        return None
    if all(s >= bound for s in last):
        return "b"
    if all(s <= -bound for s in last):
        return "w"
    return None


def play_game(gid, players, args, openings):
    rng, kind, qvn_side, opening, random_plies, nodes = plan_game(gid, args, openings)
    peer = players.peer(kind)
    for e in (players.qvn, players.fsf, peer):
        if e is not None and e is not players.fsf:
            e.new_game()
    players.fsf.new_game()
    board = Board.from_position("startpos")
    moves, scores, keys, checks = [], [], [position_key(board)], [board.in_check()]

    def position():
        return "startpos" + (" moves " + " ".join(moves) if moves else "")

    def play(move, score):
        board.play(move)
        moves.append(move)
        scores.append(score)
        keys.append(position_key(board))
        checks.append(board.in_check())

    for m in opening:
        play(m, gf.NO_SCORE)
    for _ in range(random_plies):
        legal = [m for m in players.fsf.legal_moves(position()) if not is_pawn_drop_check(board, m)]
        if not legal:
            break
        play(rng.choice(legal), gf.NO_SCORE)

    result = 0
    black_view = []  # teacher's scores from black's view, for adjudication
    while len(moves) < args.max_plies:
        side = board.side
        score, teacher_move = players.fsf.search(position(), "go depth %d" % args.depth)
        if teacher_move in ("resign", "(none)", "none") or score == -gf.MATE:
            result = -1 if side == "b" else 1  # the side to move is mated
            break
        if kind != gf.KIND_SELFPLAY and side != qvn_side:
            move = teacher_move if kind == gf.KIND_FSF else peer.search(position(), "go byoyomi 60000")[1]
        else:
            move = players.qvn.search(position(), "go nodes %d" % nodes)[1]
        if move == "resign":
            result = -1 if side == "b" else 1
            break
        if move == "win":
            winner = side if declaration_ok(board) else ("w" if side == "b" else "b")
            result = 1 if winner == "b" else -1
            break
        if is_pawn_drop_check(board, move):
            after = position() + (" " if moves else " moves ") + move
            if not players.fsf.legal_moves(after):
                # A pawn-drop mate is illegal; the dropper is winning anyway, so the game is its.
                result = 1 if side == "b" else -1
                break
        play(move, score)
        rep = repetition(keys, checks)
        if rep:
            result = 0 if rep == "draw" else (-1 if rep == "b" else 1)
            break
        black_view.append(score if side == "b" else -score)
        winner = adjudicated(black_view, args.adjudicate)
        if winner:
            result = 1 if winner == "b" else -1
            break
    game_kind = kind | (gf.KIND_QVN_WHITE if kind != gf.KIND_SELFPLAY and qvn_side == "w" else 0)
    return gf.Game(gid, game_kind, result, "", moves, scores)


def labelled(game):
    return sum(1 for s in game.scores if s != gf.NO_SCORE)


def resume(path, block):
    """The game ids in a worker file, whole blocks only: the games of a block cut off by a stop
    are cut away with the record the stop may have cut, and the block is played again."""
    if not os.path.exists(path):
        return set(), 0
    with open(path, "rb") as f:
        games, used = gf.read_games(f.read())
    ends, at = [], 0
    for g in games:
        at += len(gf.pack_game(g))
        ends.append(at)
    keep = len(games)
    counts = {}
    for g in games:
        counts[g.gid // block] = counts.get(g.gid // block, 0) + 1
    while keep and counts[games[keep - 1].gid // block] < block:
        keep -= 1
    with open(path, "r+b") as f:
        f.truncate(ends[keep - 1] if keep else 0)
    games = games[:keep]
    return {g.gid for g in games}, sum(labelled(g) for g in games)


def worker_files(args):
    """Every worker file of the run, also those of runs stopped with another number of jobs."""
    return sorted(glob.glob(glob.escape(args.out) + ".w*.qgm"))


def resume_all(args):
    """The game ids played in whole blocks by every worker file, and their scored positions."""
    done, positions = set(), 0
    for path in worker_files(args):
        ids, n = resume(path, args.block)
        done |= ids
        positions += n
    return done, positions


def worker(k, args, engine_dir, openings, done, reports):
    """Plays the blocks b with b % jobs == k. Each block starts with engines just started: the
    engines keep some state from game to game that usinewgame does not clear (fairy-stockfish's
    scores were seen to depend on the games it labelled before), so a game depends only on its
    block, whichever worker plays it and however often the run was stopped, with however many
    jobs. done: the games already played, by any worker."""
    path = "%s.w%d.qgm" % (args.out, k)
    try:
        with open(path, "ab") as f:
            for b in range(k, (args.games + args.block - 1) // args.block, args.jobs):
                ids = [g for g in range(b * args.block, min((b + 1) * args.block, args.games)) if g not in done]
                if not ids:
                    continue
                players = Players(engine_dir, args)
                try:
                    for gid in ids:
                        game = play_game(gid, players, args, openings)
                        f.write(gf.pack_game(game))
                        f.flush()
                        reports.put((k, gid, labelled(game), game.kind & 15))
                finally:
                    players.close()
    except Ended as e:
        reports.put((k, -1, str(e), 0))
        raise
    reports.put((k, None, 0, 0))


def merge(args):
    games = []
    for path in worker_files(args):
        with open(path, "rb") as f:
            games += gf.read_games(f.read())[0]
    games.sort(key=lambda g: g.gid)
    with open(args.out + ".qgm", "wb") as f:
        for g in games:
            f.write(gf.pack_game(g))
    return len(games), sum(labelled(g) for g in games)


def copy_engine(args):
    """The engine the games are played with, copied so that a rebuild does not change it mid-run."""
    engine_dir = os.path.abspath(args.out + ".engine")
    if not os.path.exists(os.path.join(engine_dir, "qvn")):
        os.makedirs(engine_dir, exist_ok=True)
        for name in QVN_FILES:
            shutil.copy2(os.path.join(args.build, name), engine_dir)
    return engine_dir


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--out", required=True, help="path prefix of the output files")
    ap.add_argument("--games", type=int, required=True)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--depth", type=int, default=6, help="the teacher's depth (default 6)")
    ap.add_argument("--nodes-min", type=int, default=2000, help="qvn's nodes a move, least (default 2000)")
    ap.add_argument("--nodes-max", type=int, default=8000, help="qvn's nodes a move, most (default 8000)")
    ap.add_argument("--self-share", type=float, default=0.45, help="share of self-play games (default 0.45)")
    ap.add_argument("--gps-share", type=float, default=0.08, help="share of games against gpsusi (default 0.08)")
    ap.add_argument("--gps-depth", type=int, default=3, help="gpsusi's LimitDepth (default 3)")
    ap.add_argument("--block", type=int, default=20, help="games between engine restarts (default 20)")
    ap.add_argument("--max-plies", type=int, default=320)
    ap.add_argument("--adjudicate", type=int, default=3000, help="teacher's score that ends a game (default 3000)")
    ap.add_argument("--openings", default=os.path.join(ROOT, "tools", "match", "openings.txt"))
    ap.add_argument("--build", default=os.path.join(ROOT, "build"), help="where qvn and its data files are")
    args = ap.parse_args()

    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    engine_dir = copy_engine(args)
    openings = read_openings(args.openings)
    done, positions = resume_all(args)
    games_done = len(done)
    reports = multiprocessing.Queue()
    procs = [multiprocessing.Process(target=worker, args=(k, args, engine_dir, openings, done, reports))
             for k in range(args.jobs)]
    for p in procs:
        p.start()
    start, start_positions, start_games = time.time(), positions, games_done
    kinds = [0, 0, 0]
    running, last_print = args.jobs, 0.0
    while running:
        try:
            k, gid, n, kind = reports.get(timeout=10)
            if gid is None:
                running -= 1
            elif gid < 0:
                print("worker %d: %s" % (k, n), file=sys.stderr)
                running -= 1
            else:
                games_done, positions = games_done + 1, positions + n
                kinds[kind] += 1
        except queue.Empty:
            if not any(p.is_alive() for p in procs):
                break
        now = time.time()
        if now - last_print >= 30 or not running:
            last_print = now
            rate = (positions - start_positions) / max(1e-9, now - start)
            per_game = (positions / games_done) if games_done else 0
            left = (args.games - games_done) * per_game / rate if rate > 0 else 0
            line = ("games %d/%d  positions %d  %.0f positions/s  %.1f per game  this run: self %d fsf %d gps %d"
                    "  left %.1f h" % (games_done, args.games, positions, rate, per_game, kinds[0], kinds[1],
                                       kinds[2], left / 3600))
            print(line, file=sys.stderr, flush=True)
            with open(args.out + ".progress", "w") as f:
                f.write(line + "\n")
    for p in procs:
        p.join()
    if games_done >= args.games:
        n, pos = merge(args)
        print("merged %d games, %d labelled positions into %s.qgm" % (n, pos, args.out), file=sys.stderr)


if __name__ == "__main__":
    main()
