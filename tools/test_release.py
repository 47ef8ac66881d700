#!/usr/bin/env python3
"""Checks release packages (tools/release.sh) against what their README.txt says.

    python3 tools/test_release.py build-release/qvn-1.14-windows-x64.zip build-release/qvn-1.14-linux-x64.tar.gz

For each archive: one folder qvn-VERSION-SYSTEM-x64 holding exactly the files its text lists;
the engine, started from another folder (a .exe under Wine), reports "qvn v.VERSION", finds
its data files (plays a book move, says nothing on standard error); every option the text
names is one the engine lists (or the text says it has none); qvn.conf has a comment above each
key, its values are the engine's built-in defaults, and every key is read (changed values show
in "usi"). The data files are the same bytes in every archive given.
"""

import os
import re
import shutil
import subprocess
import sys
import tarfile
import tempfile
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)
    return ok


def run_engine(engine, cwd, commands):
    """Runs the engine in cwd with the commands, then "quit"; after a "go" it waits for the
    "bestmove". Returns (stdout lines, stderr)."""
    argv = ["wine", engine] if engine.endswith(".exe") else [engine]
    p = subprocess.Popen(argv, cwd=cwd, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                         text=True)
    lines = []
    try:
        for command in commands:
            p.stdin.write(command + "\n")
            p.stdin.flush()
            while command.startswith("go"):
                line = p.stdout.readline()
                if not line:
                    break
                lines.append(line.rstrip("\n"))
                if line.startswith("bestmove"):
                    break
        out, err = p.communicate("quit\n", timeout=60)
    except subprocess.TimeoutExpired:
        p.kill()
        out, err = p.communicate()
        err += "(no end within 60 s)"
    return lines + out.splitlines(), err


def options_of(lines):
    """name (lower case) -> (name, type, default, min) from the "usi" answer."""
    out = {}
    for line in lines:
        m = re.match(r"option name (\S+) type (\S+) default (\S+)(?: min (-?\d+))?", line)
        if m:
            out[m.group(1).lower()] = (m.group(1), m.group(2), m.group(3), m.group(4))
    return out


def indented_names(text, header):
    """The first words of the lines indented by two spaces in the block after header."""
    names, inside = [], False
    for line in text.splitlines():
        if line.startswith(header):
            inside = True
        elif inside and line.startswith("  ") and not line.startswith("   "):
            # "  name  what it is", or "  name1, name2  what they are"
            names += [n.strip() for n in line.strip().split("  ")[0].split(",")]
        elif inside and names and not line.strip():
            break
    return names


