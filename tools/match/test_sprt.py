#!/usr/bin/env python3
"""Checks of tools/match/sprt.py.

    python3 tools/match/test_sprt.py           the arithmetic, then SPRTs of fake engines (judged by fairy-stockfish)

The arithmetic is checked against computations that share no code with it: no published LLR of
given pentanomial counts can be reached from this machine, so the references are (1) the
constrained likelihood maximised by Newton's method on the distribution itself (sprt.py solves
the dual: one Lagrange multiplier by bisection), (2) the closed form of the W/D/L case, where the
constraint leaves one free parameter and the optimum is the root of a quadratic, (3) the normal
approximation LLR ~ N ((s - s0)^2 - (s - s1)^2) / (2 var), close for near bounds and many pairs,
and (4) match.py's Elo margin of single games, which pairs of two wins or two losses repeat.

The fake engines (this file run with --fake) play a king move or resign, at each move with the
probability of their option Resign (or, when their option Skill is set, |Skill - 30| / 100, so
that Skill 30 is best), drawn from a hash of their option Seed and the position,
so that every run plays the same games. Four-ply openings of pawn moves and --max-plies 6 give
each side one move: a fake with Resign 0 against one with Resign 0.3 wins 30 % of the games and
draws the rest (score 0.65, +107.5 Elo); two fakes with Resign 0.2 are equal.
"""

import hashlib
import io
import math
import os
import random
import sys
import tempfile
from contextlib import redirect_stderr, redirect_stdout

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.dirname(HERE))

from test_match import FAILED, PASSED, check  # noqa: E402  (the checks shared by the match tools' tests)


# ---- a fake engine of known strength ------------------------------------------------------------
KING = {"b": "5i4h", "w": "5a4b"}


def fake_engine():
    options = {"Resign": "0", "Seed": "0", "Skill": ""}
    moves = []
    for line in sys.stdin:
        words = line.split()
        if not words:
            continue
        if words[0] == "usi":
            print("id name fake\noption name Resign type string default 0\n"
                  "option name Seed type string default 0\noption name Skill type string default\nusiok", flush=True)
        elif words[0] == "setoption" and "value" in words:
            options[words[2]] = words[words.index("value") + 1]
        elif words[0] == "isready":
            print("readyok", flush=True)
        elif words[0] == "position":
            moves = words[words.index("moves") + 1:] if "moves" in words else []
        elif words[0] == "go":
            digest = hashlib.sha256((options["Seed"] + " " + " ".join(moves)).encode()).digest()
            u = int.from_bytes(digest[:8], "big") / 2.0 ** 64
            side = "b" if len(moves) % 2 == 0 else "w"
            resign = float(options["Resign"]) if not options["Skill"] else min(1.0, abs(float(options["Skill"]) - 30) / 100)
            print("bestmove " + ("resign" if u < resign else KING[side]), flush=True)
        elif words[0] == "quit":
            return


# ---- independent references --------------------------------------------------------------------
def solve(m, v):
    """Gaussian elimination with partial pivoting: m x = v."""
    n = len(v)
    a = [row[:] + [v[i]] for i, row in enumerate(m)]
    for c in range(n):
        p = max(range(c, n), key=lambda r: abs(a[r][c]))
        a[c], a[p] = a[p], a[c]
        for r in range(c + 1, n):
            f = a[r][c] / a[c][c]
            for k in range(c, n + 1):
                a[r][k] -= f * a[c][k]
    x = [0.0] * n
    for r in range(n - 1, -1, -1):
        x[r] = (a[r][n] - sum(a[r][k] * x[k] for k in range(r + 1, n))) / a[r][r]
    return x


