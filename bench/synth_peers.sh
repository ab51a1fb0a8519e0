#!/usr/bin/env bash
# The built-in synthesizer against timidity and fluidsynth on the same songs
# and SoundFont, runs alternating, medians:
#   offline render: CPU seconds and max RSS of a short busy song and a long one
#   real time (in the null sink of scripts/headless-desktop.sh): player and
#     sound-server CPU while playing, and the first sound after the start
#     (recorded from the sink's monitor; every program loads its SoundFont
#     in that time, and the recorder's own start is a shared bias)
#   bench/synth_peers.sh [SOUNDFONT] [RUNS] [SHORT_S] [LONG_S] [PLAY_S]
# A peer that is not installed is skipped (Debian: timidity; fluidsynth).
# SONFARA_CLI=PATH measures another build of sonfara-cli; SYNTH_PEERS_GS=1
# plays the dense GS song (bench/gs_song.py) instead of the GM one.
# SYNTH_PEERS_SONGS="A.mid B.mid" renders those songs offline instead of the
# generated ones, one row per song and peer (no real-time part).
set -euo pipefail
cd "$(dirname "$0")/.."
B=build/release
CLI=${SONFARA_CLI:-$PWD/$B/player/cli/sonfara-cli}
SF=${1:-/usr/share/sounds/sf2/FluidR3_GM.sf2}
RUNS=${2:-5}
SHORT=${3:-30}
LONG=${4:-300}
PLAY=${5:-12}
PEERS=(sonfara)
command -v timidity >/dev/null && PEERS+=(timidity)
command -v fluidsynth >/dev/null && PEERS+=(fluidsynth)

if [ "${SYNTH_PEERS_REALTIME:-}" = 1 ]; then
    # --- Real time, inside the headless desktop -------------------------------
    TMP=$SYNTH_PEERS_TMP
    ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }
    pulse=$(cat "$XDG_RUNTIME_DIR/pulse/pid")
    hz=$(getconf CLK_TCK)
    play() { # PEER SONG: the player in the background
        case $1 in
            sonfara) exec "$CLI" play "$2" --soundfont "$SF" --no-settings ;;
            timidity) exec timidity -c "$TMP/timidity.cfg" -s 44100 -Os "$2" ;;
            fluidsynth) exec fluidsynth -ni -q -a pulseaudio -r 44100 "$SF" "$2" ;;
        esac >/dev/null 2>&1 &
        echo $!
    }
    for i in $(seq "$RUNS"); do
        for peer in "${PEERS[@]}"; do
            parec -d null.monitor --latency-msec=5 --raw --format=s16le --rate=44100 --channels=1 >"$TMP/rec.raw" &
            rec=$!
            sleep 1
            recStart=$(python3 -c "import os; print(os.path.getsize('$TMP/rec.raw'))")
            pid=$(play "$peer" "$TMP/long.mid")
            # Loading done: measure a steady stretch of play.
            sleep 2
            p0=$(ticks "$pid")
            s0=$(ticks "$pulse")
            sleep "$PLAY"
            p1=$(ticks "$pid")
            s1=$(ticks "$pulse")
            kill "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
            kill "$rec" 2>/dev/null || true
            wait "$rec" 2>/dev/null || true
            first=$(python3 - "$TMP/rec.raw" "$recStart" <<'PY'
import struct, sys
d = open(sys.argv[1], 'rb').read()
skip = int(sys.argv[2]) // 2
s = struct.unpack('<%dh' % (len(d) // 2), d[:len(d) // 2 * 2])
i = next((k for k in range(skip, len(s)) if abs(s[k]) > 64), -1)
print('%.0f' % ((i - skip) / 44.1) if i >= 0 else 'nan')
PY
)
            echo "$peer $(((p1 - p0) * 100 / hz)) $(((s1 - s0) * 100 / hz)) $first" >>"$TMP/realtime"
        done
    done
    exit 0
fi

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
if [ "${SYNTH_PEERS_GS:-}" = 1 ]; then # the dense GS song of bench/gs_song.py instead
    python3 bench/gs_song.py "$TMP/short.mid" "$SHORT"
    python3 bench/gs_song.py "$TMP/long.mid" "$LONG"
else
    "$B/bench/bench_playback" --write-song "$TMP/short.mid" "$SHORT"
    "$B/bench/bench_playback" --write-song "$TMP/long.mid" "$LONG"
fi
echo "soundfont $SF" >"$TMP/timidity.cfg"

render() { # PEER SONG: appends "cpu_s maxrss_kb" to $TMP/PEER.SONG
    local out=$TMP/$1.wav
    case $1 in
        sonfara) set -- "$1" "$2" "$CLI" render "$2" -o "$out" --soundfont "$SF" --no-settings ;;
        timidity) set -- "$1" "$2" timidity -c "$TMP/timidity.cfg" -s 44100 -Ow -o "$out" "$2" ;;
        fluidsynth) set -- "$1" "$2" fluidsynth -ni -q -r 44100 -F "$out" "$SF" "$2" ;;
    esac
    local peer=$1 song=$2
    shift 2
    /usr/bin/time -f "%U %S %M" -o "$TMP/t" "$@" >/dev/null 2>&1
    awk '{printf "%.3f %d\n", $1 + $2, $3}' "$TMP/t" >>"$TMP/$peer.$(basename "$song" .mid)"
}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
col() { cut -d' ' -f"$2" "$1" | median; }

echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
if [ -n "${SYNTH_PEERS_SONGS:-}" ]; then
    read -r -a SONGS <<<"$SYNTH_PEERS_SONGS"
    for i in $(seq "$RUNS"); do
        for song in "${SONGS[@]}"; do
            for peer in "${PEERS[@]}"; do render "$peer" "$song"; done
        done
    done
    echo "soundfont: $SF; runs: $RUNS (medians); peers: ${PEERS[*]}"
    printf "%-36s %-12s %8s %8s %8s\n" "song" "offline" "cpu s" "sonf/it" "rss MB"
    for song in "${SONGS[@]}"; do
        base=$(col "$TMP/sonfara.$(basename "$song" .mid)" 1)
        for peer in "${PEERS[@]}"; do
            f=$TMP/$peer.$(basename "$song" .mid)
            printf "%-36s %-12s %8s %8s %8s\n" "$(basename "$song")" "$peer" "$(col "$f" 1)" \
                "$(python3 -c "print('%.2f' % ($base / $(col "$f" 1)))")" "$(($(col "$f" 2) / 1024))"
        done
    done
    exit 0
fi
for i in $(seq "$RUNS"); do
    for song in short long; do
        for peer in "${PEERS[@]}"; do render "$peer" "$TMP/$song.mid"; done
    done
done
echo "soundfont: $SF; runs: $RUNS (medians); peers: ${PEERS[*]}"
echo
printf "%-12s %14s %14s %14s %14s\n" "offline" "short cpu s" "short rss MB" "long cpu s" "long rss MB"
for peer in "${PEERS[@]}"; do
    printf "%-12s %14s %14s %14s %14s\n" "$peer" \
        "$(col "$TMP/$peer.short" 1)" "$(($(col "$TMP/$peer.short" 2) / 1024))" \
        "$(col "$TMP/$peer.long" 1)" "$(($(col "$TMP/$peer.long" 2) / 1024))"
done

if ! command -v parec >/dev/null || [ "${SKIP_REALTIME:-}" = 1 ]; then exit 0; fi
SYNTH_PEERS_REALTIME=1 SYNTH_PEERS_TMP=$TMP scripts/headless-desktop.sh "$0" "$SF" "$RUNS" "$SHORT" "$LONG" "$PLAY"
echo
echo "real time, $PLAY s of the long song into the null sink:"
printf "%-12s %14s %14s %18s\n" "" "player %cpu" "server %cpu" "first sound ms"
for peer in "${PEERS[@]}"; do
    grep "^$peer " "$TMP/realtime" | cut -d' ' -f2- >"$TMP/rt.$peer"
    printf "%-12s %14s %14s %18s\n" "$peer" \
        "$(python3 -c "print('%.1f' % ($(col "$TMP/rt.$peer" 1) / $PLAY))")" \
        "$(python3 -c "print('%.1f' % ($(col "$TMP/rt.$peer" 2) / $PLAY))")" \
        "$(col "$TMP/rt.$peer" 3)"
done
