#!/usr/bin/env bash
# Start-up time of sonfara until both windows are shown (fresh process each
# run) and its idle processor time with the windows shown and no song, in a
# private headless desktop. Baseline in the same run: `sonfara --version`
# (the same program loaded and ended without a window).
#   bench/startup_idle.sh [PRESET] [RUNS]     (defaults: release, 7)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-release}
runs=${2:-7}
S=$PWD/build/$preset/player/cli/sonfara
if [ "${SONFARA_IN_DESKTOP:-}" != 1 ]; then
    [ -x "$S" ] || { echo "bench: build the $preset preset first" >&2; exit 2; }
    SONFARA_IN_DESKTOP=1 exec scripts/headless-desktop.sh "$0" "$preset" "$runs"
fi

now() { date +%s%N; }
median() { sort -n | awk '{a[NR]=$1} END {m=(NR+1)/2; print (NR%2) ? a[m] : (a[m-0.5]+a[m+0.5])/2}'; }
quit() {
    gdbus call --session --dest org.mpris.MediaPlayer2.sonfara --object-path /org/mpris/MediaPlayer2 \
        --method org.mpris.MediaPlayer2.Quit >/dev/null 2>&1 || kill "$1"
    wait "$1" || true
}

stamp=$HEADLESS_ROOT/shown
base=() shown=()
"$S" & pid=$!; sleep 1; quit "$pid"  # a warm-up run: caches filled, settings written
for _ in $(seq "$runs"); do
    t0=$(now); "$S" --version >/dev/null; base+=($(( ($(now) - t0) / 1000 )))
    rm -f "$stamp"
    t0=$(now)
    SONFARA_SHOWN_STAMP=$stamp "$S" & pid=$!
    for _ in $(seq 100); do [ -s "$stamp" ] && break; sleep 0.02; done
    [ -s "$stamp" ] || { echo "bench: windows never shown" >&2; kill "$pid"; exit 1; }
    shown+=($(( ($(cat "$stamp") - t0) / 1000 )))
    quit "$pid"
done
b=$(printf '%s\n' "${base[@]}" | median)
s=$(printf '%s\n' "${shown[@]}" | median)
echo "start-up to both windows shown: median ${s} us over $runs runs (runs: ${shown[*]})"
echo "baseline sonfara --version:     median ${b} us; ratio $(awk "BEGIN{printf \"%.1f\", $s/$b}")"

# Idle: both windows shown, no song, 30 s of processor time (one clock tick is
# then 0.03 % of a core).
"$S" & pid=$!
sleep 2
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
c0=$(ticks "$pid"); t0=$(now)
sleep 30
c1=$(ticks "$pid"); t1=$(now)
echo "idle processor time: $(awk "BEGIN{printf \"%.2f\", 100*($c1-$c0)/$hz/(($t1-$t0)/1e9)}") % of one core ($((c1 - c0)) ticks of 1/$hz s in 30 s)"
quit "$pid"
