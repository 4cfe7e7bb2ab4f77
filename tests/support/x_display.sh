# shellcheck shell=sh
# Sourced by the test scripts that need an X display of their own.

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
    xvfb_tries=0
    until [ -s "$xvfb_out/display" ]; do
        xvfb_tries=$((xvfb_tries + 1))
        if [ "$xvfb_tries" -gt 300 ]; then
            echo "Xvfb did not start: $(cat "$xvfb_out/log")" >&2
            kill "$xvfb_pid" 2>/dev/null
            rm -rf "$xvfb_out"
            return 1
        fi
        sleep 0.1
    done
    DISPLAY=:$(cat "$xvfb_out/display")
    export DISPLAY
    rm -rf "$xvfb_out"
}
