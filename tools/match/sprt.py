#!/usr/bin/env python3
"""Sequential probability ratio test of engine1 against engine2 on game pairs.

    tools/match/sprt.py NEW BASE --nodes 100000 --elo0 0 --elo1 10 --out build/sprt-x.usi
    tools/match/sprt.py NEW BASE --nodes 100000 --elo0 0 --elo1 10 --out build/sprt-x.usi --resume
    tools/match/sprt.py NEW BASE --byoyomi 200 --elo0 -10 --elo1 0          (a change that costs speed)
    tools/match/sprt.py NEW BASE --time 10000 --inc 100                     (Fischer 10 s + 0.1 s)

Every opening is played twice, engine1 black in the first game and white in the second; the pair
scores engine1 0, 0.5, 1, 1.5 or 2 points, and the test counts the five outcomes (the pentanomial
counts LL, LD, DD+WL, WD, WW). After each pair it prints the counts, W/D/L, the Elo with its 95 %
margin and the log-likelihood ratio (LLR) of H1 (engine1 is elo1 stronger) against H0 (elo0
stronger), and it stops by itself once the LLR leaves [ln(beta/(1-alpha)), ln((1-beta)/alpha)]:
above, H1 is accepted (a gain of at least elo0, most likely); below, H0 (no gain of elo1).

Elo here is logistic Elo (expected score 1 / (1 + 10^(-elo/400)) per game), not normalised Elo.
The LLR is the generalised one: for each hypothesis the pentanomial distribution of most
likelihood whose mean score is that hypothesis's expected score, LLR = N sum p_i ln(q1_i / q0_i)
with p the observed frequencies of the N pairs.

Games are played and judged by tools/match.py (all its options hold: engines, clocks, fixed
nodes, --dir1/--dir2, --option1/--option2, --parallel, --seed); the openings are by default the
whole lines of tools/match/openings.txt, shuffled by --seed. The games are written to --out as
they end; --resume with the same options keeps them and goes on. The pairs are judged in their
order: the test stops at the first pair after which the LLR leaves its bounds, so the result
depends only on the games in the file, however often the run was stopped (with --parallel 2 games
played ahead of a pair still in progress are recorded, but not counted if the decision falls
before them).

With --nodes the test stops undecided after the last opening (1,200 in openings.txt): an engine that
plays the same game from the same opening and node count would only repeat its pairs, which is no
new evidence (--repeat-openings goes on all the same; with a clock, games vary and repeat freely).

Exit status: 0 H1 accepted, 1 H0 accepted, 3 no decision (--games reached or interrupted),
2 the match failed.
"""

import math
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import match  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
OPENINGS = os.path.join(HERE, "openings.txt")

# engine1's points of a pair, halved: the mean score a game of each pentanomial outcome
PAIR_SCORES = (0.0, 0.25, 0.5, 0.75, 1.0)
ZERO_COUNT = 1e-3  # stands for an outcome never seen, so that every outcome keeps some probability


# ---- the arithmetic ------------------------------------------------------------------------
def expected_score(elo):
    """The expected score of a game at this logistic Elo difference."""
    return 1.0 / (1.0 + 10.0 ** (-elo / 400.0))


def elo_of(score):
    return -400.0 * math.log10(1.0 / score - 1.0)


def sprt_bounds(alpha, beta):
    """(lower, upper): the LLR accepts H0 at or below lower and H1 at or above upper."""
    return math.log(beta / (1.0 - alpha)), math.log((1.0 - beta) / alpha)


def mle_with_mean(probs, scores, mean):
    """The distribution q over the outcomes that maximises sum p_i ln q_i under sum q_i scores_i = mean.

    A Lagrange multiplier gives q_i = p_i / (1 + lam (scores_i - mean)), with lam the root of
    f(lam) = sum p_i (scores_i - mean) / (1 + lam (scores_i - mean)), which falls strictly from
    +inf to -inf while every denominator (of an outcome with p_i > 0) stays positive; the root is
    found by bisection. Then sum q_i = 1 follows from f(lam) = 0 and sum p_i = 1.
    """
    support = [x - mean for p, x in zip(probs, scores) if p > 0]
    if not (min(support) < 0 < max(support)):
        raise ValueError("the mean %.6f is not inside the scores seen" % mean)
    lo, hi = -1.0 / max(support), -1.0 / min(support)

    def f(lam):
        return sum(p * (x - mean) / (1.0 + lam * (x - mean)) for p, x in zip(probs, scores) if p > 0)

    for _ in range(200):
        mid = 0.5 * (lo + hi)
        if mid in (lo, hi):
            break
        if f(mid) > 0:
            lo = mid
        else:
            hi = mid
    lam = 0.5 * (lo + hi)
    return [p / (1.0 + lam * (x - mean)) for p, x in zip(probs, scores)]


