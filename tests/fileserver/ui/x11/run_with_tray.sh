#!/usr/bin/env bash
# Runs a test program on its own virtual X display with a notification area
# (trayer), so that a tray icon really appears. Usage:
#   run_with_tray.sh ARTEFACT_DIR TEST_PROGRAM [ARGS...]
set -euo pipefail
artefacts=$1
shift
mkdir -p "$artefacts"
work=$(mktemp -d)
xvfb_pid=""
trayer_pid=""
cleanup() {
  [[ -n "$trayer_pid" ]] && kill "$trayer_pid" 2>/dev/null || true
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number to the given descriptor.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 1 100); do
  [[ -s "$work/display" ]] && break
  sleep 0.05
done
[[ -s "$work/display" ]] || { echo "Xvfb did not start:"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

trayer --edge top --align right --widthtype request --height 32 --SetDockType true \
  >"$work/trayer.log" 2>&1 &
trayer_pid=$!

export QT_QPA_PLATFORM=xcb
export PELION_ARTEFACTS="$artefacts"
"$@"
