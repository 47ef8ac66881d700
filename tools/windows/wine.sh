#!/bin/sh
# Runs a Windows program under Wine (wine.sh PROGRAM ARGS...) in the project's Wine prefix,
# build-windows/wine (or WINEPREFIX), which it makes at first use. Wine's own messages are off:
# they would read as the program's.
# With no program it starts Wine for a series of runs: a server that stays (until
# "wineserver -k") and Wine's services, with no standard input or output of ours. Services
# started by a program's own start would hold on to its pipes, so that nobody reading them
# ever sees their end.
root=$(cd "$(dirname "$0")/../.." && pwd)
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEPREFIX="${WINEPREFIX:-$root/build-windows/wine}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    # Wine's Mono and Gecko (for .NET and HTML programs) are not needed.
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i </dev/null >/dev/null 2>&1
fi
if [ $# -gt 0 ]; then
    exec wine "$@"
fi
wineserver -p 2>/dev/null || true  # one may already run: it serves as well
wine wineboot </dev/null >/dev/null 2>&1
