#!/usr/bin/env bash
# Offline rendering: sonfara-cli render against Debian's fluidsynth program on
# the same song and SoundFont, alternating runs in one session.
#   bench/render_compare.sh [SONG.mid] [SOUNDFONT] [RUNS]
# Without a song the 30-second dense benchmark song is written and used.
set -euo pipefail
cd "$(dirname "$0")/.."
B=build/release
SONG=${1:-}
SF=${2:-/usr/share/sounds/sf2/TimGM6mb.sf2}
RUNS=${3:-5}
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
if [ -z "$SONG" ]; then
    SONG=$TMP/dense.mid
    "$B/bench/bench_playback" --write-song "$SONG" 30
fi
cpu() { # prints wall and user+sys seconds of a command
    /usr/bin/time -f "%e %U %S" -o "$TMP/t" "$@" >/dev/null 2>&1
    awk '{printf "%.3f %.3f\n", $1, $2+$3}' "$TMP/t"
}
: > "$TMP/sonfara"; : > "$TMP/fluid"
for i in $(seq "$RUNS"); do
    cpu "$B/player/cli/sonfara-cli" render "$SONG" -o "$TMP/s.wav" --soundfont "$SF" >> "$TMP/sonfara"
    cpu fluidsynth -ni -q -F "$TMP/f.wav" "$SF" "$SONG" >> "$TMP/fluid"
done
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
ms=$(cut -d' ' -f1 "$TMP/sonfara" | median); mf=$(cut -d' ' -f1 "$TMP/fluid" | median)
cs=$(cut -d' ' -f2 "$TMP/sonfara" | median); cf=$(cut -d' ' -f2 "$TMP/fluid" | median)
dur() { python3 -c "import wave,sys; w=wave.open(sys.argv[1]); print('%.2f' % (w.getnframes()/w.getframerate()))" "$1"; }
ds=$(dur "$TMP/s.wav"); df=$(dur "$TMP/f.wav")
echo "song: $SONG"; echo "soundfont: $SF"; echo "runs: $RUNS (medians)"
printf "%-12s %10s %10s %12s\n" "" "wall s" "cpu s" "audio s"
printf "%-12s %10s %10s %12s\n" "sonfara" "$ms" "$cs" "$ds" "fluidsynth" "$mf" "$cf" "$df"
python3 -c "import sys; s,f,a,b=map(float,sys.argv[1:]); print('wall s per s of audio: sonfara %.4f, fluidsynth %.4f, ratio %.2f' % (s/a, f/b, (s/a)/(f/b)))" "$ms" "$mf" "$ds" "$df"
python3 -c "import sys; s,f,a,b=map(float,sys.argv[1:]); print('cpu s per s of audio:  sonfara %.4f, fluidsynth %.4f, ratio %.2f' % (s/a, f/b, (s/a)/(f/b)))" "$cs" "$cf" "$ds" "$df"
