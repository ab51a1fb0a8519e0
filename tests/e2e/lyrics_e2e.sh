#!/usr/bin/env bash
# End to end: the lyrics window of the real sonfara on a karaoke (.kar) song
# in a private headless desktop, opened with its key, grabbed while the song
# sings, and the lyrics in the MPRIS metadata.
#   lyrics_e2e.sh SONFARA KAR_SONG HEADLESS_DESKTOP_SCRIPT [GRAB.png]
# Exit 77 (skipped) when a tool of the headless desktop is missing.
set -uo pipefail
. "$(dirname "$0")/e2e_lib.sh"

if [ "${1:-}" != "--inside" ]; then
    require_tools Xvfb dbus-daemon pulseaudio pactl gdbus openbox xdotool xprop import convert
    [ -x "$1" ] || { echo "FAIL: no program $1"; exit 1; }
    [ -f "$2" ] || { echo "FAIL: no song $2"; exit 1; }
    exec "$3" bash "$0" --inside "$1" "$2" "${4:-}"
fi
shift
S=$1 SONG=$2 KEEP=${3:-}
# Real windows on the private display, whatever the caller's tests use.
export QT_QPA_PLATFORM=xcb
# The window titles below are the Japanese ones, whatever the caller's locale.
export LC_ALL=C.UTF-8
status_is() { prop PlaybackStatus | grep -q "'$1'"; }
# The share of the grab's pixels near a colour.
share_of() { convert "$1" -fuzz 12% -fill black +opaque "$2" -fill white -opaque "$2" -format "%[fx:mean]" info:; }

# A window manager: the key goes to the focused window.
openbox >"$HEADLESS_ROOT/openbox.log" 2>&1 &
wait_for 10 eval 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || fail "openbox did not start"

"$S" "$SONG" >"$HEADLESS_ROOT/sonfara.log" 2>&1 &
pid=$!
wait_for 10 status_is Playing || fail "status never became Playing"
prop Metadata | grep -q "xesam:asText" || fail "no lyrics in the metadata: $(prop Metadata)"
echo "ok: playing, the lyrics are in the metadata"

has_window() { [ -n "$(window "$1")" ]; }
wait_for 10 has_window Sonfara || fail "no control window"
xdotool windowactivate --sync "$(window Sonfara)" || fail "could not activate the control window"
xdotool key --clearmodifiers ctrl+l
wait_for 10 has_window 歌詞 || fail "Ctrl+L opened no lyrics window"
id=$(window 歌詞)
xdotool windowsize "$id" 960 360
GRAB=$HEADLESS_ROOT/lyrics.png
# Past the count-in some syllables are sung and others are still to come.
both_shown() {
    import -window "$id" "$GRAB" 2>/dev/null || return 1
    sung=$(share_of "$GRAB" "#ffb230")
    to_come=$(share_of "$GRAB" "#f4f5f7")
    awk "BEGIN { exit !($sung > 0.0005 && $to_come > 0.0005) }"
}
wait_for 15 both_shown ||
    fail "no sung and unsung syllables on the grab (sung ${sung:-?}, to come ${to_come:-?})"
[ -n "$KEEP" ] && cp "$GRAB" "$KEEP"
echo "ok: the lyrics window shows sung ($sung) and coming ($to_come) syllables"

call org.mpris.MediaPlayer2.Quit >/dev/null || fail "Quit call"
gone() { ! kill -0 "$pid" 2>/dev/null; }
wait_for 5 gone || fail "still running 5 s after Quit"
wait "$pid" || fail "exit status $?"
grep -q "^LyricsShown=True" "$XDG_CONFIG_HOME/Tenmoor/Sonfara.ini" || fail "the open lyrics window was not remembered"
echo "ok: Quit ended the player with the lyrics window remembered as shown"
