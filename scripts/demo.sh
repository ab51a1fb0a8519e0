#!/usr/bin/env bash
# Sets up, builds and shows the bundled demo song, then lets it be heard:
# where a display exists, the player `sonfara` opens and plays it; where none
# exists, sonfara-cli plays it through the built-in synthesizer (rendered to
# a WAV file when there is no audio device either) and the player's windows
# are grabbed in a private headless desktop into build/release/demo/screenshots/
# (only scripts/screenshots.sh, run on its own, updates the tracked pictures).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh release
cmake --build --preset release -j2
CLI=build/release/player/cli/sonfara-cli
DEMO=build/release/demo/sonfara-demo.mid
WAV=build/release/demo/sonfara-demo.wav
"$CLI" info "$DEMO"
echo
"$CLI" dump "$DEMO" --list 1 --page 1
echo
# The WRD presentation beside the song, as a picture 20 s into the song.
"$CLI" wrd "$DEMO" --at 20000 -o build/release/demo/sonfara-demo-wrd.png
echo "demo: WRD frame at 0:20 in $(pwd)/build/release/demo/sonfara-demo-wrd.png"
echo
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "demo: starting the player on the demo song"
    exec build/release/player/cli/sonfara "$DEMO"
fi
echo "demo: no display here (DISPLAY and WAYLAND_DISPLAY are unset), so no player window"
rc=0
"$CLI" play "$DEMO" --repeat 3 || rc=$?
if [ "$rc" -eq 3 ]; then
    echo "demo: no audio device here; rendering the song instead"
    "$CLI" render "$DEMO" -o "$WAV"
    echo "demo: the song is in $(pwd)/$WAV"
elif [ "$rc" -ne 0 ]; then
    exit "$rc"
fi
echo "demo: the player's windows, grabbed in a private headless desktop:"
scripts/screenshots.sh release build/release/demo/screenshots ||
    echo "demo: no screenshots (the headless desktop's tools are missing)"
