#!/usr/bin/env bash
# The real program on a headless Wayland compositor, through Qt's native
# Wayland platform: the first view's plot on the compositor's screen must be
# the snapshot tool's plot for no runs. The compositor places the window where
# it likes and the toolkit draws its frame, so the plot is searched for on the
# whole screen. Ends only the processes it started; gives up after 30 s.
#   wayland_window_test.sh QUORVANE QUORVANE_SNAPSHOT PLOT_COMPARE
# shellcheck disable=SC2317 # stop and cleanup run from the EXIT trap
set -euo pipefail
quorvane=$1 snapshot=$2 compare=$3
work=$(mktemp -d)
wpid="" qpid=""
# Ends a process this script started: politely, then for sure.
stop() { [ -n "$1" ] && kill "$1" && { timeout 5 tail --pid="$1" -f /dev/null || kill -KILL "$1"; }; wait "$1"; } 2>/dev/null
cleanup() { stop "$qpid" || true; stop "$wpid" || true; rm -rf "$work"; }
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# A private runtime folder and socket: nothing of a desktop session is used.
export XDG_RUNTIME_DIR=$work WAYLAND_DISPLAY=quorvane-test
unset DISPLAY
# --debug lets weston-screenshooter take the screen.
weston --backend=headless-backend.so --use-pixman --debug --socket="$WAYLAND_DISPLAY" \
  --width=1024 --height=768 --idle-time=0 >"$work/weston.log" 2>&1 &
wpid=$!
for _ in $(seq 100); do [ -S "$work/$WAYLAND_DISPLAY" ] && break; sleep 0.1; done
[ -S "$work/$WAYLAND_DISPLAY" ] || { echo "weston did not start"; cat "$work/weston.log"; exit 1; }

"$snapshot" --runs 0 --raster "$work/raster.pgm"
QT_QPA_PLATFORM=wayland "$quorvane" >"$work/quorvane.log" 2>&1 &
qpid=$!

# The window takes a moment to be mapped and painted.
while [ "$SECONDS" -lt 30 ]; do
  sleep 1
  kill -0 "$qpid" 2>/dev/null || { echo "quorvane ended early"; cat "$work/quorvane.log"; exit 1; }
  (cd "$work" && timeout 5 weston-screenshooter && mv wayland-screenshot-*.png shot.png) || continue
  convert "$work/shot.png" -depth 8 "rgb:$work/shot.rgb"
  if "$compare" --find 1024 768 "$work/shot.rgb" "$work/raster.pgm" 2>"$work/compare.log"; then
    echo "wayland window: the first view shows the computed plot"
    exit 0
  fi
done
echo "the screen never showed the computed plot:"
cat "$work/compare.log" "$work/quorvane.log"
exit 1
