#!/usr/bin/env python3
"""Soak: many games of qvn under random clocks, with and without pondering, with stray commands.

    python3 tools/match/soak.py --games 500                 # resumes where the last run stopped
    python3 tools/match/soak.py --report                    # the figures so far
    python3 tools/match/soak.py --part 1/3 & ...            # three games at a time, one process each

Each game draws, from --seed and its number, an opponent (qvn itself, gpsusi or fairy-stockfish),
a clock (byoyomi 100 ms to 2 s with or without main time; byoyomi 1000 with time_margin 100;
Fischer with and without main time; sudden death), pondering on or off for each qvn, and
stray "stop" and "ponderhit" commands sent to qvn during and after its searches. qvn is judged
strictly: a bestmove later than its time allows (main time plus byoyomi, or main time plus
increment, as this script measures it from "go" or "ponderhit") is a loss on time; an illegal
move, a crash, no answer, or a bestmove nobody asked for are its faults too. Peers only play:
they are sent "stop" when their time is up and never lose on time.

Every finished game is appended as a JSON line to DIR/progress.jsonl (default build/soak/; part K
of N writes DIR/progress.K-of-N.jsonl and plays the games g with g mod N = K - 1); a run skips the
games already in any of them, so a stopped soak goes on where it was. qvn runs as a copy
made at the first start (DIR/engine/), so rebuilding meanwhile changes nothing.
"""

import argparse
import json
import os
import queue
import random
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from match import (FSF, ROOT, Board, Ended, Engine, EngineSetup, Reference, declaration_ok,  # noqa: E402
                   other, position_key, read_openings, repetition)

HANG_MS = 5000        # no bestmove this long after "stop": no reply
MAX_PLIES = 240       # a draw
STRAY_CHANCE = 0.08   # per qvn move: a stray "stop" or "ponderhit"


# ---- what a game is played under -------------------------------------------------------------
def draw_game(seed, g):
    """The opponent, clock and settings of game g, the same on every run."""
    r = random.Random(seed * 1000003 + g)
    opponent = r.choices(["qvn", "gpsusi", "fairy-stockfish"], [4, 3, 3])[0]
    kind = r.choices(["byoyomi", "margin100", "fischer", "fischer0", "sudden"], [35, 10, 20, 20, 15])[0]
    main, byoyomi, inc = 0, 0, 0
    if kind == "byoyomi":
        main = r.choice([0, 0, 0, 5000, 20000])
        byoyomi = r.choice([100, 200, 300, 300, 500, 500, 1000, 2000])
    elif kind == "margin100":
        byoyomi = 1000
    elif kind == "fischer":
        main, inc = r.choice([5000, 10000, 30000]), r.choice([100, 200, 300, 500, 1000])
    elif kind == "fischer0":
        inc = r.choice([200, 300, 500, 500, 1000, 2000])
    else:
        main = r.choice([5000, 10000, 20000, 30000])
    return {"game": g, "opponent": opponent, "kind": kind, "main": main, "byoyomi": byoyomi, "inc": inc,
            "ponder": [r.random() < 0.5, r.random() < 0.5], "qvn_black": r.random() < 0.5,
            "opening": r.randrange(1 << 30), "stray_seed": r.randrange(1 << 30)}


def clock_text(d):
    if d["kind"] == "margin100":
        return "byoyomi 1000, margin 100"
    if d["byoyomi"]:
        return ("%d+" % d["main"] if d["main"] else "") + "byoyomi %d" % d["byoyomi"]
    if d["inc"]:
        return "%d+%d" % (d["main"], d["inc"])
    return "sudden %d" % d["main"]


# ---- one qvn or peer in a game -----------------------------------------------------------------
class Player:
    def __init__(self, setup, label, is_qvn, ponder, options):
        setup.options = list(setup.options) + options
        self.engine = Engine(setup, label)
        self.is_qvn, self.ponder = is_qvn, ponder
        self.pondering = None  # the move qvn ponders on, while a ponder search runs
        self.expect_bestmove = 0

    def start(self):
        self.engine.start()
        self.engine.p.send("usinewgame")

    @property
    def p(self):
        return self.engine.p

    def go_line(self, clocks, d, ponder=False):
        if not self.is_qvn:
            return self.engine.go_line(clocks, d["byoyomi"], d["inc"])
        line = "go ponder" if ponder else "go"
        line += " btime %d wtime %d" % (clocks["b"], clocks["w"])
        if d["inc"]:
            line += " binc %d winc %d" % (d["inc"], d["inc"])
        else:
            line += " byoyomi %d" % d["byoyomi"]
        return line


