#!/bin/sh
# Tests the Windows build under Wine: the protocol tests of the native build (build/) run
# against build-windows/qvn.exe, and qvn-bench.exe must count the same nodes as qvn-bench.
# Arguments go to the test runner (e.g. --gtest_filter=Protocol.*).
set -e
cd "$(dirname "$0")/../.."
export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$PWD/build-windows/wine}"
# One Wine server for every engine the tests start, ended with the tests.
tools/windows/wine.sh
trap 'wineserver -k' EXIT

native=$(cd build && ./qvn-bench | sed -n 's/^bench: \([0-9]*\) nodes.*/\1/p')
windows=$(cd build-windows && wine ./qvn-bench.exe | tr -d '\r' | sed -n 's/^bench: \([0-9]*\) nodes.*/\1/p')
echo "bench: $native nodes (Linux), $windows nodes (Windows under Wine)"
if [ -z "$native" ] || [ "$native" != "$windows" ]; then
    echo "the Windows build searches differently" >&2
    exit 1
fi

build/tests/protocol_tests --engine=build-windows/qvn.exe "$@"
