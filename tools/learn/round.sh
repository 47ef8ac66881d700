#!/bin/sh
# One learning round, start to end, resumable: run it again after an interruption and it
# carries on with the step it was in (self-play skips the games done, labelling the parts done,
# the learner runs once, the gauntlet keeps the games already played).
#
#   [DEPTH=2] [LABEL="go depth 6"] [EXTRA="more.bin ..."] [SCALE=888.5] \
#   tools/learn/round.sh DIR START.dat SEED GAMES OPPONENT.dat [LAMBDA [GAUNTLET_GAMES]]
#
#   1. self-play: GAMES games of START.dat weights at depth DEPTH, seed SEED -> DIR/selfplay.bin
#   2. with LABEL set: the records labelled by fairy-stockfish with that go command
#                                                           -> DIR/selfplay-fsf.bin
#   3. learning from them (and the record files in EXTRA), starting from START.dat, with the
#      score's share LAMBDA of the target (1.0; the game result has the rest) and, with SCALE
#      set, that evaluation scale          -> DIR/weight.dat, weights.txt, loss.svg
#   4. gauntlet: DIR/weight.dat against OPPONENT.dat, 100,000 nodes a move (400 games)
#
# Programs run from copies in DIR/bin, so that rebuilding meanwhile changes nothing. Each
# step's output goes to DIR/<step>.log; DIR/step says which step the round is in.
set -e
top=$(cd "$(dirname "$0")/../.." && pwd)
dir=$1; start=$(realpath "$2"); seed=$3; games=$4; opponent=$(realpath "$5"); lambda=${6:-1.0}; gauntlet=${7:-400}
extra=$(for f in $EXTRA; do printf ' --data %s' "$(realpath "$f")"; done)
mkdir -p "$dir/bin"
dir=$(realpath "$dir")
[ -x "$dir/bin/qvn-selfplay" ] || cp "$top/build/qvn-selfplay" "$top/build/qvn-learn" "$dir/bin/"
ln -sf "$top/build/hash_key.dat" "$dir/hash_key.dat"
ln -sf "$top/build/book.dat" "$dir/book.dat"
[ -f "$dir/start-weight.dat" ] || cp "$start" "$dir/start-weight.dat"
check="$top/learn-data/check/strong-games.bin"
cd "$dir"

echo selfplay > step
bin/qvn-selfplay --out selfplay.bin --games "$games" --depth "${DEPTH:-2}" --jobs 2 --seed "$seed" \
    --weights start-weight.dat "$top"/tests/data/games/*.usi >> selfplay.log 2>&1

data=selfplay.bin
if [ -n "$LABEL" ]; then
    echo label > step
    [ -f selfplay-fsf.bin ] || "$top/tools/learn/label.sh" selfplay.bin selfplay-fsf.bin "$LABEL" >> label.log 2>&1
    data=selfplay-fsf.bin
fi

if [ ! -f weight.dat ]; then
    echo learn > step
    bin/qvn-learn --data $data $extra $( [ -f "$check" ] && echo --check "$check" ) --init start-weight.dat \
        --out weight.dat.part --text weights.txt --svg loss.svg --epochs 4 --lambda "$lambda" \
        $( [ -n "$SCALE" ] && echo --scale "$SCALE" ) --batch 1024 \
        --l2 1e-7 --rate 0.3 --decay 0.9 --stamp 1796601600 > learn.log 2>&1
    mv weight.dat.part weight.dat
fi

echo gauntlet > step
"$top/tools/learn/gauntlet.sh" weight.dat "$opponent" 100000 "$gauntlet" --resume \
    --out "$dir/gauntlet.usi" > gauntlet.log 2>&1
echo done > step
