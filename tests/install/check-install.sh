#!/usr/bin/env bash
# Installs the built program into a temporary DESTDIR and checks it as a desktop would:
# every file in its place, the desktop entry and AppStream metadata valid, the file
# types known from the installed MIME packages, and the installed program finding its
# language files and help document.
# Usage: check-install.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source_dir=$2
source "$source_dir/tests/xsession.sh"
require_programs identify zcat desktop-file-validate appstreamcli update-mime-database \
    update-desktop-database xdg-mime xdotool xprop cpack dpkg-deb lintian || exit 1

work=$(mktemp -d)
cleanup() { stop_x; rm -rf "$work"; }
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

DESTDIR="$work/root" cmake --install "$build" --prefix /usr/local >/dev/null
prefix="$work/root/usr/local"

# --- Every file in its place -------------------------------------------------------
expected=(
    bin/vellumtree bin/vellumtree-cli
    share/vellumtree/Help.vlt share/vellumtree/lng/English.lng share/vellumtree/lng/Deutsch.lng
    share/applications/vellumtree.desktop
    share/mime/packages/vellumtree-vlt.xml share/mime/packages/vellumtree-vle.xml
    share/mime/packages/vellumtree-vlx.xml
    share/icons/hicolor/scalable/apps/vellumtree.svg
    share/icons/hicolor/scalable/mimetypes/application-x-vellumtree-vlt.svg
    share/icons/hicolor/scalable/mimetypes/application-x-vellumtree-vle.svg
    share/icons/hicolor/scalable/mimetypes/application-x-vellumtree-vlx.svg
    share/metainfo/org.vellumtree.Vellumtree.metainfo.xml
    share/man/man1/vellumtree.1.gz share/man/man1/vellumtree-cli.1.gz
    share/doc/vellumtree/copyright share/doc/vellumtree/changelog.gz
)
for size in 16 32 48 64 128 256; do
    expected+=("share/icons/hicolor/${size}x${size}/apps/vellumtree.png")
done
for f in "${expected[@]}"; do
    [ -s "$prefix/$f" ] || fail "not installed: $f"
done
for f in bin/vellumtree bin/vellumtree-cli; do
    [ -x "$prefix/$f" ] || fail "not executable: $f"
done
for size in 16 32 48 64 128 256; do
    actual=$(identify -format '%wx%h' "$prefix/share/icons/hicolor/${size}x${size}/apps/vellumtree.png" 2>/dev/null || true)
    [ "$actual" = "${size}x${size}" ] || fail "icon ${size}x${size} is $actual"
done
for page in vellumtree vellumtree-cli; do
    title=$(tr a-z A-Z <<<"$page")
    zcat "$prefix/share/man/man1/$page.1.gz" | grep -q "^\.TH $title 1" \
        || fail "the man page of $page has no section 1 title"
done

# --- Validators ----------------------------------------------------------------------
desktop-file-validate "$prefix/share/applications/vellumtree.desktop" \
    || fail "desktop-file-validate"
appstreamcli validate --no-net --no-color \
    "$prefix/share/metainfo/org.vellumtree.Vellumtree.metainfo.xml" >"$work/as.log" 2>&1 \
    || { cat "$work/as.log" >&2; fail "appstreamcli validate"; }

