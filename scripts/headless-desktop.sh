#!/usr/bin/env bash
# Runs a command in a private headless desktop: an X server (Xvfb), a D-Bus
# session bus, PulseAudio with a null sink, and private XDG folders and HOME.
# Ends only what it started, whatever way the command ends.
#   scripts/headless-desktop.sh [--keep DIR] COMMAND [ARG...]
# The command sees DISPLAY, DBUS_SESSION_BUS_ADDRESS, XDG_RUNTIME_DIR (with
# the PulseAudio socket), XDG_CONFIG_HOME, XDG_DATA_HOME, HOME, and
# HEADLESS_ROOT (the scratch folder, removed afterwards unless --keep).
set -euo pipefail

keep=""
if [ "${1:-}" = "--keep" ]; then keep=$2; shift 2; fi
if [ $# -eq 0 ]; then
    echo "usage: $0 [--keep DIR] COMMAND [ARG...]" >&2
    exit 2
fi
for tool in Xvfb dbus-daemon pulseaudio pactl; do
    command -v "$tool" >/dev/null || { echo "headless-desktop: $tool is missing (scripts/setup.sh installs it)" >&2; exit 3; }
done

if [ -n "$keep" ]; then
    mkdir -p "$keep"
    root=$(cd "$keep" && pwd)
else
    root=$(mktemp -d "${TMPDIR:-/tmp}/sonfara-desktop.XXXXXX")
fi
xvfb_pid="" dbus_pid="" pulse_pid=""

cleanup() {
    local rc=$?
    # Each by the id it was started with, newest first.
    if [ -n "$pulse_pid" ]; then kill "$pulse_pid" 2>/dev/null || true; fi
    if [ -n "$dbus_pid" ]; then kill "$dbus_pid" 2>/dev/null || true; fi
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
    if [ -z "$keep" ]; then rm -rf "$root"; fi
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

export HOME=$root/home XDG_CONFIG_HOME=$root/config XDG_DATA_HOME=$root/data
export XDG_CACHE_HOME=$root/cache XDG_RUNTIME_DIR=$root/runtime
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export HEADLESS_ROOT=$root

# X server: it writes its display number once it accepts connections.
exec {display_fd}<> <(:)
Xvfb -displayfd "$display_fd" -screen 0 1280x1024x24 -nolisten tcp >"$root/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r -t 10 -u "$display_fd" display || { echo "headless-desktop: Xvfb did not start" >&2; cat "$root/xvfb.log" >&2; exit 4; }
exec {display_fd}<&-
export DISPLAY=:$display
unset WAYLAND_DISPLAY

# Session bus: one line with the address, one with the process id.
{ read -r DBUS_SESSION_BUS_ADDRESS; read -r dbus_pid; } < <(
    dbus-daemon --session --fork --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS

# Sound: a null sink, reachable through the native socket in XDG_RUNTIME_DIR.
# -n: no default configuration; as root PulseAudio insists on its own
# system-style checks, which the private runtime folder satisfies.
pulseaudio -n --daemonize=yes --exit-idle-time=-1 --use-pid-file=yes \
    --log-target=file:"$root/pulse.log" \
    -L "module-null-sink sink_name=null" -L module-native-protocol-unix \
    >/dev/null 2>&1 || { echo "headless-desktop: pulseaudio did not start" >&2; cat "$root/pulse.log" >&2 || true; exit 5; }
for _ in $(seq 50); do
    pulse_pid=$(cat "$XDG_RUNTIME_DIR/pulse/pid" 2>/dev/null || true)
    if [ -n "$pulse_pid" ] && pactl info >/dev/null 2>&1; then break; fi
    sleep 0.1
done
pactl set-default-sink null >/dev/null 2>&1 || true

"$@"
