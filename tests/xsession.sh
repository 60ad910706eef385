# Helpers for tests that need a real X server: sourced by bash test scripts.
# start_x starts Xvfb on a free display (the server picks it), optionally a window
# manager and a tray host; stop_x ends exactly the processes started here.

x_pids=()

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
    local fd_file; fd_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$fd_file" 2>/dev/null &
    x_pids+=($!)
    wait_until 10 test -s "$fd_file" || { echo "Xvfb did not start" >&2; return 1; }
    export DISPLAY=":$(head -n1 "$fd_file")"
    rm -f "$fd_file"
    wait_until 10 xdpyinfo
}

# A window manager: the desktop's client list and focus as users have them. With
# "bindings", the system's configuration (never the user's own) with its mouse
# bindings, so that a window's title bar can be dragged.
start_wm() {
    local config=/dev/null
    if [ "${1:-}" = bindings ] && [ -f /etc/xdg/openbox/rc.xml ]; then
        config=/etc/xdg/openbox/rc.xml
    fi
    openbox --sm-disable --config-file "$config" >/dev/null 2>&1 &
    wm_pid=$!
    x_pids+=($wm_pid)
    wait_until 10 xprop -root _NET_SUPPORTING_WM_CHECK
}

# An XEmbed tray host; its pid is in tray_pid so a test can stop and restart it.
start_tray() {
    trayer --edge bottom --align right --widthtype pixel --width 200 --height 24 \
        >/dev/null 2>&1 &
    tray_pid=$!
    x_pids+=($tray_pid)
    wait_until 10 tray_owned
}

tray_owned() {
    local screen=${DISPLAY##*.}; [ "$screen" = "$DISPLAY" ] && screen=0
    xprop -root -notype _NET_SYSTEM_TRAY_S"$screen" >/dev/null 2>&1 || true
    # xdotool has no selection query; the tray host's manager window carries the name.
    xwininfo -root -children 2>/dev/null | grep -q '"panel"'
}

stop_x() {
    local i
    for (( i=${#x_pids[@]}-1; i>=0; i-- )); do
        kill "${x_pids[i]}" 2>/dev/null || true
        wait "${x_pids[i]}" 2>/dev/null || true
    done
    x_pids=()
}
