"""Asks USI engines for mates ("go mate") and reads their answers.

Shared by mate_table.py and make_mate_set.py. An engine is "qvn" (build/qvn, run in
build/), "gpsusi" (one thread, its own OSL_HOME holding a link to its data, because it
saves every setoption for its next start) or a path.
"""
import os
import select
import shutil
import subprocess
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
GPSUSI = "/usr/games/gpsusi"
GPS_DATA = "/usr/share/gpsshogi-data/data"


class MateEngine:
    def __init__(self, name, build=os.path.join(ROOT, "build"), options=(), binary=None):
        self.name = name
        self.osl_home = None
        env = dict(os.environ)
        cwd = None
        opts = list(options)
        if name == "qvn":
            cmd, cwd = [binary or os.path.join(build, "qvn")], build
        elif name in ("gpsusi", "gps"):
            cmd = [GPSUSI]
            self.osl_home = tempfile.mkdtemp(prefix="mate-osl-")
            os.symlink(GPS_DATA, os.path.join(self.osl_home, "data"))
            env["OSL_HOME"] = self.osl_home
            opts = [("Thread", "1")] + opts
        else:
            cmd = [name]
        self.p = subprocess.Popen(cmd, cwd=cwd, env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL, text=True, bufsize=1)
        self.pending = b""  # bytes read but not yet returned as lines
        self.send("usi")
        self.until("usiok", 30)
        for k, v in opts:
            self.send("setoption name %s value %s" % (k, v))
        self.send("isready")
        self.until("readyok", 60)
        self.send("usinewgame")

    def send(self, line):
        self.p.stdin.write(line + "\n")
        self.p.stdin.flush()

    def readline(self, timeout):
        # Raw reads on the descriptor: select() knows nothing of a file object's buffer.
        end = time.time() + timeout
        fd = self.p.stdout.fileno()
        while b"\n" not in self.pending:
            ready, _, _ = select.select([fd], [], [], max(0.0, end - time.time()))
            if not ready:
                return None
            chunk = os.read(fd, 65536)
            if not chunk:
                raise RuntimeError("%s ended" % self.name)
            self.pending += chunk
        line, _, self.pending = self.pending.partition(b"\n")
        return line.decode("utf-8", "replace").rstrip("\r")

    def until(self, prefix, timeout):
        end = time.time() + timeout
        lines = []
        while True:
            line = self.readline(end - time.time())
            if line is None:
                raise RuntimeError("%s: no %s in %.0f s" % (self.name, prefix, timeout))
            lines.append(line)
            if line.startswith(prefix):
                return lines

    def mate(self, position, ms):
        """Runs "go mate ms" on a position; returns (answer, seconds, nodes): answer is a list
        of USI moves, "nomate", "timeout" or another word the engine gave. The engine is
        sent "stop" when it overruns by a second."""
        self.send("position " + position)
        start = time.time()
        self.send("go mate %d" % ms)
        nodes, stopped = 0, False
        while True:
            wait = start + ms / 1000.0 + 1.0 - time.time()
            line = self.readline(wait if not stopped else 30)
            if line is None:
                if stopped:
                    raise RuntimeError("%s: no checkmate after stop" % self.name)
                self.send("stop")
                stopped = True
                continue
            words = line.split()
            if words[:1] == ["info"] and "nodes" in words:
                nodes = int(words[words.index("nodes") + 1])
            if words[:1] == ["checkmate"]:
                seconds = time.time() - start
                rest = words[1:]
                if len(rest) == 1 and rest[0] in ("nomate", "timeout", "notimplemented"):
                    return rest[0], seconds, nodes
                return rest, seconds, nodes

    def close(self):
        try:
            self.send("quit")
            self.p.wait(5)
        except Exception:
            self.p.kill()
        if self.osl_home:
            shutil.rmtree(self.osl_home, ignore_errors=True)
