#!/usr/bin/env python3
"""Self-checks of tools/match.py.

    python3 tools/test_match.py          the pure rules (Elo, repetition, legality filter, entering king)
    python3 tools/test_match.py --live   also short games with fake engines, judged by fairy-stockfish

The fake engines (this file run with --fake MODE) misbehave on purpose: an illegal move, a crash
(on "go" or between moves), no reply, a late reply, a resignation, a wrong win declaration; the "script" fake shuffles its king
back and forth so that games end by repetition or the ply limit.
"""

import io
import math
import os
import sys
import tempfile
import time
from contextlib import redirect_stderr, redirect_stdout

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

FAILED = []
PASSED = [0]


def check(cond, what):
    if cond:
        PASSED[0] += 1
    else:
        FAILED.append(what)
        print("FAIL: " + what)


# ---- a fake engine -------------------------------------------------------------------------
CYCLE = {"b": ["5i4h", "4h5i"], "w": ["5a4b", "4b5a"]}


def fake_engine(mode):
    moves = []
    out = sys.stdout
    for line in sys.stdin:
        words = line.split()
        if not words:
            continue
        cmd = words[0]
        if cmd == "usi":
            if mode == "deaf":
                continue
            out.write("id name fake-%s\nusiok\n" % mode)
        elif cmd == "isready":
            out.write("readyok\n")
        elif cmd == "position":
            moves = words[words.index("moves") + 1:] if "moves" in words else []
        elif cmd == "go":
            side = "b" if len(moves) % 2 == 0 else "w"
            turn = len(moves) // 2
            if mode == "crash":
                sys.exit(3)
            if mode == "hang":
                continue
            if mode.startswith("late:"):
                out.flush()
                time.sleep(int(mode[5:]) / 1000.0)
            move = {"illegal": "5e5d", "resign": "resign", "win": "win"}.get(mode)
            out.write("bestmove %s\n" % (move or CYCLE[side][turn % 2]))
            if mode == "exit-after-move":
                out.flush()
                sys.exit(0)
        elif cmd == "quit":
            return
        out.flush()


# ---- pure rules ----------------------------------------------------------------------------
def test_elo():
    from match import elo, elo_bound, elo_estimate
    check(abs(elo(0.64) - 99.9) < 0.2, "elo(0.64) is about 100")
    e, m = elo_estimate(3, 0, 1)
    e2, m2 = elo_estimate(1, 0, 3)
    check(abs(e - 190.8) < 0.5 and abs(e + e2) < 1e-9 and abs(m - m2) < 1e-9, "3/0/1 gives +191, symmetric")
    check(elo_estimate(0, 10, 0) == (0, 0) and elo_estimate(0, 0, 0) == (None, None), "all draws; no games")
    check(elo_estimate(5, 0, 0) == (math.inf, None), "all wins: +inf, no margin")
    check(abs(elo_bound(40) + 443.7) < 1, "40 losses: below about -444 (got %.0f)" % elo_bound(40))
    # 50 wins 50 losses: score 0.5, se 0.05, interval 0.402..0.598 -> about +-69 Elo
    _, m = elo_estimate(50, 0, 50)
    check(abs(m - 69.0) < 1.5, "100 games at 50%% give about +-69 (got %.1f)" % m)


def test_adjudication():
    from match import MATE_SCORE, adjudicate, parse_score
    for line, score in [("info depth 3 score cp -250 pv 7g7f", -250), ("info score mate 5 pv 2b3c+", MATE_SCORE),
                        ("info score mate -3", -MATE_SCORE), ("info score mate -", -MATE_SCORE),
                        ("info nodes 5 pv 7g7f", None), ("info score cp", None), ("info string score cp x", None)]:
        check(parse_score(line) == score, "score of %r" % line)
    for scores, bound, plies, winner in [
            ([0, 2100, 2500, 2000], 2000, 3, "b"),                    # both engines agree for 3 plies
            ([2100, 2500, -2000, -2100, -MATE_SCORE], 2000, 3, "w"),
            ([2100, 2500, 1999], 2000, 3, None),                       # one score short of the bound
            ([2100, None, 2500], 2000, 3, None),                       # a move without a score
            ([2100, 2500], 2000, 3, None),                             # too few plies
            ([5000, 5000, 5000], 0, 3, None)]:                         # off
        check(adjudicate(scores, bound, plies) == winner, "adjudicate %s by %d for %d" % (scores, bound, plies))


