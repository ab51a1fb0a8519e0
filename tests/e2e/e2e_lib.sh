# What the end-to-end scripts share; sourced, not run.

# require_tools TOOL...: skipped (exit 77) when one is missing.
require_tools() {
    local tool
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null; then
            echo "SKIP: $tool is not installed (scripts/setup.sh installs it)"
            exit 77
        fi
    done
}

N=org.mpris.MediaPlayer2.sonfara
pid=""
fail() {
    echo "FAIL: $*"
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    exit 1
}
call() { gdbus call --session --dest $N --object-path /org/mpris/MediaPlayer2 --method "$@"; }
prop() { call org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2.Player "$1" 2>/dev/null; }
# wait_for SECONDS COMMAND...: polls every 0.1 s until the command succeeds.
wait_for() {
    local n=$(( $1 * 10 )); shift
    for _ in $(seq "$n"); do "$@" && return 0; sleep 0.1; done
    return 1
}
# The visible window titled exactly $1.
window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1; }
