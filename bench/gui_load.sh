#!/usr/bin/env bash
# A large song in the player sonfara, in a private headless desktop: the
# time from the start to playing, how fast the player answers the desktop's
# media controls while the song loads (MPRIS PlaybackStatus every 50 ms)
# against the same call once it plays (the baseline, same run), and how
# long a seek of a minute takes (MPRIS Seek, answered after the seek); then
# it plays on for PLAY seconds with the keyboard display on, and the player's
# own figures at the exit (SONFARA_DRAW_STATS) give the drawing pass and the
# sequencer's lateness over the whole run.
# The song is bench_load's generated one; the port is "monitor" (its lines
# thrown away), so no sound device is needed.
#   bench/gui_load.sh [PRESET] [MB] [RUNS] [PLAY]  (defaults: release, 100, 3, 20)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-release}
mb=${2:-100}
runs=${3:-3}
play=${4:-20}
B=$PWD/build/$preset
S=$B/player/cli/sonfara
if [ "${SONFARA_IN_DESKTOP:-}" != 1 ]; then
    for x in "$S" "$B/bench/bench_load"; do
        [ -x "$x" ] || { echo "bench: build sonfara and bench_load ($preset) first" >&2; exit 2; }
    done
    SONFARA_IN_DESKTOP=1 exec scripts/headless-desktop.sh "$0" "$preset" "$mb" "$runs" "$play"
fi

export LC_ALL=C
root=$HEADLESS_ROOT
song=$root/song-${mb}mb.mid
"$B/bench/bench_load" --write "$mb" "$song" >/dev/null
mkdir -p "$XDG_CONFIG_HOME/Tenmoor"
printf '[Sonfara]\nMIDIOutPort=monitor\nShowWRD=False\n' >"$XDG_CONFIG_HOME/Tenmoor/Sonfara.ini"

now() { date +%s%N; }
ms_since() { echo $(( ($(now) - $1) / 1000000 )); }
mpris() {
    gdbus call --session --dest org.mpris.MediaPlayer2.sonfara --object-path /org/mpris/MediaPlayer2 "$@" 2>/dev/null
}
status() { mpris --method org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2.Player PlaybackStatus; }
median() { sort -g | awk '{a[NR]=$1} END {if (NR == 0) {print "-"; exit} m=(NR+1)/2; print (NR%2) ? a[m] : (a[m-0.5]+a[m+0.5])/2}'; }
largest() { sort -g | tail -1; }

loads=() during=() after=() seeks=() passes=() lates=() latemax=()
stat() { awk -v k="$1" '$1 == k {print $2}' "$2"; }
for run in $(seq "$runs"); do
    start=$(now)
    SONFARA_DRAW_STATS=$root/draw.$run "$S" "$song" >/dev/null 2>"$root/sonfara-$run.log" &
    pid=$!
    playing=""
    for _ in $(seq 1200); do
        t=$(now)
        answer=$(status || true)
        took=$(ms_since "$t")
        case $answer in
            *Playing*) playing=$(ms_since "$start"); break ;;
            *Stopped*|*Paused*) during+=("$took"); [ -n "${GUI_LOAD_TRACE:-}" ] && echo "at $(ms_since "$start") ms: $took ms" >&2 ;;
        esac
        sleep 0.05
    done
    [ -n "$playing" ] || { echo "run $run: never played" >&2; kill "$pid"; exit 1; }
    loads+=("$playing")
    for _ in $(seq 10); do
        t=$(now); status >/dev/null; after+=("$(ms_since "$t")"); sleep 0.05
    done
    for _ in $(seq 5); do
        t=$(now); mpris --method org.mpris.MediaPlayer2.Player.Seek 60000000 >/dev/null
        seeks+=("$(ms_since "$t")"); sleep 0.2
    done
    sleep "$play"
    mpris --method org.mpris.MediaPlayer2.Quit >/dev/null || kill "$pid"
    wait "$pid" || true
    passes+=("$(stat p99_us "$root/draw.$run")")
    lates+=("$(stat late_p99_us "$root/draw.$run")")
    latemax+=("$(stat late_max_us "$root/draw.$run")")
done

echo "song: $mb MB, $runs runs"
echo "start to playing (ms), median: $(printf '%s\n' "${loads[@]}" | median)"
echo "answer while loading (ms), median / largest: $(printf '%s\n' "${during[@]}" | median) / $(printf '%s\n' "${during[@]}" | largest) (${#during[@]} calls)"
echo "answer while playing (ms), median / largest: $(printf '%s\n' "${after[@]}" | median) / $(printf '%s\n' "${after[@]}" | largest)"
echo "seek a minute (ms), median / largest: $(printf '%s\n' "${seeks[@]}" | median) / $(printf '%s\n' "${seeks[@]}" | largest)"
echo "drawing pass p99 (us) per run: ${passes[*]}"
echo "lateness p99 / max (us) per run: ${lates[*]} / ${latemax[*]}"
