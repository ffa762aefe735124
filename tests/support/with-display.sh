#!/usr/bin/env bash
# Runs a command on a private X display (Xvfb) with a window manager (openbox),
# which minimising and restoring the browser window need. Ends both afterwards.
# VELKORIA_SCREEN sets the screen (default 1280x1024x24).
set -u
for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { disp=$n; break; }
done
: "${disp:?no free X display number}"
Xvfb ":$disp" -screen 0 "${VELKORIA_SCREEN:-1280x1024x24}" -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 1 100); do
    [ -e "/tmp/.X11-unix/X$disp" ] && break
    sleep 0.05
done
export DISPLAY=":$disp"
unset QT_QPA_PLATFORM
openbox >/dev/null 2>&1 &
wm=$!
sleep 0.3
"$@"
rc=$?
kill "$wm" "$xvfb" 2>/dev/null
wait "$wm" "$xvfb" 2>/dev/null
exit $rc