def newton_mle(probs, scores, mean):
    """max sum p ln q over {q > 0, sum q = 1, sum q x = mean} by damped Newton steps in the
    null space of the two constraints, from an interior start."""
    n = len(probs)
    # a basis of {d : sum d = 0, sum d x = 0}: Gram-Schmidt of unit vectors against the constraint rows
    rows = [[1.0] * n, list(scores)]
    ortho = []
    for r in rows:
        v = r[:]
        for o in ortho:
            dot = sum(a * b for a, b in zip(v, o))
            v = [a - dot * b for a, b in zip(v, o)]
        norm = math.sqrt(sum(a * a for a in v))
        ortho.append([a / norm for a in v])
    basis = []
    for i in range(n):
        v = [1.0 if j == i else 0.0 for j in range(n)]
        for o in ortho + basis:
            dot = sum(a * b for a, b in zip(v, o))
            v = [a - dot * b for a, b in zip(v, o)]
        norm = math.sqrt(sum(a * a for a in v))
        if norm > 1e-9:
            basis.append([a / norm for a in v])
    # start: q proportional to exp(t x), t bisected to give the mean
    lo, hi = -200.0, 200.0
    for _ in range(200):
        t = 0.5 * (lo + hi)
        w = [math.exp(t * x) for x in scores]
        if sum(a * x for a, x in zip(w, scores)) / sum(w) < mean:
            lo = t
        else:
            hi = t
    q = [a / sum(w) for a in w]

    def value(q):
        return sum(p * math.log(a) for p, a in zip(probs, q) if p > 0)

    for _ in range(100):
        grad = [sum(b[i] * probs[i] / q[i] for i in range(n)) for b in basis]
        hess = [[sum(b1[i] * b2[i] * probs[i] / q[i] ** 2 for i in range(n)) for b2 in basis] for b1 in basis]
        step = solve(hess, grad)  # ascent direction: -H^-1 g with H the (negative) Hessian's negation
        d = [sum(s * b[i] for s, b in zip(step, basis)) for i in range(n)]
        f = 1.0
        while True:
            trial = [a + f * b for a, b in zip(q, d)]
            if min(trial) > 0 and value(trial) >= value(q) - 1e-15:
                break
            f /= 2
        q = trial
    return q


def trinomial_mle(wins, draws, losses, mean):
    """W/D/L with the given mean: w = mean - d/2, l = 1 - mean - d/2, and the derivative of the
    likelihood in d vanishes at a root of (n/2) d^2 - (W (1-mean) + D + L mean) d + 2 D mean (1-mean)."""
    n = wins + draws + losses
    a, b = mean, 1.0 - mean
    bb = wins * b + draws + losses * a
    disc = bb * bb - 4.0 * (n / 2.0) * 2.0 * draws * a * b
    roots = [(bb - math.sqrt(disc)) / n, (bb + math.sqrt(disc)) / n]
    d = [r for r in roots if 0 < r < 2 * min(a, b)][0]
    return [b - d / 2, d, a - d / 2]  # loss, draw, win


