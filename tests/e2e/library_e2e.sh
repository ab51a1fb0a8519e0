#!/usr/bin/env bash
# End to end: the song library of the real sonfara in a private headless
# desktop. A folder is added (sonfara-cli, the same database), the library
# window opens with its key and scans it, a two-character Japanese word is
# typed, Enter plays the song it found (checked over MPRIS), and the window
# is grabbed.
#   library_e2e.sh SONFARA SONFARA_CLI HEADLESS_DESKTOP_SCRIPT [GRAB.png]
# Exit 77 (skipped) when a tool of the headless desktop is missing.
set -uo pipefail
. "$(dirname "$0")/e2e_lib.sh"

if [ "${1:-}" != "--inside" ]; then
    require_tools Xvfb dbus-daemon pulseaudio pactl gdbus openbox xdotool xprop import iconv
    [ -x "$1" ] || { echo "FAIL: no program $1"; exit 1; }
    [ -x "$2" ] || { echo "FAIL: no program $2"; exit 1; }
    exec "$3" bash "$0" --inside "$1" "$2" "${4:-}"
fi
shift
S=$1 CLI=$2 KEEP=${3:-}
export QT_QPA_PLATFORM=xcb
export LC_ALL=C.UTF-8

# A format 0 song titled $2 (CP932, as such songs are) with one note of
# about ten seconds.
song() {
    local title len
    title=$(printf '%s' "$2" | iconv -f UTF-8 -t CP932)
    len=${#title}
    {
        printf 'MThd\0\0\0\6\0\0\0\1\1\340MTrk\0\0\0'
        printf "\\$(printf %o $((len + 17)))"
        printf '\0\377\3'
        printf "\\$(printf %o "$len")"
        printf '%s' "$title"
        printf '\0\220\74\144\313\0\200\74\0\0\377\57\0'
    } >"$1"
}
MUSIC=$HEADLESS_ROOT/music
mkdir -p "$MUSIC/anime" "$MUSIC/game"
LC_ALL=C song "$MUSIC/anime/yozora.mid" "夜空のムコウ"
LC_ALL=C song "$MUSIC/game/hiru.mid" "昼下がりの街"
"$CLI" library add "$MUSIC" >/dev/null || fail "library add"

openbox >"$HEADLESS_ROOT/openbox.log" 2>&1 &
wait_for 10 eval 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || fail "openbox did not start"
"$S" >"$HEADLESS_ROOT/sonfara.log" 2>&1 &
pid=$!
has_window() { [ -n "$(window "$1")" ]; }
wait_for 15 has_window Sonfara || fail "no control window"
xdotool windowactivate --sync "$(window Sonfara)" || fail "could not activate the control window"
xdotool key --clearmodifiers ctrl+f
wait_for 10 has_window ライブラリ || fail "Ctrl+F opened no library window"
id=$(window ライブラリ)
echo "ok: the library window is open"

# Its first showing scans the folder; the songs are in the database then.
scanned() { "$CLI" library stats --json 2>/dev/null | grep -q '"songs":2,"failed":0,'; }
wait_for 20 scanned || fail "the scan never wrote both songs: $("$CLI" library stats 2>&1)"
echo "ok: the folder was scanned"

xdotool windowactivate --sync "$id" || fail "could not activate the library window"
xdotool type --delay 80 "夜空"
sleep 1
# E2E_DEBUG=FILE keeps a grab of the window as Enter is pressed.
[ -n "${E2E_DEBUG:-}" ] && import -window "$id" "$E2E_DEBUG"
xdotool key Return
playing() { prop PlaybackStatus | grep -q "'Playing'"; }
wait_for 10 playing || fail "Enter did not start playing: $(prop PlaybackStatus)"
prop Metadata | grep -q "夜空のムコウ" || fail "another song plays: $(prop Metadata)"
echo "ok: typing 夜空 and Enter plays 夜空のムコウ"

GRAB=$HEADLESS_ROOT/library.png
import -window "$id" "$GRAB" || fail "could not grab the library window"
[ -n "$KEEP" ] && cp "$GRAB" "$KEEP"

call org.mpris.MediaPlayer2.Quit >/dev/null || fail "Quit call"
gone() { ! kill -0 "$pid" 2>/dev/null; }
wait_for 5 gone || fail "still running 5 s after Quit"
wait "$pid" || fail "exit status $?"
grep -q "^LibraryShown=True" "$XDG_CONFIG_HOME/Tenmoor/Sonfara.ini" ||
    fail "the open library window was not remembered"
echo "ok: Quit ended the player with the library window remembered as shown"
