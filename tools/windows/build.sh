#!/bin/sh
# Cross-builds qvn.exe, qvn-bench.exe, qvn-perft.exe and qvn-mate.exe for 64-bit Windows into
# build-windows/ with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix), linked statically.
# The data files beside them are written by the native build's tools (build/, whose tools are
# built here first), so they are the same bytes as the Linux build's.
set -e
cd "$(dirname "$0")/../.."
jobs=${JOBS:-2}
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$jobs" --target qvn-make-hash-key qvn-make-book make_weight data_files
cmake -S . -B build-windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=tools/windows/mingw-w64-x86_64.cmake -DQVN_HOST_TOOLS="$PWD/build" --no-warn-unused-cli >/dev/null
cmake --build build-windows -j "$jobs" --target qvn qvn-bench qvn-perft qvn-mate data_files
for f in hash_key.dat weight.dat book.dat; do
    cmp build/$f build-windows/$f
done
echo "build-windows: qvn.exe qvn-bench.exe qvn-perft.exe qvn-mate.exe hash_key.dat weight.dat book.dat"
