#!/usr/bin/env bash
# The real program in a real X server: click the button, press Alt+C, and
# check each time that the screen shows the plot the snapshot tool computes
# for that many runs, and that the strips are drawn. Ends only the processes
# it started.
#   real_window_test.sh QUORVANE QUORVANE_SNAPSHOT PLOT_COMPARE
set -euo pipefail
quorvane=$1 snapshot=$2 compare=$3
work=$(mktemp -d)
xpid="" qpid=""
cleanup() {
  [ -n "$qpid" ] && kill "$qpid" 2>/dev/null || true
  [ -n "$xpid" ] && kill "$xpid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display number itself and writes it to fd 3: choosing one
# here from the lock files races with another test run starting its own.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xpid=$!
display=""
for _ in $(seq 100); do
  n=$(head -n1 "$work/display" 2>/dev/null || true)
  if [ -n "$n" ] && xdpyinfo -display ":$n" >/dev/null 2>&1; then display=":$n"; break; fi
  sleep 0.1
done
[ -n "$display" ] || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=$display

env -u QT_QPA_PLATFORM QT_QPA_PLATFORM=xcb "$quorvane" >"$work/quorvane.log" 2>&1 &
qpid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Quorvane$' | head -n 1)
[ -n "$wid" ] || { echo "the window did not appear"; cat "$work/quorvane.log"; exit 1; }
sleep 0.5

check_runs() { # $1 = runs so far; the window may take a moment to repaint
  "$snapshot" --runs "$1" --raster "$work/raster.pgm"
  for try in $(seq 10); do
    sleep 0.5
    import -window "$wid" "$work/shot.png"
    convert "$work/shot.png" -depth 8 "rgb:$work/shot.rgb"
    if "$compare" "$work/shot.rgb" "$work/raster.pgm" 2>"$work/compare.log"; then
      return 0
    fi
  done
  echo "after $1 run(s) the screen does not show the computed plot:"
  cat "$work/compare.log"
  return 1
}

xdotool mousemove --window "$wid" 340 420 click 1
check_runs 1

xdotool windowfocus --sync "$wid" 2>/dev/null || true
xdotool key --clearmodifiers alt+c
check_runs 2

kill -0 "$qpid" || { echo "quorvane died"; cat "$work/quorvane.log"; exit 1; }
echo "real window: click and Alt+C both showed the computed plot"