def check_package(archive, work):
    name = os.path.basename(archive)
    m = re.fullmatch(r"qvn-(.+)-(windows|linux)-x64\.(zip|tar\.gz)", name)
    if not check(m, "%s: named qvn-VERSION-windows-x64.zip or qvn-VERSION-linux-x64.tar.gz" % name):
        return None
    version, system = m.group(1), m.group(2)
    folder_name = name[: -len(".zip")] if name.endswith(".zip") else name[: -len(".tar.gz")]
    unpack = os.path.join(work, folder_name + "-unpacked")
    if name.endswith(".zip"):
        with zipfile.ZipFile(archive) as z:
            z.extractall(unpack)
    else:
        with tarfile.open(archive) as t:
            t.extractall(unpack)
    check(os.listdir(unpack) == [folder_name], "%s: holds the one folder %s" % (name, folder_name))
    folder = os.path.join(unpack, folder_name)
    if not os.path.isdir(folder):
        return None
    engine_name = "qvn.exe" if system == "windows" else "qvn"
    engine = os.path.join(folder, engine_name)
    if system == "windows":
        # zip keeps no execute bit; Wine needs none, but the copy below keeps the mode.
        os.chmod(engine, 0o755)

    raw = open(os.path.join(folder, "README.txt"), "rb").read()
    line_end = b"\r\n" if system == "windows" else b"\n"
    check(raw.count(b"\n") == raw.count(line_end), "%s: README.txt lines end in %r" % (name, line_end))
    text = raw.decode("ascii").replace("\r\n", "\n")
    flat = " ".join(text.split())
    listed = indented_names(text, "Files")
    check(sorted(listed) == sorted(os.listdir(folder)),
          "%s: the text lists %s, the folder holds %s" % (name, sorted(listed), sorted(os.listdir(folder))))
    check(engine_name in listed, "%s: the text names the engine %s" % (name, engine_name))

    # Started from elsewhere, as a GUI may: data files and qvn.conf are found beside it.
    elsewhere = os.path.join(work, folder_name + "-elsewhere")
    os.makedirs(elsewhere)
    lines, err = run_engine(engine, elsewhere, ["usi", "isready", "position startpos",
                                                "go btime 0 wtime 0 byoyomi 1000"])
    check("id name qvn v.%s" % version in lines, "%s: the engine reports version %s: %s" % (name, version, lines[:1]))
    check(err == "", "%s: nothing on standard error: %r" % (name, err))
    best = [l for l in lines if l.startswith("bestmove")]
    check(len(best) == 1 and len(lines) >= 2 and lines[lines.index(best[0]) - 1].startswith("info nodes "),
          "%s: plays a book move from another folder" % name)
    options = options_of(lines)

    for option in indented_names(text, "Options that matter"):
        check(option.lower() in options or ("has no %s option" % option) in flat,
              "%s: the text names the option %s, which the engine does not list" % (name, option))
        check(not (option.lower() in options and ("has no %s option" % option) in flat),
              "%s: the text says there is no option %s, but the engine lists it" % (name, option))

    # qvn.conf: its values are the built-in defaults (the engine without the file says which),
    # every key has a comment above it, and every key is read.
    conf_lines = open(os.path.join(folder, "qvn.conf"), "rb").read().decode("ascii").replace("\r\n", "\n").split("\n")
    bare = os.path.join(work, folder_name + "-bare")
    shutil.copytree(folder, bare)
    os.remove(os.path.join(bare, "qvn.conf"))
    built_in = options_of(run_engine(os.path.join(bare, engine_name), elsewhere, ["usi"])[0])
    changed_conf, expected = [], {}
    for i, line in enumerate(conf_lines):
        if not line.strip() or line.startswith("#"):
            changed_conf.append(line)
            continue
        key, _, value = line.partition("=")
        key = key.strip().lower()
        option = built_in.get(key)
        if not check(option, "%s: qvn.conf key %s is an option of the engine" % (name, key)):
            continue
        check(i > 0 and conf_lines[i - 1].startswith("#"), "%s: qvn.conf key %s has a comment" % (name, key))
        shown, kind, default, low = option
        number = {"true": "1", "false": "0"}.get(default, default)
        check(value.strip() == number, "%s: qvn.conf %s=%s, the built-in default is %s" % (name, key, value, number))
        check(options.get(key) == option, "%s: with qvn.conf the engine shows %s as %s, without it as %s"
              % (name, key, options.get(key), option))
        if kind == "check":
            new, show = ("0", "false") if number == "1" else ("1", "true")
        else:
            new = str(int(low) + 1) if int(number) == int(low) else low
            show = new
        changed_conf.append("%s=%s" % (key, new))
        expected[key] = show
    check(len(expected) >= 5, "%s: qvn.conf holds the options' defaults" % name)
    with open(os.path.join(bare, "qvn.conf"), "w") as f:
        f.write("\n".join(changed_conf))
    reread = options_of(run_engine(os.path.join(bare, engine_name), elsewhere, ["usi"])[0])
    for key, show in expected.items():
        check(reread.get(key, (None, None, None))[2] == show,
              "%s: qvn.conf's key %s is read (%s shows as %s)" % (name, key, show, reread.get(key)))
    data = {}
    for f in ("hash_key.dat", "weight.dat", "book.dat"):
        path = os.path.join(folder, f)
        data[f] = open(path, "rb").read() if os.path.exists(path) else None
    return data


def main():
    archives = sys.argv[1:]
    if not archives:
        print(__doc__)
        return 2
    os.environ.setdefault("WINEDEBUG", "-all")
    os.environ.setdefault("WINEPREFIX", os.path.join(ROOT, "build-windows", "wine"))
    wine = any(a.endswith(".zip") for a in archives)
    if wine:
        # One Wine server for every start (its services would keep a first start's pipes open).
        subprocess.run([os.path.join(ROOT, "tools", "windows", "wine.sh")], check=True)
    work = tempfile.mkdtemp(prefix="qvn_release_")
    try:
        data = [check_package(os.path.abspath(a), work) for a in archives]
        data = [d for d in data if d]
        check(all(d == data[0] for d in data), "the data files are the same bytes in every package")
    finally:
        shutil.rmtree(work)
        if wine:
            subprocess.run(["wineserver", "-k"])
    print("%d archives: %s" % (len(archives), "%d failures" % len(failures) if failures else "all checks pass"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
