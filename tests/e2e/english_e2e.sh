#!/usr/bin/env bash
# End to end: the real sonfara started with LANG=en_US.UTF-8 in a private
# headless desktop comes up in English: its menu bar (as the player writes it
# for SONFARA_MENU_TITLES) and its lyrics window's title; started with
# LANG=ja_JP.UTF-8 the same menu bar is Japanese.
#   english_e2e.sh SONFARA SONG HEADLESS_DESKTOP_SCRIPT
# Exit 77 (skipped) when a tool of the headless desktop is missing.
set -uo pipefail
. "$(dirname "$0")/e2e_lib.sh"

if [ "${1:-}" != "--inside" ]; then
    require_tools Xvfb dbus-daemon pulseaudio pactl gdbus openbox xdotool xprop
    [ -x "$1" ] || { echo "FAIL: no program $1"; exit 1; }
    [ -f "$2" ] || { echo "FAIL: no song $2"; exit 1; }
    exec "$3" bash "$0" --inside "$1" "$2"
fi
shift
S=$1 SONG=$2
export QT_QPA_PLATFORM=xcb
unset LC_ALL LC_MESSAGES LANGUAGE
has_window() { [ -n "$(window "$1")" ]; }
quit() {
    # The window can be up before the media controls are (a slow start).
    wait_for 20 eval 'call org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2 Identity >/dev/null 2>&1' ||
        fail "no MPRIS service"
    call org.mpris.MediaPlayer2.Quit >/dev/null || fail "Quit call"
    wait_for 15 eval '! kill -0 "$pid" 2>/dev/null' || fail "still running 15 s after Quit"
    wait "$pid"
    pid=""
}

openbox >"$HEADLESS_ROOT/openbox.log" 2>&1 &
wait_for 10 eval 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || fail "openbox did not start"

TITLES=$HEADLESS_ROOT/menus.txt
# start LANG EXPECTED_MENUS
start() {
    rm -f "$TITLES"
    LANG=$1 SONFARA_MENU_TITLES=$TITLES "$S" "$SONG" >"$HEADLESS_ROOT/sonfara.log" 2>&1 &
    pid=$!
    wait_for 20 has_window Sonfara || fail "LANG=$1: no control window ($(cat "$HEADLESS_ROOT/sonfara.log"))"
    wait_for 10 test -s "$TITLES" || fail "LANG=$1: no menu titles written"
    got=$(paste -sd' ' "$TITLES")
    [ "$got" = "$2" ] || fail "LANG=$1: menu bar '$got', expected '$2'"
    echo "ok: LANG=$1 gives the menu bar $got"
}

start en_US.UTF-8 "&File &Play &View &Extensions &Settings &Help"
xdotool windowactivate --sync "$(window Sonfara)" || fail "could not activate the control window"
xdotool key --clearmodifiers ctrl+l
wait_for 10 has_window Lyrics || fail "Ctrl+L opened no window titled Lyrics"
echo "ok: the lyrics window is titled Lyrics"
quit || fail "exit status $?"

start ja_JP.UTF-8 "ファイル(&F) 再生(&P) 表示(&V) 拡張機能(&E) 設定(&S) ヘルプ(&H)"
quit || fail "exit status $?"