# ---- the arithmetic --------------------------------------------------------------------------
def test_arithmetic():
    import match
    import sprt
    check(abs(sprt.expected_score(0) - 0.5) < 1e-15 and abs(sprt.elo_of(sprt.expected_score(107.5)) - 107.5) < 1e-9,
          "the logistic curve and its inverse")
    lo, hi = sprt.sprt_bounds(0.05, 0.05)
    check(abs(hi - math.log(19)) < 1e-12 and abs(lo + math.log(19)) < 1e-12, "bounds +-ln 19 = +-2.944")

    cases = [[10, 20, 30, 25, 15], [3, 41, 97, 52, 7], [1, 2, 3, 4, 5], [200, 0, 5, 0, 180]]
    for counts in cases:
        n = sum(counts)
        probs = [c / n for c in counts]
        for mean in ([] if 0 in counts else (0.3, 0.5, 0.5143868, 0.57, 0.8)):
            q = sprt.mle_with_mean(probs, sprt.PAIR_SCORES, mean)
            r = newton_mle(probs, sprt.PAIR_SCORES, mean)
            check(max(abs(a - b) for a, b in zip(q, r)) < 1e-9 and abs(sum(q) - 1) < 1e-12
                  and abs(sum(a * x for a, x in zip(q, sprt.PAIR_SCORES)) - mean) < 1e-12,
                  "bisection and Newton agree on %s at mean %g (%s / %s)" % (counts, mean, q, r))
        reg = [c if c else 1e-3 for c in counts]  # a zero count stands for 1e-3
        n = sum(reg)
        probs = [c / n for c in reg]
        for e0, e1 in ((0, 10), (-5, 5), (0, 50)):
            q0 = newton_mle(probs, sprt.PAIR_SCORES, sprt.expected_score(e0))
            q1 = newton_mle(probs, sprt.PAIR_SCORES, sprt.expected_score(e1))
            ref = n * sum(p * math.log(b / a) for p, a, b in zip(probs, q0, q1))
            got = sprt.llr(counts, e0, e1)
            check(abs(got - ref) < 1e-8, "LLR of %s for [%g, %g]: %.10f, Newton %.10f" % (counts, e0, e1, got, ref))

    for w, d, l in ((30, 40, 30), (120, 15, 80), (7, 90, 3)):
        for e0, e1 in ((0, 10), (0, 50), (-20, 20)):
            q0 = trinomial_mle(w, d, l, sprt.expected_score(e0))
            q1 = trinomial_mle(w, d, l, sprt.expected_score(e1))
            ref = sum(c * math.log(b / a) for c, a, b in zip((l, d, w), q0, q1))
            got = sprt.llr([l, d, w], e0, e1, scores=(0.0, 0.5, 1.0))
            check(abs(got - ref) < 1e-8, "W/D/L %d/%d/%d [%g, %g]: LLR %.10f, closed form %.10f"
                  % (w, d, l, e0, e1, got, ref))

    counts = [100, 300, 500, 350, 150]
    n = sum(counts)
    s = sum(c * x for c, x in zip(counts, sprt.PAIR_SCORES)) / n
    var = sum(c * (x - s) ** 2 for c, x in zip(counts, sprt.PAIR_SCORES)) / n
    s0, s1 = sprt.expected_score(0), sprt.expected_score(5)
    approx = n * ((s - s0) ** 2 - (s - s1) ** 2) / (2 * var)
    got = sprt.llr(counts, 0, 5)
    check(abs(got - approx) < 0.01 * abs(approx), "normal approximation %.4f, LLR %.4f" % (approx, got))
    check(sprt.llr([0, 0, 0, 0, 0], 0, 10) == 0 and sprt.llr([0, 3, 0, 3, 0], -10, 10) < 1e-9,
          "no pairs, or a balanced score between symmetric bounds: no evidence")

    for wins, losses in ((30, 20), (7, 3), (55, 45)):
        check(sprt.elo_estimate([losses, 0, 0, 0, wins]) == match.elo_estimate(wins, 0, losses),
              "pairs of two wins or two losses: the margin of single games (%d/%d)" % (wins, losses))
    e, m = sprt.elo_estimate([0, 10, 0, 10, 0])
    check(e == 0 and abs(m - sprt.elo_of(0.5 + 1.96 * 0.25 / math.sqrt(20)) ) < 1e-9,
          "a pair score spread of 0.25 (got %s)" % m)


# ---- SPRTs of fake engines -------------------------------------------------------------------------
def write_openings(path):
    """Distinct four-ply openings of pawn moves away from the kings' files: 900 of them."""
    black = ["9g9f", "8g8f", "7g7f", "3g3f", "2g2f", "1g1f"]
    white = ["9c9d", "8c8d", "7c7d", "3c3d", "2c2d", "1c1d"]
    lines = ["startpos moves %s %s %s %s" % (b1, w1, b2, w2)
             for b1 in black for w1 in white for b2 in black for w2 in white if b1 != b2 and w1 != w2]
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")
    return len(lines)


def run_sprt(tmp, resign1, resign2, *extra):
    import sprt
    paths = []
    for i in (1, 2):
        path = os.path.join(tmp, "fake%d" % i)
        with open(path, "w") as f:
            f.write("#!/bin/sh\nexec %s %s --fake\n" % (sys.executable, os.path.abspath(__file__)))
        os.chmod(path, 0o755)
        paths.append(path)
    argv = [paths[0], paths[1], "--option1", "Resign=%s" % resign1, "--option2", "Resign=%s" % resign2,
            "--option1", "Seed=1", "--option2", "Seed=2", "--nodes", "1000", "--max-plies", "6",
            "--openings", os.path.join(tmp, "openings.txt"), "--out", os.path.join(tmp, "games.usi")] + list(extra)
    out = os.path.join(tmp, "games.usi")
    if "--resume" not in extra and "--keep" not in extra and os.path.exists(out):
        os.unlink(out)  # a new test
    argv = [x for x in argv if x != "--keep"]
    sink = io.StringIO()
    with redirect_stdout(sink), redirect_stderr(sink):
        try:
            m = sprt.build(argv)
        except SystemExit as e:  # refused: the message is the exit code
            return 2, None, str(e.code)
        rc = m.run()
    return rc, m, sink.getvalue()