class Fault(Exception):
    def __init__(self, kind, text):
        super().__init__(text)
        self.kind = kind


def stray_lines(p):
    """Lines that came without being asked for; a bestmove among them is a fault."""
    return [line for _, line in p.drain() if line.startswith("bestmove")]


def wait_bestmove(player, t0, allowed_ms, strays=None, rng=None):
    """(arrival, bestmove line) of the search running since t0; sends "stop" when the time is up,
    and to qvn now and then a stray "stop" or "ponderhit" meanwhile (counted in strays)."""
    stop_at = t0 + allowed_ms / 1000.0
    stray_at = None
    if player.is_qvn and strays is not None and rng.random() < STRAY_CHANCE:
        stray_at = t0 + rng.uniform(0.0, allowed_ms / 1000.0)
        stray = rng.choice(["stop", "ponderhit"])
    stop_sent = False
    while True:
        now = time.monotonic()
        deadline = stop_at + (HANG_MS / 1000.0 if stop_sent else 0.0)
        if stray_at is not None:
            deadline = min(deadline, stray_at)
        try:
            at, line = player.p.get(deadline - now)
        except queue.Empty:
            if stray_at is not None and time.monotonic() >= stray_at:
                player.p.send(stray)
                strays[stray] = strays.get(stray, 0) + 1
                stray_at = None
                continue
            if stop_sent:
                raise Fault("crash" if player.is_qvn else "peer", "%s gives no reply" % player.engine.label)
            player.p.send("stop")
            stop_sent = True
            continue
        if line.startswith("bestmove"):
            return at, line


