#!/usr/bin/env bash
# End to end: the real sonfara under a window manager (openbox) in a private
# headless desktop. The control window's frame stays where it was on every
# restart, with its title bar on the screen and the main window docked below.
#   placement_e2e.sh SONFARA HEADLESS_DESKTOP_SCRIPT
# Exit 77 (skipped) when openbox or a tool of the headless desktop is missing.
set -uo pipefail
. "$(dirname "$0")/e2e_lib.sh"

if [ "${1:-}" != "--inside" ]; then
    require_tools Xvfb dbus-daemon pulseaudio pactl gdbus openbox xdotool xwininfo xprop
    [ -x "$1" ] || { echo "FAIL: no program $1"; exit 1; }
    exec "$2" bash "$0" --inside "$1"
fi
S=$2
INI=$XDG_CONFIG_HOME/Tenmoor/Sonfara.ini
# Real X windows under the window manager, whatever the test run chose.
export QT_QPA_PLATFORM=xcb
pid="" wm=""
finish() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    [ -n "$wm" ] && kill "$wm" 2>/dev/null
}
trap finish EXIT
fail() {
    echo "FAIL: $*"
    tail -n 20 "$HEADLESS_ROOT/sonfara.log" 2>/dev/null
    xwininfo -root -tree | grep -i sonfara
    exit 1
}

openbox >"$HEADLESS_ROOT/openbox.log" 2>&1 &
wm=$!
wait_for 10 eval 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || fail "openbox did not start"

# The frame's top-left of the visible window titled $1: the client's place
# less the decoration the window manager reports.
frame_of() {
    local id x y ext
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)
    [ -n "$id" ] || return 1
    ext=$(xprop -id "$id" _NET_FRAME_EXTENTS | sed -n 's/.*= *\([0-9]*\), *[0-9]*, *\([0-9]*\),.*/\1 \2/p')
    [ -n "$ext" ] || return 1
    x=$(xwininfo -id "$id" | sed -n 's/.*Absolute upper-left X: *//p')
    y=$(xwininfo -id "$id" | sed -n 's/.*Absolute upper-left Y: *//p')
    set -- $ext
    echo "$(( x - $1 )),$(( y - $2 ))"
}
height_of() {  # the frame's height of the visible window titled $1
    local id ext h
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)
    ext=$(xprop -id "$id" _NET_FRAME_EXTENTS | sed 's/.*= *//; s/,//g')
    h=$(xwininfo -id "$id" | sed -n 's/.*Height: *//p')
    set -- $ext
    echo $(( h + $3 + $4 ))
}
# Both frames, once they have stopped moving.
settled() {
    local a b
    a=$(frame_of Sonfara) && b=$(frame_of "Sonfara - Main Window") || return 1
    sleep 0.3
    [ "$a $b" = "$(frame_of Sonfara) $(frame_of "Sonfara - Main Window")" ] || return 1
    places="$a $b"
}
quit() {
    gdbus call --session --dest org.mpris.MediaPlayer2.sonfara --object-path /org/mpris/MediaPlayer2 \
        --method org.mpris.MediaPlayer2.Quit >/dev/null || fail "Quit call"
    wait "$pid" || fail "exit status $?"
    pid=""
}
# Starts the player and sets $places to "CONTROL MAIN" frame positions.
start() {
    "$S" >>"$HEADLESS_ROOT/sonfara.log" 2>&1 &
    pid=$!
    wait_for 30 settled || fail "the windows did not settle"
    local control=${places% *} main=${places#* }
    local bottom=$(( ${control#*,} + $(height_of Sonfara) ))
    [ "$main" = "${control%,*},$bottom" ] || fail "main window at $main, not docked below the control window ($control, bottom $bottom)"
}

start
first=$places control=${places% *}
[ "${control%,*}" -ge 0 ] && [ "${control#*,}" -ge 0 ] ||
    fail "the first start puts the control window's frame at $control, partly off the screen"
quit
echo "ok: first start, frames at $first (control, main), docked"
for i in 1 2 3; do
    start
    [ "$places" = "$first" ] || fail "restart $i: frames at $places, not $first ($(grep -E 'CTL_|MAIN_' "$INI" | tr '\n' ' '))"
    quit
done
echo "ok: three restarts, the frames stay at $first"

# A stored place is the frame's: CTL_LEFT 4500 and CTL_TOP 3000 twips are
# (300, 200) pixels; the main window, stored apart, stays apart.
sed -i 's/^CTL_TOP=.*/CTL_TOP=3000/; s/^CTL_LEFT=.*/CTL_LEFT=4500/; s/^MAIN_TOP=.*/MAIN_TOP=9000/; s/^MAIN_LEFT=.*/MAIN_LEFT=1500/' "$INI"
"$S" >>"$HEADLESS_ROOT/sonfara.log" 2>&1 &
pid=$!
wait_for 30 settled || fail "the windows did not settle"
[ "$places" = "300,200 100,600" ] || fail "stored (300,200) and (100,600), frames at $places"
quit
grep -q '^CTL_TOP=3000$' "$INI" && grep -q '^CTL_LEFT=4500$' "$INI" || fail "stored again as $(grep CTL_ "$INI" | tr '\n' ' ')"
echo "ok: stored places come back as frame positions and are stored unchanged"