def regularised(counts):
    return [c if c > 0 else ZERO_COUNT for c in counts]


def llr(counts, elo0, elo1, scores=PAIR_SCORES):
    """The generalised log-likelihood ratio of H1 (elo1) against H0 (elo0) for outcome counts
    (pentanomial by default; any outcome scores, e.g. (0, 0.5, 1) for W/D/L of single games).
    An outcome never seen counts as ZERO_COUNT; no outcome at all is no evidence."""
    if not any(counts):
        return 0.0
    c = regularised(counts)
    n = sum(c)
    probs = [x / n for x in c]
    q0 = mle_with_mean(probs, scores, expected_score(elo0))
    q1 = mle_with_mean(probs, scores, expected_score(elo1))
    return n * sum(p * math.log(b / a) for p, a, b in zip(probs, q0, q1) if p > 0)


def elo_estimate(counts, scores=PAIR_SCORES, z=1.96):
    """(elo, margin): the mean score of the pairs and the half-width of its z-interval (95 % by
    default, from the variance of the pair scores) taken through the Elo curve; the margin is None
    where the score is 0 or 1, both None without a pair."""
    n = sum(counts)
    if n == 0:
        return None, None
    s = sum(c * x for c, x in zip(counts, scores)) / n
    if s <= 0.0 or s >= 1.0:
        return (math.inf if s >= 1.0 else -math.inf), None
    var = sum(c * (x - s) ** 2 for c, x in zip(counts, scores)) / n
    se = math.sqrt(var / n)
    eps = 1e-6
    lo, hi = max(eps, s - z * se), min(1.0 - eps, s + z * se)
    return elo_of(s), (elo_of(hi) - elo_of(lo)) / 2.0


def elo_text(counts):
    e, margin = elo_estimate(counts)
    if e is None:
        return "-"
    if margin is None:
        return "%sinf" % ("+" if e > 0 else "-")
    return "%+.1f +- %.1f" % (e + 0.0, margin)  # + 0.0: no "-0.0"


# ---- the test over a match -----------------------------------------------------------------
def first_points(record):
    """engine1's points in a game record of match.Match (black index, white index, Result, ...)."""
    bi, _, result = record[:3]
    if result.winner is None:
        return 0.5
    return 1.0 if result.winner == ("b" if bi == 0 else "w") else 0.0