def play(d, openings, ref, engine_dir):
    """Plays game d; returns its record: result, fault, qvn's think times."""
    rng = random.Random(d["stray_seed"])
    qvn_side = "b" if d["qvn_black"] else "w"
    players = {}
    for i, side in enumerate((qvn_side, other(qvn_side))):
        is_qvn = side == qvn_side or d["opponent"] == "qvn"
        if is_qvn:
            setup = EngineSetup(os.path.join(engine_dir, "qvn"), "qvn", os.path.dirname(engine_dir), [])
            ponder = d["ponder"][i]
            opts = [("USI_Ponder", "true" if ponder else "false"), ("no_book", "false")]
            if d["kind"] == "margin100":
                opts.append(("time_margin", "100"))
        else:
            setup, ponder, opts = EngineSetup(d["opponent"], None, None, []), False, []
        players[side] = Player(setup, "%s-%s" % (setup.name, side), is_qvn, ponder, opts)
    moves, current = [], None
    rec = {"result": None, "reason": "", "fault": None, "plies": 0, "think": [], "late": 0,
           "max_over": -1e9, "strays": {}, "ponderhits": 0, "peer_stopped": 0}
    try:
        for pl in players.values():
            current = pl
            pl.start()
        opening = openings[d["opening"] % len(openings)]
        board, moves = Board.from_position("startpos"), []
        for m in opening:
            board.play(m)
            moves.append(m)
        keys, checks = [position_key(board)], [board.in_check()]
        clocks = {"b": d["main"], "w": d["main"]}
        while True:
            side = board.side
            pl = current = players[side]
            legal = ref.legal(moves, board)
            if not legal:
                rec["result"] = other(side)
                rec["reason"] = "mate"
                break
            if len(moves) >= MAX_PLIES:
                rec["reason"] = "ply limit"
                break
            if pl.is_qvn and stray_lines(pl.p):
                raise Fault("protocol", "%s sent a bestmove nobody asked for" % pl.engine.label)
            allowed = clocks[side] + (d["inc"] or d["byoyomi"])
            last = moves[-1] if moves else None
            if pl.pondering is not None and pl.pondering == last:
                pl.p.send("ponderhit")
                t0 = time.monotonic()
                rec["ponderhits"] += 1
            else:
                if pl.pondering is not None:
                    pl.p.send("stop")  # the ponder move was not played: its answer is dropped
                    wait_bestmove(pl, time.monotonic(), HANG_MS)
                pl.p.send("position startpos" + (" moves " + " ".join(moves) if moves else ""))
                pl.p.send(pl.go_line(clocks, d))
                t0 = time.monotonic()
            pl.pondering = None
            at, line = wait_bestmove(pl, t0, allowed if pl.is_qvn else max(allowed, 100), rec["strays"], rng)
            used = (at - t0) * 1000.0
            if pl.is_qvn:
                rec["think"].append(round(used, 1))
                rec["max_over"] = max(rec["max_over"], used - allowed)
                if used > allowed:
                    raise Fault("time", "%s loses on time (%.0f ms, allowed %.0f)" % (pl.engine.label, used, allowed))
                if rng.random() < STRAY_CHANCE / 2:  # a stray command after the search
                    pl.p.send(rng.choice(["stop", "ponderhit"]))
            elif used > allowed:
                rec["peer_stopped"] += 1
            clocks[side] = max(0, clocks[side] + d["inc"] - int(used)) if d["inc"] else max(0, clocks[side] - int(used))
            words = line.split()
            move = words[1] if len(words) > 1 else ""
            if move == "resign":
                rec["result"], rec["reason"] = other(side), "resign"
                break
            if move == "win":
                if declaration_ok(board):
                    rec["result"], rec["reason"] = side, "entering king"
                    break
                raise Fault("illegal", "%s declares a win wrongly" % pl.engine.label)
            if move not in legal:
                if pl.is_qvn:
                    raise Fault("illegal", "%s plays %s after %s" % (pl.engine.label, move, " ".join(moves)))
                rec["result"], rec["reason"] = other(side), "peer illegal move " + move
                break
            board.play(move)
            moves.append(move)
            keys.append(position_key(board))
            checks.append(board.in_check())
            rep = repetition(keys, checks)
            if rep:
                rec["result"] = None if rep == "draw" else other(rep)
                rec["reason"] = "repetition" if rep == "draw" else "perpetual check"
                break
            if pl.is_qvn and pl.ponder and len(words) >= 4 and words[2] == "ponder":
                pl.pondering = words[3]
                pl.p.send("position startpos moves " + " ".join(moves + [words[3]]))
                pl.p.send(pl.go_line(clocks, d, ponder=True))
    except Fault as f:
        rec["fault"], rec["reason"] = (None if f.kind == "peer" else f.kind), str(f)
    except Ended as e:
        qvn_ended = current is None or current.is_qvn
        rec["fault"], rec["reason"] = ("crash" if qvn_ended else None), str(e)
    rec["plies"] = len(moves)
    for pl in players.values():
        try:
            if pl.engine.alive():
                pl.p.send("gameover draw")
                if pl.is_qvn and not rec["fault"]:
                    time.sleep(0.05)
                    if stray_lines(pl.p):
                        rec["fault"], rec["reason"] = "protocol", "bestmove after gameover"
            pl.engine.stop_process()
        except Ended:
            pass
    return rec


# ---- the run and its figures ---------------------------------------------------------------------
def played(folder):
    """Every game recorded in the progress files of the folder."""
    rows = []
    for path in sorted(__import__("glob").glob(os.path.join(folder, "progress*.jsonl"))):
        rows += [json.loads(line) for line in open(path) if line.endswith("\n")]
    return rows


