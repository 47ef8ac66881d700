#!/usr/bin/env python3
"""Checks of tools/match/spsa.py: it tunes a fake engine's option towards the best value, and a run
stopped and resumed ends in the same state as one played through.

The fake engine is test_sprt.py's: with its option Skill it resigns, at each move, with probability
|Skill - 30| / 100, so that 30 is best. A pair of engine(+) at x+ against engine(-) at x- then
scores engine(+) W - L = 2 (r(x-) - r(x+)) on average; from 80, theta must come down near 30.
The gains are the standard ones; the games are judged by fairy-stockfish (skipped without it).
"""

import io
import json
import math
import os
import sys
import tempfile
from contextlib import redirect_stderr, redirect_stdout

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.dirname(HERE))

from test_match import FAILED, PASSED, check  # noqa: E402  (the checks shared by the match tools' tests)


def test_gains():
    import spsa
    state = {"iterations": 200, "A": 20.0, "params": [{"c_end": 10, "r_end": 0.1}]}
    p = state["params"][0]
    c_last, a_last = spsa.gains(state, p, 199)
    check(abs(c_last - 10) < 1e-9 and abs(a_last / c_last ** 2 - 0.1) < 1e-12,
          "the last iteration has c_k = c_end and a_k / c_k^2 = r_end (%g, %g)" % (c_last, a_last))
    c0, a0 = spsa.gains(state, p, 0)
    check(abs(c0 - 10 * 200 ** 0.101) < 1e-9 and abs(a0 - 10 * (220 / 21) ** 0.602) < 1e-9,
          "the first: c = c_end N^0.101, a_0 = a_end ((A + N) / (A + 1))^0.602")
    st = {"iterations": 200, "A": 20.0, "k": 0, "wdl": [0, 0, 0],
          "params": [{"min": 0, "max": 100, "c_end": 10, "r_end": 0.1, "theta": 80.0}]}
    spsa.update(st, 0, [-1], 2, 0, 0)
    check(abs(st["params"][0]["theta"] - (80 - 2 * a0 / c0)) < 1e-9 and st["k"] == 1 and st["wdl"] == [2, 0, 0],
          "engine(+) winning both games at theta - c moves theta down by 2 a_k / c_k")
    spsa.update(st, 1, [1], 0, 0, 2)
    spsa.update(st, 2, [1], 0, 0, 2)
    check(st["params"][0]["min"] <= st["params"][0]["theta"] and st["wdl"] == [2, 0, 4], "theta kept within bounds")


def run(tmp, state_path, *extra):
    import spsa
    fake = os.path.join(tmp, "fake")
    with open(fake, "w") as f:
        f.write("#!/bin/sh\nexec %s %s --fake\n" % (sys.executable, os.path.join(HERE, "test_sprt.py")))
    os.chmod(fake, 0o755)
    argv = [fake, "--state", state_path, "--nodes", "1000", "--max-plies", "6", "--option", "Seed=1",
            "--openings", os.path.join(tmp, "openings.txt")] + list(extra)
    sink = io.StringIO()
    with redirect_stdout(sink), redirect_stderr(sink):
        rc = spsa.main(argv)
    return rc, sink.getvalue()


def test_tuning():
    from match import FSF
    if not os.access(FSF, os.X_OK):
        print("skipped the tuning of a fake engine: no %s" % FSF)
        return
    from test_sprt import write_openings
    start = {"iterations": 150, "seed": 3,
             "params": [{"name": "Skill", "start": 80, "min": 0, "max": 200, "c_end": 10, "r_end": 0.1}]}
    with tempfile.TemporaryDirectory() as tmp:
        write_openings(os.path.join(tmp, "openings.txt"))
        whole, parts = os.path.join(tmp, "whole.json"), os.path.join(tmp, "parts.json")
        for path in (whole, parts):
            with open(path, "w") as f:
                json.dump(start, f)
        rc, out = run(tmp, whole, "--out", os.path.join(tmp, "games.usi"))
        state = json.load(open(whole))
        theta = state["params"][0]["theta"]
        check(rc == 0 and state["k"] == 150 and sum(state["wdl"]) == 300 and out.count("\niteration ") == 149,
              "150 iterations of two games, a line each (rc %d)" % rc)
        check(abs(theta - 30) < 12, "Skill tuned from 80 to near 30 (%.2f)" % theta)
        games = open(os.path.join(tmp, "games.usi")).read()
        check(games.count("# game ") == 300 and "# game 300 black=minus white=plus" in games,
              "every game recorded, engine(+) black first")

        rc1, _ = run(tmp, parts, "--stop-after", "40", "--parallel", "1")
        mid = json.load(open(parts))
        rc2, out = run(tmp, parts)
        check(rc1 == 0 and rc2 == 0 and mid["k"] == 40 and json.load(open(parts)) == state,
              "stopped after 40 iterations (one game at a time) and resumed: the state of the run played through")


def main():
    test_gains()
    test_tuning()
    print("%d passed, %d failed" % (PASSED[0], len(FAILED)))
    return 1 if FAILED else 0


if __name__ == "__main__":
    sys.exit(main())