def test_repetition():
    from match import position_key, repetition
    from shogi_board import Board
    b = Board.from_position("startpos")
    keys, checks = [position_key(b)], [False]
    cycle = ["5i4h", "5a4b", "4h5i", "4b5a"]
    outcomes = []
    for i in range(12):
        b.play(cycle[i % 4])
        keys.append(position_key(b))
        checks.append(b.in_check())
        outcomes.append(repetition(keys, checks))
    check(outcomes[:11] == [None] * 11, "no repetition before the fourth occurrence")
    check(outcomes[11] == "draw", "the fourth occurrence of the start is a draw")
    check(position_key(Board.from_position("startpos")).endswith("b -"), "the key has no move number")

    # synthetic: every black move checks (positions with white to move are in check)
    keys = ["A b -", "B w -", "C b -", "D w -"] * 3 + ["A b -"]
    checks = [k.split()[1] == "w" for k in keys]
    check(repetition(keys, checks) == "b", "black checking with every move loses")
    checks = [k.split()[1] == "b" and i > 0 for i, k in enumerate(keys)]
    check(repetition(keys, checks) == "w", "white checking with every move loses")
    checks = [k == "B w -" for k in keys]
    check(repetition(keys, checks) == "draw", "checks with only some moves: a draw")
    # the checks must cover the whole span since the first occurrence
    keys = ["X b -", "Y w -"] + ["A b -", "B w -"] * 4
    checks = [False, False, False] + [k.split()[1] == "w" for k in keys[3:]]
    check(repetition(keys[:-1], checks[:-1]) == "b", "perpetual check decided from the first occurrence on")
    checks[3] = False
    check(repetition(keys[:-1], checks[:-1]) == "draw", "one quiet move in the span makes it a draw")


def test_pawn_drop_filter():
    from match import drop_legal_moves, is_pawn_drop_check
    from shogi_board import Board
    # white king 1a; black knight 3c and gold 2c cover 2a, 2b and 1b: P*1b mates
    b = Board.from_sfen("8k/9/6NG1/9/9/9/9/9/K8 b P 1")
    check(is_pawn_drop_check(b, "P*1b"), "P*1b checks the king on 1a")
    check(not is_pawn_drop_check(b, "P*2b"), "P*2b does not check")
    check(not is_pawn_drop_check(b, "2c1b"), "a board move is not a pawn drop")
    asked = []

    def replies(m):
        asked.append(m)
        return 0

    got = drop_legal_moves(b, ["P*1b", "P*2b", "2c2b", "P*5e"], replies)
    check(got == ["P*2b", "2c2b", "P*5e"], "the pawn-drop mate is removed, the rest kept")
    check(asked == ["P*1b"], "only checking pawn drops are looked into")
    check(drop_legal_moves(b, ["P*1b"], lambda m: 2) == ["P*1b"], "a checking drop with replies stays")
    w = Board.from_sfen("k8/9/9/9/9/9/1gn6/9/8K w p 1")
    check(is_pawn_drop_check(w, "P*1h"), "a white pawn drop checks from above the king")


def flipped(board):
    from shogi_board import Board, other
    f = Board()
    f.squares = {(10 - sq[0], 10 - sq[1]): (other(s), k) for sq, (s, k) in board.squares.items()}
    f.hands = {"b": dict(board.hands["w"]), "w": dict(board.hands["b"])}
    f.side = other(board.side)
    return f


