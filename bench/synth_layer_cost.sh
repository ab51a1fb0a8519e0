#!/usr/bin/env bash
# Render CPU of the built-in synthesizer with and without its GS/XG layer:
# this tree's sonfara-cli against a baseline build (another tree's, built
# from a commit before the layer), alternating runs on the dense GS song.
#   bench/synth_layer_cost.sh BASELINE_CLI [SOUNDFONT] [RUNS] [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
BASE=$1
SF=${2:-/usr/share/sounds/sf2/TimGM6mb.sf2}
RUNS=${3:-7}
SECONDS_=${4:-30}
NEW=build/release/player/cli/sonfara-cli
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
python3 bench/gs_song.py "$TMP/gs.mid" "$SECONDS_"
cpu() { # user+sys seconds of a command
    /usr/bin/time -f "%U %S" -o "$TMP/t" "$@" >/dev/null 2>&1
    awk '{printf "%.3f\n", $1+$2}' "$TMP/t"
}
: > "$TMP/base"; : > "$TMP/new"
for i in $(seq "$RUNS"); do
    cpu "$BASE" render "$TMP/gs.mid" -o "$TMP/b.wav" --soundfont "$SF" >> "$TMP/base"
    cpu "$NEW" render "$TMP/gs.mid" -o "$TMP/n.wav" --soundfont "$SF" >> "$TMP/new"
done
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
mb=$(median < "$TMP/base"); mn=$(median < "$TMP/new")
echo "song: dense GS song, $SECONDS_ s; soundfont: $SF; runs: $RUNS (medians, alternating)"
echo "baseline cpu s: $mb ($(tr '\n' ' ' < "$TMP/base"))"
echo "with layer cpu s: $mn ($(tr '\n' ' ' < "$TMP/new"))"
python3 -c "import sys; b,n=map(float,sys.argv[1:]); print('ratio %.3f' % (n/b))" "$mb" "$mn"
