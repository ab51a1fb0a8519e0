#!/usr/bin/env bash
# Audio export: a folder of busy songs rendered by sonfara-cli with --jobs 1
# against --jobs 2, and one song rendered by sonfara-cli (WAV, FLAC, Ogg)
# against Debian's fluidsynth program on the same song and SoundFont. Runs
# alternate within one session; medians of /usr/bin/time.
#   bench/render_export.sh [SOUNDFONT] [RUNS] [SONGS] [all|folder|song]
set -euo pipefail
cd "$(dirname "$0")/.."
B=build/release
CLI=$B/player/cli/sonfara-cli
SF=${1:-/usr/share/sounds/sf2/TimGM6mb.sf2}
RUNS=${2:-5}
SONGS=${3:-4}
PART=${4:-all}
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
mkdir "$TMP/songs"
# The dense benchmark song (16 channels, about 200 messages a second) in
# different lengths, so the songs differ and do not end together.
for i in $(seq "$SONGS"); do
    "$B/bench/bench_playback" --write-song "$TMP/songs/dense$i.mid" $((16 + 4 * i))
done
SONG=$TMP/songs/dense$SONGS.mid

run() { # NAME COMMAND...: appends "wall cpu" seconds to $TMP/NAME
    local name=$1
    shift
    /usr/bin/time -f "%e %U %S" -o "$TMP/t" "$@" >/dev/null 2>&1
    awk '{printf "%.3f %.3f\n", $1, $2+$3}' "$TMP/t" >> "$TMP/$name"
}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
wall() { cut -d' ' -f1 "$TMP/$1" | median; }
cpu() { cut -d' ' -f2 "$TMP/$1" | median; }
seconds() { python3 -c "import wave,sys; w=wave.open(sys.argv[1]); print('%.2f' % (w.getnframes()/w.getframerate()))" "$1"; }

echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
for i in $(seq "$RUNS"); do
    if [ "$PART" != song ]; then
        rm -rf "$TMP/o1" "$TMP/o2"
        run jobs1 "$CLI" render "$TMP/songs" -o "$TMP/o1/" --jobs 1 --soundfont "$SF" --no-settings
        run jobs2 "$CLI" render "$TMP/songs" -o "$TMP/o2/" --jobs 2 --soundfont "$SF" --no-settings
    fi
    if [ "$PART" != folder ]; then
        run wav "$CLI" render "$SONG" -o "$TMP/s.wav" --soundfont "$SF" --no-settings
        run fluid fluidsynth -ni -q -F "$TMP/f.wav" "$SF" "$SONG"
        run flac "$CLI" render "$SONG" -o "$TMP/s.flac" --soundfont "$SF" --no-settings
        run ogg "$CLI" render "$SONG" -o "$TMP/s.ogg" --soundfont "$SF" --no-settings
    fi
done
echo "load average at end:   $(cut -d' ' -f1-3 /proc/loadavg)"
echo "soundfont: $SF; runs: $RUNS (medians)"
if [ "$PART" != song ]; then
    audio=0
    for f in "$TMP"/o1/*.wav; do audio=$(python3 -c "print($audio + $(seconds "$f"))"); done
    echo
    echo "folder of $SONGS songs ($audio s of audio):"
    printf "%-28s %8s %8s\n" "" "wall s" "cpu s"
    printf "%-28s %8s %8s\n" "render -o FOLDER --jobs 1" "$(wall jobs1)" "$(cpu jobs1)"
    printf "%-28s %8s %8s\n" "render -o FOLDER --jobs 2" "$(wall jobs2)" "$(cpu jobs2)"
    python3 -c "import sys; a,b=map(float,sys.argv[1:]); print('wall ratio jobs 2 / jobs 1: %.2f (target at most 0.60)' % (b/a))" "$(wall jobs1)" "$(wall jobs2)"
fi
[ "$PART" = folder ] && exit 0
echo
echo "one song ($(basename "$SONG")):"
printf "%-28s %8s %8s %8s\n" "" "wall s" "cpu s" "audio s"
printf "%-28s %8s %8s %8s\n" "sonfara-cli render WAV" "$(wall wav)" "$(cpu wav)" "$(seconds "$TMP/s.wav")"
printf "%-28s %8s %8s %8s\n" "sonfara-cli render FLAC" "$(wall flac)" "$(cpu flac)" ""
printf "%-28s %8s %8s %8s\n" "sonfara-cli render Ogg" "$(wall ogg)" "$(cpu ogg)" ""
printf "%-28s %8s %8s %8s\n" "fluidsynth -F (WAV)" "$(wall fluid)" "$(cpu fluid)" "$(seconds "$TMP/f.wav")"
python3 -c "import sys; s,f=map(float,sys.argv[1:]); print('wall ratio sonfara WAV / fluidsynth: %.2f (target at most 1.00)' % (s/f))" "$(wall wav)" "$(wall fluid)"