def test_declaration():
    from match import declaration_ok
    from shogi_board import Board
    # 10 pieces in the zone worth 18 (a dragon, a horse, eight tokins) and R+B in hand: 28
    zone = "+R+B+P+P+P+P+P+P1/+P+P7/4K4/9/9/9/9/9/8k"
    for sfen, flip, ok, what in [
            (zone + " b RB 1", False, True, "black with 28 points"),
            (zone + " b R4P 1", False, False, "black with 27 points"),
            (zone + " b R4P 1", True, True, "white with 27 points"),
            (zone + " b R3P 1", True, False, "white with 26 points"),
            ("+R+B+P+P+P+P+P2/+P+P7/4K4/9/9/9/9/9/8k b RB2P 1", False, False, "nine pieces in the zone"),
            ("+R+B+P+P+P+P+P+P1/+P+P7/9/4K4/9/9/9/9/8k b RB 1", False, False, "the king outside the zone"),
            ("+R+B+P+P+P+P+P+P1/+P+P7/4K4/4g4/9/9/9/9/8k b RB 1", False, False, "in check")]:
        b = Board.from_sfen(sfen)
        check(declaration_ok(flipped(b) if flip else b) == ok, what)
    check(not declaration_ok(Board.from_position("startpos")), "not from the start")


def test_openings_and_go():
    from match import Engine, EngineSetup, read_openings
    with tempfile.NamedTemporaryFile("w", suffix=".usi", delete=False) as f:
        f.write("# game 1\nstartpos moves 7g7f 3c3d 2g2f\n# game 2\nstartpos moves 7g7f 3c3d 2g2f 8c8d\n"
                "startpos moves 2g2f\nstartpos moves 2g2f 8c8d 2f2e\n")
    try:
        got = read_openings([f.name], 3)
        check(got == [["7g7f", "3c3d", "2g2f"], ["2g2f", "8c8d", "2f2e"]], "openings are distinct and long enough")
        check(read_openings([f.name], 0) == [[]], "zero plies: the start position once")
    finally:
        os.unlink(f.name)
    setup = EngineSetup.__new__(EngineSetup)
    e = Engine(setup, "x")
    for quirks, clocks, byoyomi, inc, nodes, line in [
            ("fsf", {"b": 5000, "w": 3000}, 1000, 0, 0, "go btime 3000 wtime 5000 byoyomi 1000"),  # clocks swapped
            ("gps", {"b": 9000, "w": 8000}, 0, 500, 0, "go btime 9000 wtime 8000 byoyomi 0"),  # dies on binc
            ("", {"b": 9000, "w": 8000}, 0, 500, 0, "go btime 9000 wtime 8000 binc 500 winc 500"),
            ("", {"b": 9000, "w": 8000}, 1000, 0, 5000, "go nodes 5000")]:  # fixed-node games: no clock
        setup.quirks = quirks
        check(e.go_line(clocks, byoyomi, inc, nodes) == line, "go line for %r: %s" % (quirks, line))


# ---- games with fake engines ---------------------------------------------------------------
def run_match(tmp, mode1, mode2, *extra):
    from match import build_match
    paths = []
    for mode in (mode1, mode2):
        path = os.path.join(tmp, "fake-" + mode.replace(":", "-"))
        with open(path, "w") as f:
            f.write("#!/bin/sh\nexec %s %s --fake %s\n" % (sys.executable, os.path.abspath(__file__), mode))
        os.chmod(path, 0o755)
        paths.append(path)
    argv = [paths[0], paths[1], "--games", "2", "--byoyomi", "300", "--opening-plies", "0", "--hang", "700", "--tolerance", "200",
            "--out", os.path.join(tmp, "games.usi")] + list(extra)
    m = build_match(argv)
    sink = io.StringIO()
    with redirect_stdout(sink), redirect_stderr(sink):
        rc = m.run()
    records = [m.records[g] for g in sorted(m.records)]
    return rc, records, sink.getvalue(), open(os.path.join(tmp, "games.usi")).read()


