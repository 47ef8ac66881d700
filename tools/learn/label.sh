#!/bin/sh
# Labels training records again with fairy-stockfish's score (at depth 6 by
# default), two engines at a time, in parts of 20,000 positions; run it again after an
# interruption and it labels only the parts not yet done (kept in OUT.bin.parts/).
#
#   tools/learn/label.sh IN.bin OUT.bin ["GO COMMAND"]
#
# Each part is labelled by a fresh engine in record order, so the labels are the same on every
# run. The scores stay on the engine's scale: learn from them with qvn's own evaluation scale
# (qvn-learn --scale), as material is fixed in the engine.
set -e
top=$(cd "$(dirname "$0")/../.." && pwd)
in=$(realpath "$1"); out=$(realpath -m "$2"); go=${3:-go depth 6}
parts="$out.parts"
mkdir -p "$parts"
cd "$parts"
ln -sf "$top/build/hash_key.dat" hash_key.dat
[ -f dump.done ] || { "$top/build/qvn-records" dump "$in" | split -l 20000 -d -a 3 - in.; touch dump.done; }
ls in.* | sed 's/^in\.//' | xargs -P 2 -I K sh -c '[ -f label.K ] || {
  python3 "$0/tools/learn/usi_teacher.py" --engine /usr/games/fairy-stockfish --option UCI_Variant=shogi \
    --option Threads=1 --go "$1" < in.K > label.K.part 2> label.K.log && mv label.K.part label.K
  echo "part K: $(tail -c 60 label.K.log | tr "\r" "\n" | tail -1)"; }' "$top" "$go"
rm -f "$out"
cat label.[0-9][0-9][0-9] | "$top/build/qvn-records" pack "$out"