# --- File types from the installed MIME packages -----------------------------------
data="$work/xdg-data"
mkdir -p "$data/mime/packages"
cp "$prefix"/share/mime/packages/*.xml "$data/mime/packages/"
update-mime-database "$data/mime" >/dev/null 2>&1
printf 'VLE\x8f\x12\x00\x41' >"$work/secret.vle"
printf '\x89VLX\r\n\x1a\n\x01\x00\x03\x00' >"$work/strong.vlx"
cp "$prefix/share/vellumtree/Help.vlt" "$work/notes.vlt"
# Without their extensions the first bytes decide.
cp "$work/secret.vle" "$work/secret-copy"
cp "$work/strong.vlx" "$work/strong-copy"
cp "$work/notes.vlt" "$work/notes-copy"
check_type() {
    local got
    got=$(XDG_DATA_HOME="$data" XDG_CURRENT_DESKTOP=GNOME xdg-mime query filetype "$1")
    [ "$got" = "$2" ] || fail "xdg-mime query filetype $(basename "$1"): $got, expected $2"
}
# A file manager offers the installed program for both types.
mkdir -p "$data/applications"
cp "$prefix/share/applications/vellumtree.desktop" "$data/applications/"
update-desktop-database "$data/applications" >/dev/null 2>&1
for type in application/x-vellumtree-vlt application/x-vellumtree-vle application/x-vellumtree-vlx; do
    got=$(XDG_DATA_HOME="$data" XDG_CURRENT_DESKTOP=GNOME xdg-mime query default "$type")
    [ "$got" = vellumtree.desktop ] || fail "xdg-mime query default $type: '$got'"
done
check_type "$work/notes.vlt" application/x-vellumtree-vlt
check_type "$work/secret.vle" application/x-vellumtree-vle
check_type "$work/notes-copy" application/x-vellumtree-vlt
check_type "$work/secret-copy" application/x-vellumtree-vle
check_type "$work/strong.vlx" application/x-vellumtree-vlx
check_type "$work/strong-copy" application/x-vellumtree-vlx

# --- The installed program finds its languages and help ------------------------------
mkdir -p "$work/config" "$work/run"
start_desktop
program=
run_program() {
    (cd "$work/run" && exec env -u QT_QPA_PLATFORM XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" \
        XDG_DATA_HOME="$data" "$prefix/bin/vellumtree" >>"$work/program.log" 2>&1) &
    program=$!
    x_pids+=($program)
    wait_until 20 has_window || {
        echo "no window of the program appeared (window manager running: $(kill -0 "$wm_pid" 2>/dev/null && echo yes || echo no)); its windows:" >&2
        for w in $(xdotool search --pid "$program" 2>/dev/null); do
            xprop -id "$w" WM_NAME WM_STATE _NET_WM_STATE 2>&1 | tr '\n' ' ' >&2; echo >&2
        done
        return 1
    }
    # The keys must reach the program: ask until the window manager has focused it
    # (a request that comes while it is still placing the window is dropped).
    wait_until 10 activate || { echo "the window got no focus: $(xprop -id "$(window)" _NET_WM_STATE WM_STATE | tr '\n' ' ')" >&2; return 1; }
}
activate() {
    xdotool windowactivate "$(window)" >/dev/null 2>&1 || true
    [ "$(xdotool getactivewindow)" = "$(window)" ]
}
window() { xdotool search --onlyvisible --pid "$program" --name '^Vellumtree' | head -n1; }
has_window() { [ -n "$(window)" ]; }
title_has() { xdotool getwindowname "$(window)" | grep -q "$1"; }
gone() { ! kill -0 "$program" 2>/dev/null; }
# The first run: Alt+F1 opens the help document from the installed share folder,
# File → Exit writes the settings.
if run_program; then
    xdotool key --clearmodifiers alt+F1
    wait_until 10 title_has 'Help.vlt' || fail "the help document did not open"
    xdotool key --clearmodifiers alt+f x
    wait_until 10 gone || fail "File → Exit did not close the program"
else
    fail "the installed program showed no window, or it got no focus"
fi
# The second run in German: "&Datei" → "&Beenden" exists only in the German menu.
settings="$work/config/Vellumtree/registry.reg"
if [ ! -f "$settings" ]; then
    fail "the first run wrote no settings"
elif ! sed -i 's/^"LanguageFile"=.*/"LanguageFile"="Deutsch.lng"/' "$settings"; then
    fail "cannot edit the settings"
elif ! run_program; then
    fail "the second run showed no window, or it got no focus (window: '$(window)', active: '$(xdotool getactivewindow 2>&1)')"
else
    xdotool key --clearmodifiers alt+d b
    wait_until 10 gone || fail "Datei → Beenden did not close the program: no German menu"
fi

# --- The Debian package holds the same files; its dependencies come from the binaries
(cd "$build" && cpack -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1) \
    || { cat "$work/cpack.log" >&2; fail "cpack -G DEB"; }
deb=$(ls "$work"/deb/vellumtree_*.deb 2>/dev/null | head -n1)
if [ -n "$deb" ]; then
    depends=$(dpkg-deb -f "$deb" Depends)
    for lib in libqt6widgets6 libqt6core6 libc6 libsodium23 qt6-wayland; do
        grep -q "$lib" <<<"$depends" || fail "the package does not depend on $lib: $depends"
    done
    dpkg-deb -x "$deb" "$work/deb-root"
    for f in "${expected[@]}"; do
        [ -s "$work/deb-root/usr/$f" ] || fail "not in the package: /usr/$f"
    done
    # What Debian's own checker calls an error or a warning is a fault of the package.
    lintian --no-cfg --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 \
        || { cat "$work/lintian.log" >&2; fail "lintian"; }
    # The binaries are linked with a read-only relocation table, resolved at start.
    lintian --no-cfg --display-info "$deb" 2>/dev/null | grep -E 'hardening-no-(relro|bindnow)' >&2 \
        && fail "the binaries are not linked with -z relro -z now"
else
    fail "no package built"
fi

[ "$failures" -eq 0 ] && echo "install check passed" || cat "$work/program.log" >&2
exit $(( failures > 0 ))
