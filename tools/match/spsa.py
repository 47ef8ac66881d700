#!/usr/bin/env python3
"""SPSA tuning of an engine's USI options by game pairs of engine(+) against engine(-).

    tools/match/spsa.py qvn --state tools/match/spsa-state.json --nodes 20000
    tools/match/spsa.py qvn --state tools/match/spsa-state.json --nodes 20000 --stop-after 50

The state file (JSON, small enough to commit) names the parameters and keeps the tuning's progress:

    {"iterations": 2000, "seed": 1,
     "params": [{"name": "FutilityMargin", "start": 120, "min": 0, "max": 400, "c_end": 10, "r_end": 0.002},
                {"name": "NullMoveBase", "start": 3, "min": 1, "max": 6, "c_end": 1, "r_end": 0.002}]}

Iteration k (0, 1, ... iterations - 1) draws from the seed and k a sign d_i = +-1 for every
parameter and an opening, sends engine(+) "setoption name NAME value V" with V = theta_i + c_k,i d_i
and engine(-) theta_i - c_k,i d_i (both rounded to integers and kept within [min, max]), and plays
the opening twice, engine(+) black in the first game and white in the second, with the clock or
fixed nodes of tools/match.py (whose options all hold; fixed nodes are the usual choice). With W and
L the games engine(+) won and lost,

    theta_i <- theta_i + a_k,i (W - L) d_i / c_k,i     (then kept within [min, max])

with the standard gains a_k = a / (A + k + 1)^0.602 and c_k = c / (k + 1)^0.101, set per parameter
from its c_end (c_k of the last iteration) and r_end (a_k / c_k^2 of the last iteration): with N
iterations and A = 0.1 N (or the state's "A"), c = c_end N^0.101 and a = r_end c_end^2 (A + N)^0.602.
The state is written after every iteration (theta, the iterations done and engine(+)'s W/D/L), so a
stopped run goes on from where it was with the same command; an iteration cut short is played again,
the same way. The two games of a pair are played at once with --parallel 2 (the default).
"""

import argparse
import json
import os
import random
import sys
import threading

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import match  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
ALPHA, GAMMA = 0.602, 0.101


# ---- the state and the arithmetic --------------------------------------------------------------------
def load_state(path):
    with open(path) as f:
        state = json.load(f)
    state.setdefault("iterations", 1000)
    state.setdefault("seed", 1)
    state.setdefault("A", 0.1 * state["iterations"])
    state.setdefault("k", 0)
    state.setdefault("wdl", [0, 0, 0])
    names = set()
    for p in state["params"]:
        for key in ("name", "start", "min", "max", "c_end", "r_end"):
            if key not in p:
                raise ValueError("%s: parameter %s has no %s" % (path, p.get("name", "?"), key))
        if p["name"] in names or not p["min"] <= p["start"] <= p["max"] or p["c_end"] <= 0 or p["r_end"] <= 0:
            raise ValueError("%s: parameter %s: a repeated name, a start outside [min, max], "
                             "or c_end or r_end not positive" % (path, p["name"]))
        names.add(p["name"])
        p.setdefault("theta", float(p["start"]))
    return state


def save_state(path, state):
    """Written whole to a new file, then renamed over the old one: a stop never leaves half a state."""
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        json.dump(state, f, indent=1)
        f.write("\n")
    os.replace(tmp, path)


def gains(state, p, k):
    """(c_k, a_k) of parameter p at iteration k."""
    n, big_a = state["iterations"], state["A"]
    c = p["c_end"] * n ** GAMMA
    a = p["r_end"] * p["c_end"] ** 2 * (big_a + n) ** ALPHA
    return c / (k + 1) ** GAMMA, a / (big_a + k + 1) ** ALPHA


def clamp(p, x):
    return min(p["max"], max(p["min"], x))


def iteration(state, k, openings):
    """The draw of iteration k: (signs, opening index), the same on every run."""
    r = random.Random("%d:%d" % (state["seed"], k))
    return [r.choice((-1, 1)) for _ in state["params"]], r.randrange(openings)


def perturbed(state, k, signs):
    """The integer values of engine(+) and engine(-) for iteration k."""
    plus, minus = [], []
    for p, d in zip(state["params"], signs):
        c_k, _ = gains(state, p, k)
        plus.append(int(round(clamp(p, p["theta"] + c_k * d))))
        minus.append(int(round(clamp(p, p["theta"] - c_k * d))))
    return plus, minus


def update(state, k, signs, wins, draws, losses):
    """Moves theta by the result of engine(+) in iteration k's pair and counts the iteration."""
    for p, d in zip(state["params"], signs):
        c_k, a_k = gains(state, p, k)
        p["theta"] = clamp(p, p["theta"] + a_k * (wins - losses) * d / c_k)
    state["wdl"] = [x + y for x, y in zip(state["wdl"], (wins, draws, losses))]
    state["k"] = k + 1


