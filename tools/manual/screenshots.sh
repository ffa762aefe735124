#!/usr/bin/env bash
# Takes the user manual's screenshots of the built program: the main window,
# the quick-button editor, a new request's notification and the list of the
# day's announcements, on a private X display (Xvfb with openbox, the dunst
# notification service on a session bus of its own, the trayer tray), from a
# copy of the program folder with a sample account, scanning the marketplace
# simulator.
#
# Usage: tools/manual/screenshots.sh BUILD_DIR [IMAGE_DIR]
#   BUILD_DIR  the CMake build directory (program/velkoria and market-sim)
#   IMAGE_DIR  where mainwindow.png, editor.png, notification.png and announcements.png go
#              (default: docs/manual/images)
# The windows are taken at twice their size (QT_SCALE_FACTOR=2), so that they
# stay sharp in print; SCALE=1 in the environment takes them at their own size.
#
# Needs Xvfb, openbox, xdotool, imagemagick (import), dbus-daemon, dunst, trayer and a
# Chromium-family browser.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${1:?usage: screenshots.sh BUILD_DIR [IMAGE_DIR]}
images=${2:-$here/../../docs/manual/images}
program_dir=$build/program
scale=${SCALE:-2}

die() {
    echo "screenshots.sh: $*" >&2
    if [ -n "${DISPLAY:-}" ]; then
        echo "screenshots.sh: windows on the screen:" >&2
        for id in $(xdotool search --onlyvisible --name '.' 2>/dev/null || true); do
            echo "  $id $(xdotool getwindowname "$id") $(xdotool getwindowgeometry --shell "$id" | tr '\n' ' ')" >&2
        done
    fi
    exit 1
}

[ -x "$program_dir/velkoria" ] || die "$program_dir/velkoria not found: build the program first"
[ -x "$build/market-sim" ] || die "$build/market-sim not found: build the simulator first"
for tool in Xvfb openbox xdotool import dbus-daemon dunst trayer; do
    command -v "$tool" >/dev/null || die "$tool is missing (tools/install-deps.sh installs it)"
done
mkdir -p "$images"
images=$(cd "$images" && pwd)

work=$(mktemp -d)
xvfb_pid=
wm_pid=
app_pid=
desktop_pids=
cleanup() {
    # The program runs in a process group of its own, with its browser in it.
    [ -n "$app_pid" ] && kill -- "-$app_pid" 2>/dev/null
    # shellcheck disable=SC2086
    [ -n "$desktop_pids" ] && kill $desktop_pids 2>/dev/null
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
    # The browser may still be writing its profile for a moment after the kill.
    rm -rf "$work" 2>/dev/null || { sleep 1; rm -rf "$work"; }
}
trap cleanup EXIT

# The marketplace simulator, with three new requests in two categories and
# none elsewhere; its commands come through a pipe held open on fd 3.
mkfifo "$work/sim.in"
"$build/market-sim" --categories "$program_dir/category.txt" <"$work/sim.in" >"$work/sim.out" 2>&1 &
desktop_pids="$desktop_pids $!"
exec 3>"$work/sim.in"
for key in web_site system_dev logo_design printing translation; do echo "clear $key" >&3; done
printf 'add printing 48211\nadd printing 48213\nadd web_site 48215\n' >&3
for _ in $(seq 1 100); do
    grep -q '^READY' "$work/sim.out" && break
    sleep 0.1
done
ready=$(grep '^READY' "$work/sim.out") || die "the simulator did not start: $(cat "$work/sim.out")"
http_port=$(sed -n 's/.*http=\([0-9]*\).*/\1/p' <<<"$ready")
https_port=$(sed -n 's/.*https=\([0-9]*\).*/\1/p' <<<"$ready")
spki=${ready##*spki=}

# A program folder of its own: the installation data of the build, a sample
# account, and settings that keep the browser on this machine.
cp -r "$program_dir" "$work/program"
rm -rf "$work/program/browser-profile" "$work/program/new_item.txt" "$work/program/announcements.txt"
printf 'taro@example.jp\r\nsample-password\r\n' >"$work/program/zandorp_id.txt"
chmod 600 "$work/program/zandorp_id.txt"
cat >"$work/program/velkoria.ini" <<EOF
[marketplace]
search_url=http://127.0.0.1:$http_port/
login_url=https://127.0.0.1:$https_port/

[browser]
executable=
arguments=--no-sandbox --test-type --ignore-certificate-errors-spki-list=$spki
load_timeout_seconds=10
EOF

# A free display number.
display=
for n in $(seq 150 199); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
        display=$n
        break
    fi
done
[ -n "$display" ] || die "no free X display number"
Xvfb ":$display" -screen 0 1600x1600x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 100); do
    [ -e "/tmp/.X11-unix/X$display" ] && break
    sleep 0.1