def test_live():
    from match import FSF
    if not os.access(FSF, os.X_OK):
        print("skipped the live games: no %s" % FSF)
        return
    from match import Reference, read_records
    from shogi_board import Board
    ref = Reference(FSF)
    start = "sfen 8k/9/6NG1/9/9/9/9/9/K8 b P 1"
    listed = ref.listed([], start)
    legal = ref.legal([], Board.from_sfen(start.split(" ", 1)[1]), start)
    check("P*1b" in listed and "P*1b" not in legal and "P*2b" in legal,
          "the reference lists the pawn-drop mate; legal() removes it")
    ref.close()

    with tempfile.TemporaryDirectory() as tmp:
        def losses(mode, kind, words, *extra):
            rc, recs, out, games = run_match(tmp, mode, "script", *extra)
            ok = rc == 0 and len(recs) == 2 and all(
                r.kind == kind and r.winner == ("w" if bi == 0 else "b") and words in r.reason
                for bi, wi, r, _, _ in recs)
            check(ok, "%s loses both games by %s (%s)" % (mode, kind, [r.reason for _, _, r, _, _ in recs]))
            check("W/D/L for fake-%s: 0/0/2" % mode.replace(":", "-") in out, "%s: summary counts two losses" % mode)
            back = read_records(os.path.join(tmp, "games.usi"), ["fake-" + mode.replace(":", "-"), "fake-script"])
            check([(r.winner, r.kind, r.reason, m) for _, _, r, m, _ in recs]
                  == [(r.winner, r.kind, r.reason, m) for _, _, r, m, _ in (back[g] for g in sorted(back))],
                  "%s: the records read back give the same results and faults" % mode)
            return out, games

        out, games = losses("illegal", "illegal", "illegal move 5e5d")
        check("result=0-1 reason=black (fake-illegal) plays an illegal move 5e5d plies=0" in games,
              "the record line names the reason")
        check("startpos moves 5i4h\n" in games, "the record holds the moves played")
        losses("crash", "crash", "crashes")
        losses("exit-after-move", "crash", "crashes")
        t0 = time.monotonic()
        losses("hang", "crash", "gives no reply")
        check(time.monotonic() - t0 < 8, "a hung engine is given up after the hang time")
        losses("late:700", "time", "loses on time")
        losses("resign", None, "resigns")
        losses("win", "illegal", "declares a win wrongly")
        losses("deaf", "crash", "fails to start", "--start-timeout", "1")

        rc, recs, out, games = run_match(tmp, "late:400", "script")
        check(rc == 0 and all(r.reason == "4-fold repetition (sennichite)" for _, _, r, _, _ in recs),
              "late within the tolerance plays on (%s)" % [r.reason for _, _, r, _, _ in recs])
        check(" 12 plies" in out and "plies=12" in games, "the repetition ends the game at ply 12")
        late = [line for line in out.splitlines() if line.startswith("  fake-late-400")]
        check(len(late) == 2 and late[1].split()[-3] == "12", "the late replies are counted (%s)" % late)

        rc, recs, out, games = run_match(tmp, "script", "script", "--max-plies", "7")
        check(rc == 0 and all(r.winner is None and r.reason == "max plies (7) reached" for _, _, r, _, _ in recs),
              "the ply limit draws")
        check("W/D/L for script1: 0/2/0" in out or "W/D/L for fake-script1: 0/2/0" in out,
              "same names get numbered; draws counted")
        run_match(tmp, "script", "illegal")
        rc, recs, out, games = run_match(tmp, "script", "illegal", "--games", "3", "--resume")
        check(rc == 0 and len(recs) == 3 and games.count("# game ") == 3
              and "# game 3 " in games and "W/D/L for fake-script: 3/0/0" in out,
              "a resumed match plays only the missing game and counts all three")


def main():
    if len(sys.argv) > 2 and sys.argv[1] == "--fake":
        fake_engine(sys.argv[2])
        return 0
    test_elo()
    test_adjudication()
    test_repetition()
    test_pawn_drop_filter()
    test_declaration()
    test_openings_and_go()
    if "--live" in sys.argv[1:]:
        test_live()
    print("%d passed, %d failed" % (PASSED[0], len(FAILED)))
    return 1 if FAILED else 0


if __name__ == "__main__":
    sys.exit(main())
