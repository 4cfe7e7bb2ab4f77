# shellcheck shell=sh
# Sourced by the test scripts that need an X display of their own.

# wait_for CONDITION: waits up to 30 s (a loaded machine starts servers slowly) for a shell condition
# to hold; returns 1 when it never did.
wait_for() {
    wait_tries=0
    until eval "$1" >/dev/null 2>&1; do
        wait_tries=$((wait_tries + 1))
        [ "$wait_tries" -le 300 ] || return 1
        sleep 0.1
    done
}

# start_xvfb SCREEN [XVFB OPTION...]: starts a virtual X server, exports DISPLAY and sets xvfb_pid.
# The server takes the first free display itself and writes its number once it accepts clients,
# so runs started at the same time never share a display and nothing waits longer than it must.
# Returns 1, saying why, when the server has not started within 30 s.
start_xvfb() {
    xvfb_screen=$1
    shift
    xvfb_out=$(mktemp -d) || return 1
    Xvfb -displayfd 3 -screen 0 "$xvfb_screen" -nolisten tcp "$@" 3>"$xvfb_out/display" 2>"$xvfb_out/log" &
    xvfb_pid=$!
    if ! wait_for '[ -s "$xvfb_out/display" ]'; then
        echo "Xvfb did not start: $(cat "$xvfb_out/log")" >&2
        kill "$xvfb_pid" 2>/dev/null
        rm -rf "$xvfb_out"
        return 1
    fi
    DISPLAY=:$(cat "$xvfb_out/display")
    export DISPLAY
    rm -rf "$xvfb_out"
}
