#!/usr/bin/env bash
# Processor cost of the player sonfara playing a dense 16-channel song with
# every display on (GTimer 50, main window on the keyboard panel) against
# sonfara-cli play of the same song, in alternating runs in a private
# headless desktop. Both send to the same port: "monitor" (one line per
# message, here into a file) by default, so the output costs both the same
# and little, and the difference is the program around it;
# GUI_COST_PORT="Sonfara Synth" plays both through the built-in synthesizer
# into PulseAudio's null sink instead (its audio threads cost far more than
# the difference, and vary by more). utime + stime from /proc/<pid>/stat
# over the same window of each run, and sonfara's threads one by one;
# sonfara also reports its drawing thread's pass times (SONFARA_DRAW_STATS).
#   bench/gui_cost.sh [PRESET] [RUNS]     (defaults: release, 5)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-release}
runs=${2:-5}
B=$PWD/build/$preset
S=$B/player/cli/sonfara
C=$B/player/cli/sonfara-cli
if [ "${SONFARA_IN_DESKTOP:-}" != 1 ]; then
    for x in "$S" "$C" "$B/bench/bench_playback"; do
        [ -x "$x" ] || { echo "bench: build sonfara, sonfara-cli and bench_playback ($preset) first" >&2; exit 2; }
    done
    SONFARA_IN_DESKTOP=1 exec scripts/headless-desktop.sh "$0" "$preset" "$runs"
fi

lead=3     # seconds from the start to the window: loading, SoundFont, windows
window=30  # seconds measured, while the song plays
port=${GUI_COST_PORT:-monitor}
export LC_ALL=C
root=$HEADLESS_ROOT
song=$root/dense.mid
"$B/bench/bench_playback" --write-song "$song" $((lead + window + 3))

mkdir -p "$XDG_CONFIG_HOME/Tenmoor"
cat > "$XDG_CONFIG_HOME/Tenmoor/Sonfara.ini" <<INI
[Sonfara]
GTimer=50
MTimer=5
BltSw=True
WindowStyle=True
WindowType=0
AlwaysMove=False
ShowWRD=True
MIDIOutPort=$port
INI

now() { date +%s%N; }
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
median() { sort -g | awk '{a[NR]=$1} END {m=(NR+1)/2; print (NR%2) ? a[m] : (a[m-0.5]+a[m+0.5])/2}'; }
mpris() {
    gdbus call --session --dest org.mpris.MediaPlayer2.sonfara --object-path /org/mpris/MediaPlayer2 "$@"
}
quit() {
    mpris --method org.mpris.MediaPlayer2.Quit >/dev/null 2>&1 || kill "$1"
    wait "$1" || true
}
threads() {  # "tid name ticks" of every thread of process $1
    for t in /proc/"$1"/task/*; do
        echo "${t##*/} $(tr ' ' _ < "$t/comm") $(awk '{print $14 + $15}' "$t/stat")"
    done 2>/dev/null | sort
}
# Percent of one core the process used over the window, after the lead;
# the threads' shares (main = the process's first thread) go to $root/threads.
# With the monitor, the lines it wrote in the window go to $root/sent.
measure() {
    local pid=$1 out=$2 c0 c1 t0 t1 m0 m1
    threads "$pid" > "$root/threads.0"
    m0=$(wc -l < "$out"); c0=$(ticks "$pid"); t0=$(now)
    sleep "$window"
    c1=$(ticks "$pid"); t1=$(now); m1=$(wc -l < "$out")
    echo $((m1 - m0)) > "$root/sent"
    threads "$pid" > "$root/threads.1"
    join "$root/threads.0" "$root/threads.1" | awk -v pid="$pid" -v hz="$hz" -v w="$window" \
        '$5 > $3 {printf "%s %.2f%%, ", ($1 == pid ? "main" : $2), 100 * ($5 - $3) / hz / w}' > "$root/threads"
    # Without PulseAudio's client threads (the synthesizer's audio output).
    join "$root/threads.0" "$root/threads.1" | awk -v hz="$hz" -v w="$window" \
        '$2 != "pulse-audio" && $2 != "threaded-ml" {t += $5 - $3} END {printf "%.2f\n", 100 * t / hz / w}' > "$root/own"
    awk "BEGIN{printf \"%.2f\", 100*($c1-$c0)/$hz/(($t1-$t0)/1e9)}"
}

echo "load average at start: $(cat /proc/loadavg)"
"$S" >/dev/null & pid=$!; sleep 2; quit "$pid"  # warm-up: caches filled, settings read and written
gui=() cli=() guiown=() cliown=()
for i in $(seq "$runs"); do
    SONFARA_DRAW_STATS=$root/draw.$i "$S" "$song" > "$root/out.gui" & pid=$!
    sleep "$lead"
    state=$(mpris --method org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2.Player PlaybackStatus 2>/dev/null || true)
    case $state in *Playing*) ;; *) echo "bench: sonfara is not playing ($state)" >&2; quit "$pid"; exit 1 ;; esac
    gui+=($(measure "$pid" "$root/out.gui"))
    guisent=$(cat "$root/sent")
    guithreads=$(cat "$root/threads"); guiown+=($(cat "$root/own"))
    quit "$pid"
    [ -s "$root/draw.$i" ] || { echo "bench: no drawing statistics from run $i" >&2; exit 1; }

    "$C" play "$song" --port "$port" > "$root/out.cli" 2>/dev/null & pid=$!
    sleep "$lead"
    kill -0 "$pid" 2>/dev/null || { echo "bench: sonfara-cli play ended early" >&2; exit 1; }
    cli+=($(measure "$pid" "$root/out.cli"))
    clithreads=$(cat "$root/threads"); cliown+=($(cat "$root/own"))
    wait "$pid" || { echo "bench: sonfara-cli play failed" >&2; exit 1; }
    if [ "$port" = monitor ]; then
        echo "  messages in the window: sonfara $guisent, sonfara-cli $(cat "$root/sent")"
    fi
    echo "run $i: sonfara ${gui[-1]} %, sonfara-cli ${cli[-1]} % of one core; drawing: $(tr '\n' ' ' < "$root/draw.$i")"
    echo "  sonfara by thread: $guithreads"
    echo "  sonfara-cli by thread: $clithreads"
done
echo "load average at end:   $(cat /proc/loadavg)"

g=$(printf '%s\n' "${gui[@]}" | median)
c=$(printf '%s\n' "${cli[@]}" | median)
stat() { cat "$root"/draw.* | awk -v k="$1" '$1 == k {print $2}' | median; }
echo "song: ${window} s measured of a dense 16-channel song, port \"$port\", $runs runs each (medians)"
echo "sonfara (GTimer 50, displays on):  $g % of one core"
echo "sonfara-cli play (baseline):       $c % of one core"
echo "GUI's extra cost:                  $(awk "BEGIN{printf \"%.2f\", $g-$c}") % of one core (target <= 3)"
go=$(printf '%s\n' "${guiown[@]}" | median)
co=$(printf '%s\n' "${cliown[@]}" | median)
echo "without the audio output's threads: sonfara $go %, sonfara-cli $co %, extra $(awk "BEGIN{printf \"%.2f\", $go-$co}") %"
echo "drawing passes per run $(stat passes); pass wall median $(stat median_us) us, p99 $(stat p99_us) us;" \
     "processor median $(stat cpu_median_us) us, p99 $(stat cpu_p99_us) us (medians over runs)"