# ---- the games ---------------------------------------------------------------------------------
class Seat:
    """One game's players, engine(+) and engine(-), and its judge; the processes live across iterations."""

    def __init__(self, a, wid):
        self.args = a
        self.players = {}
        for name in ("plus", "minus"):
            setup = match.EngineSetup(a.engine, name, a.dir, a.option)
            self.players[name] = (match.Engine(setup, "w%d.%s" % (wid, name), None, a.start_timeout),
                                  list(setup.options))
        self.ref = match.Reference(a.reference, None, "w%d.ref" % wid)

    def play(self, opening, plus_black, values):
        """values: name -> [(option, value)]. Returns (Result, moves, side of engine(+))."""
        for name, (engine, base) in self.players.items():
            engine.setup.options = base + [(o, str(v)) for o, v in values[name]]
            if engine.alive():
                for o, v in values[name]:
                    engine.p.send("setoption name %s value %s" % (o, v))
        plus, minus = self.players["plus"][0], self.players["minus"][0]
        engines = {"b": plus, "w": minus} if plus_black else {"b": minus, "w": plus}
        result, moves, _ = match.play_game(opening, engines, self.ref, self.args)
        match.finish_game(engines, result)
        return result, moves, "b" if plus_black else "w"

    def close(self):
        for engine, _ in self.players.values():
            engine.stop_process()
        self.ref.close()


def play_pair(seats, opening, values):
    """The opening twice, engine(+) black first; with two seats both games at once."""
    out = [None, None]
    errors = []

    def run(i):
        try:
            out[i] = seats[i % len(seats)].play(opening, i == 0, values)
        except Exception as e:  # the judge failed: no result for this pair
            errors.append(e)

    if len(seats) == 2:
        threads = [threading.Thread(target=run, args=(i,)) for i in range(2)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
    else:
        run(0)
        run(1)
    if errors:
        raise errors[0]
    return out


def record_lines(g, black, white, result, moves):
    score = "1/2-1/2" if result.winner is None else "1-0" if result.winner == "b" else "0-1"
    return ("# game %d black=%s white=%s result=%s reason=%s plies=%d\nstartpos moves%s\n"
            % (g + 1, black, white, score, result.reason, len(moves), "".join(" " + m for m in moves)))


def parse_args(argv=None):
    ap = match.make_parser(__doc__, engines=1)
    ap.add_argument("--state", required=True, help="the JSON state file: parameters, theta, iterations done")
    ap.add_argument("--stop-after", type=int, default=0, help="play at most this many iterations in this run")
    ap.set_defaults(openings=[os.path.join(HERE, "openings.txt")], opening_plies=None, parallel=2, out="")
    a = ap.parse_args(argv)
    return match.check_args(ap, a)


def main(argv=None):
    a = parse_args(argv)
    state = load_state(a.state)
    openings = match.read_openings(a.openings, a.opening_plies)
    if not openings:
        sys.exit("spsa.py: no opening in %s" % " ".join(a.openings))
    names = [p["name"] for p in state["params"]]
    seats = []
    played = 0
    try:
        seats = [Seat(a, i + 1) for i in range(a.parallel)]
        while state["k"] < state["iterations"] and not (a.stop_after and played >= a.stop_after):
            k = state["k"]
            signs, index = iteration(state, k, len(openings))
            plus, minus = perturbed(state, k, signs)
            values = {"plus": list(zip(names, plus)), "minus": list(zip(names, minus))}
            games = play_pair(seats, openings[index], values)
            w = sum(1 for r, _, side in games if r.winner == side)
            l = sum(1 for r, _, side in games if r.winner not in (None, side))
            update(state, k, signs, w, 2 - w - l, l)
            save_state(a.state, state)
            played += 1
            if a.out:
                with open(a.out, "a") as f:
                    for i, (r, moves, side) in enumerate(games):
                        f.write(record_lines(2 * k + i, *(("plus", "minus") if side == "b" else ("minus", "plus")),
                                             r, moves))
            print("iteration %d/%d  opening %d  + %s  - %s  W/D/L %d/%d/%d (all %d/%d/%d)  theta %s"
                  % (k + 1, state["iterations"], index + 1, " ".join(map(str, plus)), " ".join(map(str, minus)),
                     w, 2 - w - l, l, *state["wdl"],
                     " ".join("%s=%.2f" % (p["name"], p["theta"]) for p in state["params"])), flush=True)
    except KeyboardInterrupt:
        print("\ninterrupted: the state holds %d iterations" % state["k"], file=sys.stderr)
        return 3
    except (match.ReferenceFailed, RuntimeError) as e:  # the judge failed, or an opening is illegal
        print("spsa stopped: %s" % e, file=sys.stderr)
        return 2
    finally:
        for s in seats:
            s.close()
    print("%d of %d iterations done; theta: %s" % (state["k"], state["iterations"], " ".join(
        "%s=%d" % (p["name"], round(p["theta"])) for p in state["params"])))
    return 0


if __name__ == "__main__":
    sys.exit(main())
