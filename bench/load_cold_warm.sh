#!/usr/bin/env bash
# Load of one big song in fresh processes, cold (the first process after a
# pause) and warm (the next one at once), with a baseline read of the same
# file in the same round. Prints one line per run and the medians.
#   bench/load_cold_warm.sh [BENCH_LOAD...] [-- SONG] [ROUNDS] [PAUSE_S]
# Several bench_load binaries (e.g. before and after a change) take turns,
# each after its own pause. Defaults: build/release/bench/bench_load, the
# 100 MB song written to /tmp, 5 rounds, 30 s.
set -euo pipefail
cd "$(dirname "$0")/.."
BINS=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do BINS+=("$1"); shift; done
[ $# -gt 0 ] && shift
[ ${#BINS[@]} -eq 0 ] && BINS=(build/release/bench/bench_load)
SONG=${1:-/tmp/sonfara-bench-100mb.mid}
ROUNDS=${2:-5}
PAUSE=${3:-30}
[ -f "$SONG" ] || "${BINS[0]}" --write 100 "$SONG"
OUT=$(mktemp)
trap 'rm -f "$OUT"' EXIT
for ((r = 1; r <= ROUNDS; ++r)); do
    for b in "${BINS[@]}"; do
        sleep "$PAUSE"
        echo "$b cold $("$b" --once "$SONG")" | tee -a "$OUT"
        echo "$b warm $("$b" --once "$SONG")" | tee -a "$OUT"
        echo "$b read $("$b" --read "$SONG")" | tee -a "$OUT"
    done
done
echo "medians (wall user sys, seconds) and wall / read:"
for b in "${BINS[@]}"; do
    med() { grep -F "$b $1 " "$OUT" | awk -v c="$2" '{print $c}' | sort -n |
            awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
    base=$(med read 3)
    for kind in cold warm read; do
        w=$(med "$kind" 3)
        printf "%s %s: %s %s %s  ratio %.1f\n" "$b" "$kind" "$w" "$(med "$kind" 4)" "$(med "$kind" 5)" \
            "$(awk -v a="$w" -v b="$base" 'BEGIN {print a / b}')"
    done
done
