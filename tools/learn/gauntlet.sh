#!/bin/sh
# Plays qvn with one weight file against qvn with another, a fixed number of nodes a move
# (the same games on every run, whatever else the machine is doing), two games at a time,
# and prints the match summary with the first file's Elo and its 95 % margin.
#
#   tools/learn/gauntlet.sh NEW.dat OLD.dat [NODES [GAMES [match.py options...]]]
#
# Both play without the opening book from the 12-ply openings of tests/data/games, each
# opening twice with the colours swapped. Engines run in learn-data/gauntlet/{new,old}, from
# a copy of build/qvn made at the start (a rebuild meanwhile changes nothing).
set -e
top=$(cd "$(dirname "$0")/../.." && pwd)
new=$(realpath "$1"); old=$(realpath "$2"); nodes=${3:-20000}; games=${4:-400}
shift 2; [ $# -gt 0 ] && shift; [ $# -gt 0 ] && shift
for side in new old; do
  dir="$top/learn-data/gauntlet/$side"
  mkdir -p "$dir"
  ln -sf "$top/build/hash_key.dat" "$dir/hash_key.dat"
  printf 'no_book=1\n' > "$dir/qvn.conf"
done
cp "$top/build/qvn" "$top/learn-data/gauntlet/qvn.$$" && mv "$top/learn-data/gauntlet/qvn.$$" "$top/learn-data/gauntlet/qvn"
cp "$new" "$top/learn-data/gauntlet/new/weight.dat"
cp "$old" "$top/learn-data/gauntlet/old/weight.dat"
exec python3 "$top/tools/match.py" "$top/learn-data/gauntlet/qvn" "$top/learn-data/gauntlet/qvn" \
  --name1 "$(basename "$new")" --name2 "$(basename "$old")" \
  --dir1 "$top/learn-data/gauntlet/new" --dir2 "$top/learn-data/gauntlet/old" \
  --nodes "$nodes" --games "$games" --parallel 2 -q \
  --out "$top/learn-data/gauntlet/$(basename "$new" .dat)-vs-$(basename "$old" .dat).usi" "$@"