def test_fakes():
    from match import FSF
    from sprt import elo_estimate
    if not os.access(FSF, os.X_OK):
        print("skipped the fake-engine SPRTs: no %s" % FSF)
        return
    with tempfile.TemporaryDirectory() as tmp:
        check(write_openings(os.path.join(tmp, "openings.txt")) == 900, "900 test openings")
        bounds = ["--elo0", "0", "--elo1", "50"]
        rc, m, out = run_sprt(tmp, 0, 0.3, *bounds)
        e, margin = elo_estimate(m.counts)
        check(rc == 0 and m.decision == "H1" and "H1 accepted after %d pairs" % m.pairs in out,
              "+107.5 Elo against bounds [0, 50]: H1 accepted (rc %d, %s)" % (rc, m.progress_line()))
        check(m.counts[0] == m.counts[1] == 0 and m.counts[2] + m.counts[3] + m.counts[4] == m.pairs
              and abs(e - 107.5) < margin, "the gain's pairs never lose a game; +107.5 within %s"
              % m.progress_line())
        check(out.count("\npairs ") >= m.pairs, "a progress line for every pair")
        gain = (m.pairs, list(m.counts), m.llr)

        rc, m, out = run_sprt(tmp, 0.2, 0.2, *bounds)
        check(rc == 1 and m.decision == "H0" and m.llr <= -math.log(19),
              "equal engines against bounds [0, 50]: H0 accepted (rc %d, %s)" % (rc, m.progress_line()))
        check(sum(m.counts) == m.pairs and m.counts[0] + m.counts[4] > 0,
              "the equal pair's counts include lost and won pairs (%s)" % m.counts)

        # stopped early (6 games: 3 pairs), then resumed: the same decision at the same pair
        rc, m, out = run_sprt(tmp, 0, 0.3, *bounds, "--games", "6")
        check(rc == 3 and m.pairs == 3 and m.decision is None and "no decision yet after 3 pairs" in out,
              "a capped run stops undecided (rc %d)" % rc)
        rc, m, out = run_sprt(tmp, 0, 0.3, *bounds, "--resume")
        check(rc == 0 and (m.pairs, m.counts, m.llr) == gain and "resuming: 6 games" in out,
              "the resumed run reaches the uninterrupted one's decision (%s, %s)" % ((m.pairs, m.counts), gain))
        rc, m, out = run_sprt(tmp, 0, 0.3, *bounds, "--resume", "--seed", "2")
        check(rc != 0 and "does not start from its opening" in out,
              "resuming with other openings is refused")
        rc, m, out = run_sprt(tmp, 0, 0.3, *bounds, "--keep")
        check(rc != 0 and "--resume to go on" in out, "a file of games is not overwritten without --resume")

        # at fixed nodes a deterministic engine would repeat an opening's pair: the test stops after the last
        with open(os.path.join(tmp, "openings.txt")) as f:
            five = f.readlines()[:5]
        with open(os.path.join(tmp, "openings.txt"), "w") as f:
            f.writelines(five)
        rc, m, out = run_sprt(tmp, 0.2, 0.2, *bounds)
        check(rc == 3 and m.pairs == 5 and len(m.records) == 10 and "at most 5 pairs, one for each opening" in out,
              "five openings at fixed nodes: undecided after five pairs (rc %d, %d pairs)" % (rc, m.pairs))


def main():
    if sys.argv[1:] == ["--fake"]:
        fake_engine()
        return 0
    test_arithmetic()
    if "--no-games" not in sys.argv[1:]:
        test_fakes()
    print("%d passed, %d failed" % (PASSED[0], len(FAILED)))
    return 1 if FAILED else 0


if __name__ == "__main__":
    sys.exit(main())
