#!/usr/bin/env bash
# What only the whole program shows, each against a reference in the same run:
#   - a note with a 50 MB title opened, edited, saved and closed in the window, against
#     vellumtree-cli reading and writing the same file;
#   - the window started and closed with a settings file of 100,000 recent files and
#     search histories as long as the program keeps, against the same with fresh
#     settings.
# Prints seconds and peak memory of each and the ratios, and for the start the time
# until the window is shown. Run by hand or by scripts/bench
# (never by the tests): bench/window/run.sh [BUILD_DIR]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${1:-$root/build}"
source "$root/tests/xsession.sh"
require_programs python3 xdotool || exit 1
program="$build/src/app/vellumtree"
cli="$build/src/cli/vellumtree-cli"
for p in "$program" "$cli"; do
    [ -x "$p" ] || { echo "$p is not built" >&2; exit 1; }
done

work=$(mktemp -d)
cleanup() { stop_x; rm -rf "$work"; }
trap cleanup EXIT
export XDG_STATE_HOME="$work/state"
unset QT_QPA_PLATFORM
start_desktop

python3 - "$work" <<'PY'
import sys
work = sys.argv[1]
size = 50 * 1024 * 1024
title = ("alpha beta gamma delta epsilon " * (size // 31 + 1))[:size].strip()
head = ('<!DOCTYPE Vellumtree-File>\r\n<!--LastNote:0-->\r\n<html>\r\n<head>\r\n'
        '<title>t</title>\r\n</head>\r\n\r\n<body bgcolor="#ffffff">\r\n\r\n<dl>\r\n')
with open(f"{work}/title.vlt", "w", newline="") as f:
    f.write(head + "<dt><h3>" + title + "</h3></dt>\r\n<dd><pre>\r\nbody\r\n</pre></dd>\r\n"
            "</dl>\r\n</body>\r\n</html>\r\n")
# Years of use: 100,000 recent files and the longest histories the program keeps,
# seven texts of 10,000 characters (stored as the registry keeps a text with line
# breaks: UTF-16 in hex).
lines = [f"{i} " + "search words " * 769 for i in range(7)]
data = ("\r\n".join(lines) + "\0").encode("utf-16-le")
with open(f"{work}/settings.reg", "w", newline="") as f:
    f.write("Windows Registry Editor Version 5.00\n\n")
    f.write("[HKEY_CURRENT_USER\\Software\\Vellumtree\\MRU Items]\n")
    for i in range(100000):
        f.write(f'"F{i}"="/home/user/notes/file {i}.vlt"\n')
    f.write("\n[HKEY_CURRENT_USER\\Software\\Vellumtree\\Find]\n")
    for name in ("Find", "Replace"):
        f.write(f'"{name}"=hex(1):' + ",".join(f"{b:02x}" for b in data) + "\n")
PY

measure() { python3 "$here/measure.py" "$@"; }
# The script's own pauses, taken off the window's time in the report.
settle=0.3
type_delay_ms=10
pauses=$(python3 -c "print($settle + 6 * $type_delay_ms / 1000)")
window() { xdotool search --onlyvisible --pid "$1" --name '^Vellumtree' 2>/dev/null | head -n1; }
shown() { [ -n "$(window "$1")" ]; }
# Runs the window on FILE with the settings folder CONFIG, does KEYS... after it shows
# and waits for it to end; the measure lands in OUT.
run_window() {
    local out=$1 config=$2 file=$3; shift 3
    local started; started=$(date +%s%N)
    XDG_CONFIG_HOME="$config" measure "$out" "$program" "$file" >>"$work/program.log" 2>&1 &
    local wrapper=$!
    local pid=""
    wait_until 20 pgrep -n -f "^$program " || { echo "the program did not start" >&2; return 1; }
    pid=$(pgrep -n -f "^$program ")
    wait_until 300 shown "$pid" || { echo "no window" >&2; return 1; }
    # Seen by polling every 50 ms, as both runs compared are.
    echo $(( ($(date +%s%N) - started) / 1000000 )) >"$out.shown"
    local w; w=$(window "$pid")
    wait_until 20 activate "$w" || true
    sleep "$settle" # the window manager's placing of the window ends before a click is its own
    "$@" "$w"
    xdotool key --clearmodifiers alt+f x
    wait "$wrapper"
}
activate() { xdotool windowactivate "$1" >/dev/null 2>&1; [ "$(xdotool getactivewindow)" = "$1" ]; }
# Click into the editor, type, save, and wait until the file was written.
edit_and_save() {
    local w=$1
    eval "$(xdotool getwindowgeometry --shell "$w")"
    xdotool mousemove --window "$w" $((WIDTH * 3 / 4)) $((HEIGHT / 2)) click 1
    xdotool type --delay "$type_delay_ms" "edited"
    xdotool key --clearmodifiers ctrl+s
    wait_until 300 grep -q edited "$work/title.vlt" || echo "the save did not happen" >&2
}
nothing() { :; }

report() { # NAME MEASURE REFERENCE [PAUSES]: PAUSES seconds of the script's own waiting are
           # taken off the measure
    read -r t m <"$2"; read -r rt rm <"$3"
    python3 -c "import sys; t,m,rt,rm,p=map(float,sys.argv[2:]); t-=p; print(f'{sys.argv[1]:<44} {t:8.2f} s {m/1024:8.0f} MB   reference {rt:7.2f} s {rm/1024:7.0f} MB   ratio time {t/rt:5.2f} memory {m/rm:5.2f}')" "$1" "$t" "$m" "$rt" "$rm" "${4:-0}"
}

# --- 50 MB title ---------------------------------------------------------------------
measure "$work/cli-title" "$cli" convert "$work/title.vlt" "$work/title-copy.vlt" >/dev/null
mkdir -p "$work/config-title"
run_window "$work/window-title" "$work/config-title" "$work/title.vlt" edit_and_save
report "50 MB title: open, edit, save, close" "$work/window-title" "$work/cli-title" "$pauses"

# --- Start-up with years of settings ---------------------------------------------------
cp "$root/res/Help.vlt" "$work/small.vlt"
mkdir -p "$work/config-fresh" "$work/config-old/Vellumtree"
run_window "$work/window-fresh" "$work/config-fresh" "$work/small.vlt" nothing
cp "$work/settings.reg" "$work/config-old/Vellumtree/registry.reg"
run_window "$work/window-old" "$work/config-old" "$work/small.vlt" nothing
report "start and close, 100,000 recent, long histories" "$work/window-old" "$work/window-fresh" 0
echo "until the window is shown: $(cat "$work/window-old.shown") ms, fresh settings" \
     "$(cat "$work/window-fresh.shown") ms, extra" \
     "$(( $(cat "$work/window-old.shown") - $(cat "$work/window-fresh.shown") )) ms"
[ ! -e "$work/config-old/Vellumtree/registry.reg.damaged" ] \
    || echo "the settings file was refused: the start measured is a fresh one" >&2
recent=$(grep -c '^"F[0-9]' "$work/config-old/Vellumtree/registry.reg" || true)
echo "recent files kept after the run: $recent"