class SprtMatch(match.Match):
    """A match that judges each pair (games 2k and 2k+1) in order and stops at a decision."""

    def __init__(self, args, setups, openings):
        super().__init__(args, setups, openings)
        self.lower, self.upper = sprt_bounds(args.alpha, args.beta)
        self.counts = [0] * 5
        self.wdl_counted = [0, 0, 0]
        self.pairs = 0           # pairs judged: those of the first games, in order
        self.llr = 0.0
        self.decision = None     # "H1" or "H0"
        for g in sorted(self.records):
            opening = self.game_setup(g)[0]
            if self.records[g][3][:len(opening)] != opening:
                raise SystemExit("sprt.py: game %d in %s does not start from its opening: "
                                 "resume with the same --openings and --seed" % (g + 1, args.out))
        self.judge(show=False)
        if self.records:
            print(self.progress_line(), flush=True)

    def stopping(self):
        return self.decision is not None

    def record(self, g, bi, wi, result, moves, stats):
        super().record(g, bi, wi, result, moves, stats)
        with self.lock:
            self.judge(show=True)

    def judge(self, show):
        """Counts the pairs complete from the last one judged on, stopping at a decision."""
        while self.decision is None:
            g = 2 * self.pairs
            if g not in self.records or g + 1 not in self.records:
                return
            points = [first_points(self.records[g]), first_points(self.records[g + 1])]
            self.counts[int(round(2 * sum(points)))] += 1
            for p in points:
                self.wdl_counted[{1.0: 0, 0.5: 1, 0.0: 2}[p]] += 1
            self.pairs += 1
            self.llr = llr(self.counts, self.args.elo0, self.args.elo1)
            if self.llr >= self.upper:
                self.decision = "H1"
            elif self.llr <= self.lower:
                self.decision = "H0"
            if show:
                print(self.progress_line(), flush=True)

    def progress_line(self):
        return ("pairs %d  W/D/L %d/%d/%d  ptnml %s  Elo %s  LLR %+.2f (%.2f, %.2f)%s"
                % (self.pairs, *self.wdl_counted, " ".join(map(str, self.counts)), elo_text(self.counts),
                   self.llr, self.lower, self.upper, "  " + self.decision + " accepted" if self.decision else ""))

    def run(self):
        rc = super().run()
        a = self.args
        names = [s.name for s in self.setups]
        print("\nSPRT %s vs %s, logistic Elo bounds [%g, %g], alpha %g beta %g:" % (
            names[0], names[1], a.elo0, a.elo1, a.alpha, a.beta))
        print(self.progress_line())
        extra = len(self.records) - 2 * self.pairs
        if self.decision:
            print("%s accepted after %d pairs: %s" % (
                self.decision, self.pairs,
                "%s is stronger by elo0 (%g) or more, likely by elo1 (%g)" % (names[0], a.elo0, a.elo1)
                if self.decision == "H1" else "%s is not stronger by elo1 (%g)" % (names[0], a.elo1)))
            if extra:
                print("(%d game%s played past the decision not counted)" % (extra, "s" * (extra > 1)))
        else:
            print("no decision yet after %d pairs (%d games in %s): go on with --resume%s"
                  % (self.pairs, len(self.records), a.out,
                     " and a larger --games" if len(self.records) >= a.games else ""))
        if rc:
            return rc
        return {"H1": 0, "H0": 1}.get(self.decision, 3)


def parse_args(argv=None):
    ap = match.make_parser(__doc__, games_help="at most this many games: the test stops there undecided "
                                               "(default 20000)")
    ap.add_argument("--elo0", type=float, default=0.0, help="logistic Elo of H0 (default 0)")
    ap.add_argument("--elo1", type=float, default=10.0, help="logistic Elo of H1 (default 10)")
    ap.add_argument("--alpha", type=float, default=0.05, help="chance of accepting H1 when H0 holds (default 0.05)")
    ap.add_argument("--beta", type=float, default=0.05, help="chance of accepting H0 when H1 holds (default 0.05)")
    ap.add_argument("--game-lines", action="store_true", help="print a line for each game too")
    ap.add_argument("--repeat-openings", action="store_true",
                    help="with --nodes, go on past the last opening (its games would be played again the same way)")
    ap.set_defaults(games=20000, openings=[OPENINGS], opening_plies=None, parallel=2)
    a = ap.parse_args(argv)
    if not a.elo0 < a.elo1:
        ap.error("--elo0 must be below --elo1")
    if not (0 < a.alpha < 1 and 0 < a.beta < 1 and a.alpha + a.beta < 1):
        ap.error("--alpha and --beta must lie in (0, 1) and add up to less than 1")
    a.quiet = not a.game_lines
    if a.out is None:
        os.makedirs(os.path.join(match.ROOT, "build"), exist_ok=True)
        a.out = os.path.join(match.ROOT, "build", time.strftime("sprt-%Y%m%d-%H%M%S.usi"))
    a = match.check_args(ap, a)
    if a.games % 2:
        a.games += 1
    return a


def build(argv=None):
    a = parse_args(argv)
    setups, openings = match.match_parts(a)
    if a.nodes and not a.repeat_openings and a.games > 2 * len(openings):
        # a deterministic engine plays a repeated opening's pair again move for move: no new evidence
        a.games = 2 * len(openings)
        print("at fixed nodes: at most %d pairs, one for each opening (--repeat-openings for more)"
              % len(openings), flush=True)
    if os.path.exists(a.out) and os.path.getsize(a.out) and not a.resume:
        raise SystemExit("sprt.py: %s holds games: --resume to go on with them, or another --out" % a.out)
    return SprtMatch(a, setups, openings)


def main(argv=None):
    m = build(argv)
    print("games to %s (resume with the same options and --resume)" % m.args.out, flush=True)
    return m.run()


if __name__ == "__main__":
    sys.exit(main())
