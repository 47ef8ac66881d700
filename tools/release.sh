#!/bin/sh
# Makes the release packages build-release/qvn-VERSION-windows-x64.zip and
# build-release/qvn-VERSION-linux-x64.tar.gz: a folder each with the engine, its data files,
# qvn.conf (the defaults, a comment per key) and README.txt (for GUI users).
# VERSION is the one the engine reports in "id name"; given, it must be that one.
# Builds what it needs: build/ and build-windows/ (tools/windows/build.sh), and a Linux engine
# with its C++ runtime linked in (build-release/linux), which runs on more systems.
set -e
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}
tools/windows/build.sh >/dev/null
cmake -S . -B build-release/linux -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DCMAKE_EXE_LINKER_FLAGS="-static-libstdc++ -static-libgcc" >/dev/null
cmake --build build-release/linux -j "$jobs" --target qvn data_files >/dev/null

reported=$(printf 'usi\nquit\n' | build-release/linux/qvn | sed -n 's/^id name qvn v\.//p')
version=${1:-$reported}
if [ -z "$reported" ] || [ "$version" != "$reported" ]; then
    echo "release.sh: the engine reports version '$reported', not '$version'" >&2
    exit 1
fi

out=build-release
# One folder for a system: engine, data files, qvn.conf and the text, with the line ends given.
make_folder() {  # name build-folder engine-file system line-end
    rm -rf "$out/$1"
    mkdir -p "$out/$1"
    for f in "$3" hash_key.dat weight.dat book.dat; do
        cp "$2/$f" "$out/$1/$f"
    done
    sed -e "s/@VERSION@/$version/g" -e "s/@ENGINE@/$3/g" -e "s/@SYSTEM@/$4/g" -e "s/\$/$5/" \
        tools/release/README.txt > "$out/$1/README.txt"
    sed -e "s/\$/$5/" tools/release/qvn.conf > "$out/$1/qvn.conf"
}

win=qvn-$version-windows-x64
make_folder "$win" build-windows qvn.exe "64-bit Windows" "$(printf '\r')"
x86_64-w64-mingw32-strip "$out/$win/qvn.exe"
rm -f "$out/$win.zip"
(cd "$out" && zip -qrX "$win.zip" "$win")

linux=qvn-$version-linux-x64
make_folder "$linux" build-release/linux qvn "64-bit Linux" ""
strip "$out/$linux/qvn"
(cd "$out" && tar --sort=name --owner=0 --group=0 --numeric-owner -czf "$linux.tar.gz" "$linux")

echo "$out/$win.zip"
echo "$out/$linux.tar.gz"