def report(folder):
    rows = played(folder)
    if not rows:
        print("no games yet")
        return
    faults = {}
    by_kind = {}
    for r in rows:
        if r["fault"]:
            faults.setdefault(r["fault"], []).append("game %d (%s, %s): %s" % (r["game"], r["opponent"], r["clock"],
                                                                               r["reason"]))
        k = by_kind.setdefault(r["kind"], {"games": 0, "moves": 0, "sum": 0.0, "max": 0.0, "over": -1e9})
        k["games"] += 1
        k["moves"] += len(r["think"])
        k["sum"] += sum(r["think"])
        k["max"] = max([k["max"]] + r["think"])
        k["over"] = max(k["over"], r["max_over"])
    print("%d games: %s" % (len(rows), ", ".join("%s %d" % (o, sum(1 for r in rows if r["opponent"] == o))
                                                  for o in ("qvn", "gpsusi", "fairy-stockfish"))))
    print("qvn faults: time %d, illegal %d, crash %d, protocol %d" % tuple(
        len(faults.get(k, [])) for k in ("time", "illegal", "crash", "protocol")))
    for k, items in faults.items():
        for text in items:
            print("  %s: %s" % (k, text))
    print("pondering games %d, ponderhits %d; stray commands sent %d; peers stopped %d times" % (
        sum(1 for r in rows if any(r["ponder"])), sum(r["ponderhits"] for r in rows),
        sum(sum(r["strays"].values()) for r in rows), sum(r["peer_stopped"] for r in rows)))
    print("%-10s %6s %7s %8s %8s %s" % ("clock", "games", "moves", "mean ms", "max ms", "closest to the deadline"))
    for kind, k in sorted(by_kind.items()):
        print("%-10s %6d %7d %8.0f %8.0f %+.0f ms" % (kind, k["games"], k["moves"], k["sum"] / max(1, k["moves"]),
                                                     k["max"], k["over"]))
    loads = sorted(r["load"] for r in rows)
    print("load average (1 min) at the games' ends: median %.1f, max %.1f on %d cores" % (
        loads[len(loads) // 2], loads[-1], os.cpu_count()))
    margin = [t for r in rows if r["kind"] == "margin100" for t in r["think"] if t > 300]
    if margin:
        margin.sort()
        print("byoyomi 1000 with margin 100, searched moves: median %.0f ms, max %.0f ms" % (
            margin[len(margin) // 2], margin[-1]))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--games", type=int, default=500)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--dir", default=os.path.join(ROOT, "build", "soak"))
    ap.add_argument("--part", default="1/1", help="K/N: play only the games g with g mod N = K - 1")
    ap.add_argument("--report", action="store_true", help="print the figures of the games played so far")
    a = ap.parse_args()
    if a.report:
        return report(a.dir)
    part, parts = (int(x) for x in a.part.split("/"))
    progress = os.path.join(a.dir, "progress.jsonl" if parts == 1 else "progress.%d-of-%d.jsonl" % (part, parts))
    engine_dir = os.path.join(a.dir, "engine")
    if not os.path.exists(os.path.join(engine_dir, "qvn")):
        # copied aside and renamed, so that parts started together never run a half-copied engine
        staging = "%s.%d" % (engine_dir, os.getpid())
        os.makedirs(staging, exist_ok=True)
        for name in ("qvn", "hash_key.dat", "weight.dat", "book.dat"):
            shutil.copy2(os.path.join(ROOT, "build", name), staging)
        try:
            os.rename(staging, engine_dir)
        except OSError:
            shutil.rmtree(staging)  # another part was first
    done = {r["game"] for r in played(a.dir)}
    openings = read_openings(sorted(__import__("glob").glob(os.path.join(ROOT, "tests", "data", "games", "*.usi"))), 8)
    ref = Reference(FSF)
    with open(progress, "a", buffering=1) as out:
        for g in range(a.games):
            if g in done or g % parts != part - 1:
                continue
            d = draw_game(a.seed, g)
            t = time.time()
            rec = play(d, openings, ref, engine_dir)
            rec.update(d)
            rec["clock"] = clock_text(d)
            rec["seconds"] = round(time.time() - t, 1)
            rec["load"] = os.getloadavg()[0]
            out.write(json.dumps(rec) + "\n")
            print("game %d %s vs %s, %s: %s %s (%d plies, %.0f s, load %.1f)" % (
                g, "qvn", d["opponent"], rec["clock"], rec["fault"] or "ok", rec["reason"], rec["plies"],
                rec["seconds"], rec["load"]), flush=True)
    ref.close()
    report(a.dir)


if __name__ == "__main__":
    main()
