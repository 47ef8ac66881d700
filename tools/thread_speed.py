#!/usr/bin/env python3
"""How qvn's search scales with threads: nodes per second and time to a depth.

For each thread count, the engine (one process, USI) searches every position of the bench
set (tools/bench_positions.inc) with "go depth N" from an empty table ("isready" clears it),
and its closing "info nodes <n> time <ms>" line gives the nodes of all threads and the time.
Prints per thread count: total nodes, total time to the depth, nodes per second, and both
relative to one thread; where /proc is (Linux), also the engine's processor time and its nodes
per processor second, which other programs on the machine do not change: on a busy machine the
wall-clock figures only show what the search got of the cores. Time to depth varies from run to run with more than one thread (the
threads race), so --runs repeats the whole set and keeps the sum.

    tools/thread_speed.py [--build build] [--depth 9] [--threads 1,2,4] [--runs 1]
"""
import argparse
import os
import re
import subprocess
import tempfile


def bench_positions(source):
    with open(source) as f:
        return re.findall(r'^"([^"]*)",?$', f.read(), re.M)


def cpu_seconds(pid):
    """User and system time of a process so far, None without /proc."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            words = f.read().rsplit(")", 1)[1].split()
        return (int(words[11]) + int(words[12])) / os.sysconf("SC_CLK_TCK")
    except (OSError, IndexError, ValueError):
        return None


def run(build, threads, positions, depth, runs):
    with tempfile.TemporaryDirectory() as home:
        for name in ("hash_key.dat", "weight.dat"):
            os.symlink(os.path.abspath(os.path.join(build, name)), os.path.join(home, name))
        with open(os.path.join(home, "qvn.conf"), "w") as f:
            f.write("no_book=1\nthreads=%d\n" % threads)
        p = subprocess.Popen([os.path.abspath(os.path.join(build, "qvn"))], stdin=subprocess.PIPE,
                             stdout=subprocess.PIPE, text=True, cwd=home, bufsize=1)

        def send(line):
            p.stdin.write(line + "\n")
            p.stdin.flush()

        def until(prefix):
            while True:
                line = p.stdout.readline()
                if not line:
                    raise SystemExit("the engine ended")
                if line.startswith(prefix):
                    return line

        send("usi")
        until("usiok")
        send("isready")
        until("readyok")
        cpu0 = cpu_seconds(p.pid)
        nodes = ms = 0
        for _ in range(runs):
            for pos in positions:
                send("isready")
                until("readyok")
                send("position " + pos)
                send("go depth %d" % depth)
                m = re.match(r"info nodes (\d+) time (\d+)", until("info nodes "))
                until("bestmove")
                nodes += int(m.group(1))
                ms += int(m.group(2))
        cpu1 = cpu_seconds(p.pid)
        send("quit")
        p.wait()
        return nodes, ms, (cpu1 - cpu0 if cpu0 is not None and cpu1 is not None else None)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.path.join(here, "..", "build"))
    ap.add_argument("--depth", type=int, default=9)
    ap.add_argument("--threads", default="1,2,4")
    ap.add_argument("--runs", type=int, default=1)
    a = ap.parse_args()
    positions = bench_positions(os.path.join(here, "bench_positions.inc"))
    base = None
    print("threads      nodes    time ms         nps   nps x   time x    cpu s   nodes/cpu s")
    for t in [int(x) for x in a.threads.split(",")]:
        nodes, ms, cpu = run(a.build, t, positions, a.depth, a.runs)
        nps = nodes * 1000 // max(ms, 1)
        base = base or (nps, ms)
        line = "%7d %10d %10d %11d %7.2f %8.2f" % (t, nodes, ms, nps, nps / base[0], ms / base[1])
        if cpu:
            line += " %8.1f %13d" % (cpu, nodes / cpu)
        print(line, flush=True)


if __name__ == "__main__":
    main()