done
[ -e "/tmp/.X11-unix/X$display" ] || die "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$display"
unset QT_QPA_PLATFORM
openbox >"$work/openbox.log" 2>&1 &
wm_pid=$!
# The desktop's notification service on a session bus of its own, and a tray.
{ read -r DBUS_SESSION_BUS_ADDRESS && read -r bus_pid; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS
desktop_pids="$desktop_pids $bus_pid"
cat >"$work/dunstrc" <<EOF
[global]
    font = IPAPGothic 10
    scale = $scale
    width = 300
    offset = 10x10
    frame_width = 1
    show_indicators = no
EOF
dunst -config "$work/dunstrc" >"$work/dunst.log" 2>&1 &
desktop_pids="$desktop_pids $!"
trayer --edge bottom --align right --widthtype request --height $((24 * scale)) >"$work/trayer.log" 2>&1 &
desktop_pids="$desktop_pids $!"
sleep 1

# Japanese texts in the Japanese forms of the characters.
QT_SCALE_FACTOR=$scale LANG=ja_JP.UTF-8 LC_ALL= LC_CTYPE=C.UTF-8 setsid "$work/program/velkoria" >"$work/velkoria.log" 2>&1 &
app_pid=$!

# Waits up to $2 seconds for a visible window whose title is exactly $1; prints its id.
# (xdotool's own pattern match misses some Japanese titles: compare the names here.)
find_window() {
    local title=$1 seconds=$2 id
    for _ in $(seq 1 $((seconds * 10))); do
        for id in $(xdotool search --onlyvisible --name '.' 2>/dev/null || true); do
            if [ "$(xdotool getwindowname "$id")" = "$title" ]; then
                echo "$id"
                return 0
            fi
        done
        kill -0 "$app_pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# Message boxes carry the title "Velkoria" too: the main window is the one 200 pixels wide
# (times the scale).
main=
for _ in $(seq 1 60); do
    for id in $(xdotool search --onlyvisible --name '^Velkoria$' 2>/dev/null || true); do
        width=$(xdotool getwindowgeometry --shell "$id" | sed -n 's/^WIDTH=//p')
        if [ "$width" = $((200 * scale)) ]; then
            main=$id
            break 2
        fi
    done
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.5
done
if [ -z "$main" ]; then
    die "the main window did not appear; program output: $(cat "$work/velkoria.log")"
fi
# The browser starts with a window of its own and hides it right after: wait
# until the main window is the only one on the screen.
for _ in $(seq 1 60); do
    others=0
    for id in $(xdotool search --onlyvisible --name '.' 2>/dev/null || true); do
        [ "$id" = "$main" ] || others=$((others + 1))
    done
    [ "$others" = 0 ] && break
    sleep 0.5
done
sleep 1.5
import -frame -window "$main" "$images/mainwindow.png"

# The Edit button "編集": its centre lies 100 pixels from the left and 568 below
# the top of the client area (times the scale), which starts under the menu bar.
height=$(xdotool getwindowgeometry --shell "$main" | sed -n 's/^HEIGHT=//p')
menu_bar=$((height > 694 * scale ? height - 694 * scale : 0))
editor=
for _ in 1 2 3; do
    xdotool mousemove --window "$main" $((100 * scale)) $((menu_bar + 568 * scale)) click 1
    editor=$(find_window 'クイックボタン編集' 5) && break
done
[ -n "$editor" ] || die "the editor did not open; program output: $(cat "$work/velkoria.log")"
# Out of the main window's way, so that nothing covers it.
xdotool windowmove "$editor" $((260 * scale)) 40
sleep 1.5
import -frame -window "$editor" "$images/editor.png"

# A scan through the scan label (its centre lies at 96, 652): the first new
# request's box comes with its notification, which is taken alone.
xdotool mousemove --window "$main" $((96 * scale)) $((menu_bar + 652 * scale)) click 1
note=$(find_window 'Dunst' 30) || die "no notification came; dunst said: $(cat "$work/dunst.log")"
sleep 1
import -window "$note" "$images/notification.png"

# Every box closed with Enter; then the tray icon's menu, its third item: the
# day's announcements.
for _ in $(seq 1 40); do
    box=
    for id in $(xdotool search --onlyvisible --name '^Velkoria$' 2>/dev/null || true); do
        if [ "$id" != "$main" ]; then box=$id; fi
    done
    [ -n "$box" ] || break
    xdotool windowactivate --sync "$box" key Return
    sleep 1
done
# The tray icon: the program's small window in the tray.
tray=
for id in $(xdotool search --all --pid "$app_pid" 2>/dev/null || true); do
    width=$(xdotool getwindowgeometry --shell "$id" | sed -n 's/^WIDTH=//p')
    if [ "$width" -lt 100 ]; then tray=$id; fi
done
[ -n "$tray" ] || die "no tray icon"
xdotool mousemove --window "$tray" 5 5 click 3
sleep 1
xdotool key Down Down Down Return
list=$(find_window '本日の新規案件 - Velkoria' 10) || die "the list of announcements did not open"
xdotool windowmove "$list" $((260 * scale)) $((350 * scale))
sleep 1.5
import -frame -window "$list" "$images/announcements.png"

echo "screenshots.sh: wrote mainwindow.png, editor.png, notification.png and announcements.png in $images"
