#!/usr/bin/env bash
# Onset jitter of the built-in synthesizer in real time: a click song (side
# sticks at uneven, known times) played by sonfara-cli into the null sink of
# scripts/headless-desktop.sh and recorded from the sink's monitor. Each
# onset's distance from its due time, less the median distance (the fixed
# latency), is the jitter. Clicks heard more than 5 ms off the fitted line
# are counted apart ("found N onsets"), not in the figures.
#   bench/synth_onsets.sh [SOUNDFONT] [CLICKS]
# SONFARA_CLI=PATH measures another build; DEVS=1 prints every deviation.
set -euo pipefail
cd "$(dirname "$0")/.."
CLI=${SONFARA_CLI:-$PWD/build/release/player/cli/sonfara-cli}
SF=${1:-/usr/share/sounds/sf2/FluidR3_GM.sf2}
CLICKS=${2:-200}

if [ "${SYNTH_ONSETS_INSIDE:-}" = 1 ]; then
    parec -d null.monitor --latency-msec=100 --raw --format=s16le --rate=44100 --channels=1 \
        >"$SYNTH_ONSETS_TMP/rec.raw" &
    rec=$!
    sleep 1
    "$CLI" play "$SYNTH_ONSETS_TMP/clicks.mid" --soundfont "$SF" --no-settings >/dev/null
    sleep 1
    kill "$rec"
    wait "$rec" 2>/dev/null || true
    exit 0
fi

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
# One track, 500 ticks a quarter at 120 bpm (1 tick = 1 ms, so the
# sequencer's own millisecond adds nothing); a click every 300 ms plus an
# uneven part, each held 50 ms.
python3 - "$TMP/clicks.mid" "$CLICKS" <<'PY'
import struct, sys
path, n = sys.argv[1], int(sys.argv[2])
due = [500 + 300 * i + i * 37 % 97 for i in range(n)]
events = []
for t in due:
    events += [(t, b'\x99\x25\x64'), (t + 48, b'\x89\x25\x00')]
events.sort(key=lambda e: e[0])
def vlq(v):
    out = [v & 0x7F]
    v >>= 7
    while v:
        out.insert(0, 0x80 | (v & 0x7F))
        v >>= 7
    return bytes(out)
body, last = b'', 0
for t, msg in events:
    body += vlq(t - last) + msg
    last = t
body += b'\x00\xff\x2f\x00'
with open(path, 'wb') as f:
    f.write(b'MThd' + struct.pack('>IHHH', 6, 0, 1, 500))
    f.write(b'MTrk' + struct.pack('>I', len(body)) + body)
open(path + '.due', 'w').write('\n'.join(str(t / 1000.0) for t in due))
PY
SYNTH_ONSETS_INSIDE=1 SYNTH_ONSETS_TMP=$TMP scripts/headless-desktop.sh "$0" "$SF" "$CLICKS"
python3 - "$TMP/rec.raw" "$TMP/clicks.mid.due" <<'PY'
import struct, sys
d = open(sys.argv[1], 'rb').read()
s = struct.unpack('<%dh' % (len(d) // 2), d[:len(d) // 2 * 2])
due = [float(x) for x in open(sys.argv[2])]
# Onsets: the first sample above the level after 5 ms below the tail level.
# The song's start in the recording is the offset that matches the most
# clicks within 5 ms; the stream's first second is left out (the sound
# server starts the stream in that time).
level, tail = 800, 300
heard, quiet = [], 0
for i, v in enumerate(s):
    if abs(v) > level and quiet >= 220:
        heard.append(i / 44100.0)
    quiet = quiet + 1 if abs(v) < tail else 0
due = [t for t in due if t >= 1.0]
def matches(at):
    out, j = [], 0
    for t in due:
        while j < len(heard) and heard[j] < at(t) - 0.005:
            j += 1
        if j < len(heard) and heard[j] <= at(t) + 0.005:
            out.append((heard[j], t))
    return out
# The sink's clock drifts from the system's (about 0.1 ms a second here):
# the song's place in the recording is a line fitted through the matches.
offsets = {round(h - t, 3) for h in heard[:40] for t in due[:10]}
early = [t for t in due if t < due[0] + 10]
best = max(offsets, key=lambda o: sum(1 for h, t in matches(lambda t: t + o) if t in early))
at = lambda t: t + best
for _ in range(3):
    pairs = matches(at)
    n = len(pairs)
    mt = sum(t for h, t in pairs) / n
    mh = sum(h for h, t in pairs) / n
    k = sum((t - mt) * (h - mh) for h, t in pairs) / sum((t - mt) ** 2 for h, t in pairs)
    at = lambda t, k=k, mt=mt, mh=mh: mh + k * (t - mt)
onsets = [(h - (at(t) - t), t) for h, t in matches(at)]
if len(onsets) != len(due):
    print('found %d onsets for %d clicks' % (len(onsets), len(due)))
dist = sorted(o - t for o, t in onsets)
mid = dist[len(dist) // 2]
dev = sorted(abs(x - mid) * 1000 for x in dist)
p = lambda q: dev[min(len(dev) - 1, int(q * len(dev)))]
if __import__('os').environ.get('DEVS'): print(' '.join('%.1f' % ((o - t - mid) * 1000) for o, t in onsets))
print('clicks %d; onset jitter ms: p50 %.3f, p99 %.3f, max %.3f' % (len(dev), p(0.5), p(0.99), dev[-1]))
PY
