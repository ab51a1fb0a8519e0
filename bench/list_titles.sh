#!/usr/bin/env bash
# `sonfara-cli list --titles` over 500 titled songs (four in five Japanese
# CP932, one in ten Western CP1252, the rest ASCII), two programs taking
# turns (e.g. a build of main and this tree); prints the median wall and
# CPU (user + system, less disturbed by other work) time of each and the
# ratios.
#   bench/list_titles.sh BASELINE_CLI NEW_CLI [RUNS]
set -euo pipefail
BASE=$1 NEW=$2 RUNS=${3:-31}
FOLDER=$(mktemp -d)
trap 'rm -rf "$FOLDER"' EXIT
python3 - "$FOLDER" <<'PY'
import struct, sys
folder = sys.argv[1]
def song(title):
    trk = b'\x00\xff\x03' + bytes([len(title)]) + title
    for i in range(400):
        trk += bytes([0, 0x90, 40 + i % 40, 0x64, 0x60, 0x80, 40 + i % 40, 0])
    trk += b'\x00\xff\x2f\x00'
    return b'MThd' + struct.pack('>IHHH', 6, 0, 1, 480) + b'MTrk' + struct.pack('>I', len(trk)) + trk
for i in range(1, 501):
    if i % 10 < 8: t = ('第%d曲 さくらのうた' % i).encode('cp932')
    elif i % 10 == 8: t = ('Don’t Stop %d' % i).encode('cp1252')
    else: t = ('Song %d' % i).encode()
    open('%s/song%d.mid' % (folder, i), 'wb').write(song(t))
PY
tb=() tn=() cb=() cn=()
# One run: wall and CPU (task clock) microseconds of `list --titles`.
run() {
    local s e cpu
    s=$(date +%s%N)
    cpu=$(perf stat -x, -e task-clock "$1" list --titles "$FOLDER" 2>&1 >/dev/null | tail -1)
    e=$(date +%s%N)
    echo "$(((e - s) / 1000)) $(awk -F, -v c="$cpu" 'BEGIN{split(c, a, ","); printf "%d", a[1] * 1000}')"
}
for _ in $(seq "$RUNS"); do
    read -r w c < <(run "$BASE")
    tb+=("$w") cb+=("$c")
    read -r w c < <(run "$NEW")
    tn+=("$w") cn+=("$c")
done
med() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN{printf "%.3f", a/b}'; }
mb=$(med "${tb[@]}") mn=$(med "${tn[@]}") xb=$(med "${cb[@]}") xn=$(med "${cn[@]}")
echo "wall: baseline ${mb} us, new ${mn} us, ratio $(ratio "$mn" "$mb")"
echo "CPU:  baseline ${xb} us, new ${xn} us, ratio $(ratio "$xn" "$xb")"
