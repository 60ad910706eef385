# Helpers for tests that need a real X server: sourced by bash test scripts.
# start_x starts Xvfb on a free display (the server picks it), start_wm a window
# manager; stop_x ends exactly the processes started here.

x_pids=()

# require_programs NAME...: says which outside programs are missing and fails, so a
# machine without one fails at once and says why. scripts/setup installs them all.
require_programs() {
    local program missing=0
    for program in "$@"; do
        if ! command -v "$program" >/dev/null 2>&1; then
            echo "$program is not installed; scripts/setup installs it" >&2
            missing=1
        fi
    done
    return $missing
}

# wait_until SECONDS COMMAND...: polls COMMAND every 50 ms until it succeeds.
wait_until() {
    local limit=$1; shift
    local deadline=$(( $(date +%s%N) + limit * 1000000000 ))
    until "$@" >/dev/null 2>&1; do
        if [ "$(date +%s%N)" -ge "$deadline" ]; then return 1; fi
        sleep 0.05
    done
}

start_x() {
    require_programs Xvfb xdpyinfo || return 1
    local fd_file; fd_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$fd_file" 2>/dev/null &
    x_pids+=($!)
    wait_until 10 test -s "$fd_file" || { echo "Xvfb did not start" >&2; return 1; }
    export DISPLAY=":$(head -n1 "$fd_file")"
    rm -f "$fd_file"
    wait_until 10 xdpyinfo || { echo "the X server on $DISPLAY does not answer" >&2; return 1; }
}

# A window manager: the desktop's client list and focus as users have them. With
# "bindings", the system's configuration (never the user's own) with its mouse
# bindings, so that a window's title bar can be dragged.
start_wm() {
    require_programs openbox xprop || return 1
    local config=/dev/null
    if [ "${1:-}" = bindings ] && [ -f /etc/xdg/openbox/rc.xml ]; then
        config=/etc/xdg/openbox/rc.xml
    fi
    local log; log=$(mktemp)
    openbox --sm-disable --config-file "$config" >"$log" 2>&1 &
    wm_pid=$!
    x_pids+=($wm_pid)
    if ! wait_until 10 wm_running; then
        echo "the window manager did not start:" >&2
        cat "$log" >&2
        rm -f "$log"
        return 1
    fi
    rm -f "$log"
}

# xprop succeeds also when the property is missing: look at what it says.
wm_running() {
    xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'
}

# An X server with a window manager, tried twice: on a shared machine another
# program's server can get in the way of a first start.
start_desktop() {
    require_programs Xvfb xdpyinfo openbox xprop || return 1
    if start_x && start_wm "$@"; then return 0; fi
    stop_x
    start_x && start_wm "$@"
}

stop_x() {
    local i
    for (( i=${#x_pids[@]}-1; i>=0; i-- )); do
        kill "${x_pids[i]}" 2>/dev/null || true
        wait "${x_pids[i]}" 2>/dev/null || true
    done
    x_pids=()
}
