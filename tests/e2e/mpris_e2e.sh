#!/usr/bin/env bash
# End to end: the real sonfara in a private headless desktop (Xvfb, session
# bus, PulseAudio null sink), driven over MPRIS the way a desktop widget does.
#   mpris_e2e.sh SONFARA DEMO_SONG HEADLESS_DESKTOP_SCRIPT
# Exit 77 (skipped) when a tool of the headless desktop is missing.
set -uo pipefail
. "$(dirname "$0")/e2e_lib.sh"

if [ "${1:-}" != "--inside" ]; then
    require_tools Xvfb dbus-daemon pulseaudio pactl gdbus
    [ -x "$1" ] || { echo "FAIL: no program $1"; exit 1; }
    [ -f "$2" ] || { echo "FAIL: no demo song $2"; exit 1; }
    exec "$3" bash "$0" --inside "$1" "$2"
fi
shift
S=$1 DEMO=$2
position() { prop Position | sed -n 's/.*int64 \([0-9-]*\).*/\1/p'; }
status_is() { prop PlaybackStatus | grep -q "'$1'"; }
title_is() { prop Metadata | grep -q "'xesam:title': <'$1'>"; }

# A second song: format 0, 10 s, named by its track name.
SECOND=$HEADLESS_ROOT/e2e-second.mid
printf 'MThd\0\0\0\6\0\0\0\1\1\340MTrk\0\0\0\42\0\377\3\12E2E Second\0\377\121\3\7\241\40\0\220\74\144\313\0\200\74\100\0\377\57\0' >"$SECOND"

"$S" "$DEMO" >"$HEADLESS_ROOT/sonfara.log" 2>&1 &
pid=$!
wait_for 10 status_is Playing || fail "status never became Playing"
p1=$(position); sleep 1; p2=$(position)
[ -n "$p1" ] && [ -n "$p2" ] && [ "$p2" -gt "$p1" ] || fail "position did not advance ($p1 -> $p2)"
pactl list short sink-inputs | grep -q . || fail "no sound reaches the sink while playing"
echo "ok: playing, position $p1 -> $p2 us, sound in the sink"

start=$(date +%s%N)
# Two paths, so the play list has an entry to go to next.
timeout 5 "$S" "$SECOND" "$DEMO" || fail "the second start did not end by itself (status $?)"
echo "ok: second start ended after $(( ($(date +%s%N) - start) / 1000000 )) ms"
wait_for 5 title_is "E2E Second" || fail "title is not the second song's: $(prop Metadata)"
echo "ok: the running player took the second song"

call org.mpris.MediaPlayer2.Player.Pause >/dev/null || fail "Pause call"
wait_for 3 status_is Paused || fail "Pause did not pause"
before=$(position)
call org.mpris.MediaPlayer2.Player.Seek 3000000 >/dev/null || fail "Seek call"
after=$(position)
[ "$after" -ge $(( before + 2900000 )) ] || fail "Seek moved $before -> $after"
echo "ok: paused, seek $before -> $after us"

track=$(prop Metadata | grep -o "/org/sonfara/track/[0-9]*")
call org.mpris.MediaPlayer2.Player.Next >/dev/null || fail "Next call"
next_acted() { ! prop Metadata | grep -q "$track'" && ! title_is "E2E Second"; }
wait_for 3 next_acted || fail "Next changed nothing ($track)"
echo "ok: Next went from $track to $(prop Metadata | grep -o '/org/sonfara/track/[0-9]*')"

call org.mpris.MediaPlayer2.Quit >/dev/null || fail "Quit call"
gone() { ! kill -0 "$pid" 2>/dev/null; }
wait_for 2 gone || fail "still running 2 s after Quit"
wait "$pid"; rc=$?
[ "$rc" -eq 0 ] || fail "exit status $rc"
[ -s "$XDG_CONFIG_HOME/Tenmoor/Sonfara.ini" ] || fail "no settings file written"
sleep 0.2
[ -z "$(pactl list short sink-inputs)" ] || fail "still sounding after Quit: $(pactl list short sink-inputs)"
echo "ok: Quit ended the player, settings written, nothing left sounding"
