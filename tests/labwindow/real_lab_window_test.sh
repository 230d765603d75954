#!/usr/bin/env bash
# The lab window as a user meets it, in a real X server: start
# `quorvane-lab gui`, press Space and move the SNR slider with the keyboard,
# take screenshots and check that the strips change and that at a low SNR an
# error shows in red (and at a high one none does); start a sweep and stop
# it: its worker threads end and the sweep's file holds the finished points,
# whole; quit. Ends only the processes it started.
#   real_lab_window_test.sh QUORVANE_LAB
set -euo pipefail
lab=$(realpath "$1")
work=$(mktemp -d)
xpid="" qpid=""
cleanup() {
  [ -n "$qpid" ] && kill "$qpid" 2>/dev/null || true
  [ -n "$xpid" ] && kill "$xpid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "real lab window: $*"; [ -f "$work/lab.log" ] && cat "$work/lab.log"; exit 1; }

# Xvfb picks a free display number itself and writes it to fd 3: choosing one
# here from the lock files races with another test run starting its own.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xpid=$!
display=""
for _ in $(seq 100); do
  n=$(head -n1 "$work/display" 2>/dev/null || true)
  if [ -n "$n" ] && xdpyinfo -display ":$n" >/dev/null 2>&1; then display=":$n"; break; fi
  sleep 0.1
done
[ -n "$display" ] || fail "Xvfb did not start"
export DISPLAY=$display

# Its own settings: a sweep whose first points end on their errors at once
# and whose later ones would take long, so that stopping it leaves some.
mkdir -p "$work/config/quorvane" "$work/run"
cat >"$work/config/quorvane/lab.ini" <<'INI'
[General]
sweep_range=8:30:1
sweep_bits=2000000000
sweep_errors=200
INI
cd "$work/run"
env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb \
  "$lab" gui >"$work/lab.log" 2>&1 &
qpid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Quorvane Lab$' | head -n 1)
[ -n "$wid" ] || fail "the window did not appear"
xdotool windowfocus --sync "$wid" 2>/dev/null || true
sleep 1

shot() { import -window "$wid" "$work/$1.png"; }
red() { convert "$work/$1.png" -alpha off +transparent "#E00000" -alpha extract -format "%[fx:round(mean*w*h)]" info:; }
# The strips: the bottom of the block view, above the status bar.
strips() { convert "$work/$1.png" -gravity south -crop 100%x90+0+26 +repage "$work/$1-strips.png"; }
threads() { ls "/proc/$qpid/task" | wc -l; }
key() { xdotool key --clearmodifiers "$@"; sleep 0.6; }

shot first
key space
shot second
strips first
strips second
[ "$(compare -metric AE "$work/first-strips.png" "$work/second-strips.png" null: 2>&1 || true)" != 0 ] ||
  fail "Space did not change the strips"

key alt+s End
shot quiet
[ "$(red quiet)" = 0 ] || fail "at 45 dB $(red quiet) pixels are red"
key Home
shot noisy
[ "$(red noisy)" -gt 200 ] || fail "at 0 dB only $(red noisy) pixels are red"

idle=$(threads)
key ctrl+r
for _ in $(seq 50); do [ "$(threads)" -gt "$idle" ] && break; sleep 0.1; done
[ "$(threads)" -gt "$idle" ] || fail "the sweep started no worker"
sleep 2
key Escape
for _ in $(seq 100); do [ "$(threads)" -le "$idle" ] && break; sleep 0.1; done
[ "$(threads)" -le "$idle" ] || fail "$(( $(threads) - idle )) worker threads still run after Stop"

# File, save the sweep as CSV: the dialog opens on ber.csv in the folder the
# program started in.
key ctrl+shift+s
dialog=$(timeout 10 xdotool search --sync --onlyvisible --name 'Save the sweep as CSV' | head -n 1)
[ -n "$dialog" ] || fail "no file dialog"
xdotool windowfocus --sync "$dialog" 2>/dev/null || true
key Return
for _ in $(seq 50); do [ -f ber.csv ] && break; sleep 0.1; done
[ -f ber.csv ] || fail "no ber.csv"
rows=$(($(wc -l <ber.csv) - 1))
[ "$(head -n 1 ber.csv)" = "snr_db,sigma,bits,slicer_errors,slicer_ber,viterbi_errors,viterbi_ber,union_bound" ] ||
  fail "ber.csv has the header $(head -n 1 ber.csv)"
[ "$rows" -ge 1 ] && [ "$rows" -lt 23 ] || fail "ber.csv has $rows points, not some of the 23"
[ "$(ls -A)" = "ber.csv" ] || fail "the folder holds $(ls -A | tr '\n' ' ')"

# Without a window manager the focus stays where the dialog was.
xdotool windowfocus --sync "$wid" 2>/dev/null || true
key ctrl+q
for _ in $(seq 50); do kill -0 "$qpid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$qpid" 2>/dev/null && fail "the window did not close"
wait "$qpid" && status=0 || status=$?
qpid=""
[ "$status" = 0 ] || fail "quorvane-lab gui ended with status $status"
grep -q '^sweep_range=8:30:1' "$work/config/quorvane/lab.ini" || fail "the settings were not kept"
echo "real lab window: Space changed the strips, 0 dB showed $(red noisy) red pixels and 45 dB none," \
  "Stop ended the sweep's workers, ber.csv holds $rows whole points"
