#!/usr/bin/env bash
# Grabs the player's windows while it plays the demo song, in a private
# headless desktop (scripts/headless-desktop.sh), into docs/screenshots/
# (the pictures the README shows; the control and main windows also in
# English, *-en.png) or into the folder given.
#   scripts/screenshots.sh [PRESET [FOLDER]]   (default: release; build it first)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-release}
S=$PWD/build/$preset/player/cli/sonfara
DEMO=$PWD/build/$preset/demo/sonfara-demo.mid
OUT=${2:-docs/screenshots}
case $OUT in /*) ;; *) OUT=$PWD/$OUT ;; esac
if [ "${SONFARA_IN_DESKTOP:-}" != 1 ]; then
    for tool in xdotool import gdbus; do
        command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing (scripts/setup.sh installs it)" >&2; exit 3; }
    done
    [ -x "$S" ] && [ -f "$DEMO" ] || { echo "screenshots: build the $preset preset first" >&2; exit 2; }
    SONFARA_IN_DESKTOP=1 exec scripts/headless-desktop.sh "$0" "$preset" "$OUT"
fi

mkdir -p "$OUT"
"$S" "$DEMO" >"$HEADLESS_ROOT/sonfara.log" 2>&1 &
pid=$!
# Into the song, where every part plays.
sleep 12
grab() {
    local wid
    wid=$(xdotool search --onlyvisible --name "$1" | head -1)
    [ -n "$wid" ] || { echo "screenshots: no window named $1" >&2; return 1; }
    # The WRD window may stand over the others: bring this one to the front.
    xdotool windowraise "$wid" && sleep 0.5
    import -window "$wid" "$OUT/$2.png"
    echo "screenshots: $OUT/$2.png"
}
rc=0
grab '^Sonfara$' control-window || rc=1
grab '^Sonfara - Main Window$' main-window || rc=1
# The other two panels through their tabs (tab i is centred at 52 + 100·i, 14).
tab() {
    local wid
    wid=$(xdotool search --onlyvisible --name '^Sonfara - Main Window$' | head -1)
    [ -n "$wid" ] && xdotool windowraise "$wid" && sleep 0.5 &&
        xdotool mousemove --window "$wid" $((52 + 100 * $1)) 14 click 1 && sleep 1
}
tab 2 && grab '^Sonfara - Main Window$' main-window-events || rc=1
tab 1 && grab '^Sonfara - Main Window$' main-window-document || rc=1
tab 0 || true
# Rolled up by the control window's window-layout button (602, 111 on its
# panel, below the 20-pixel menu bar), then unrolled again.
layout() {
    local wid
    wid=$(xdotool search --onlyvisible --name '^Sonfara$' | head -1)
    [ -n "$wid" ] && xdotool windowraise "$wid" && sleep 0.5 &&
        xdotool mousemove --window "$wid" 602 131 click 1 && sleep 1
}
layout && grab '^Sonfara - Main Window$' main-window-rolled || rc=1
layout || true
quit() {
    gdbus call --session --dest org.mpris.MediaPlayer2.sonfara --object-path /org/mpris/MediaPlayer2 \
        --method org.mpris.MediaPlayer2.Quit >/dev/null || kill "$pid"
    wait "$pid" || true
}
quit

# The control window and the event list in English, as LANG=en_US.UTF-8
# starts the player.
LC_ALL= LC_MESSAGES= LANG=en_US.UTF-8 "$S" "$DEMO" >"$HEADLESS_ROOT/sonfara-en.log" 2>&1 &
pid=$!
sleep 12
grab '^Sonfara$' control-window-en || rc=1
# The event list, whose event names are translated too.
tab 2 && grab '^Sonfara - Main Window$' main-window-en || rc=1
tab 0 || true
quit
exit $rc
