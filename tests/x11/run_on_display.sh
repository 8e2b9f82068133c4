#!/usr/bin/env bash
# Runs a program on its own virtual X display (Xvfb), optionally with a window
# manager (openbox: client list, frames, close boxes) and a notification area
# (trayer), so that windows and tray icons really appear.
# Usage: run_on_display.sh [--wm] [--tray] ARTEFACT_DIR PROGRAM [ARGS...]
# The program finds ARTEFACT_DIR in $PELION_ARTEFACTS. Only the processes this
# script started are ended, by their process numbers.
set -euo pipefail
with_wm=0 with_tray=0
[[ ${1-} != --wm ]] || { with_wm=1; shift; }
[[ ${1-} != --tray ]] || { with_tray=1; shift; }
artefacts=$1
shift
mkdir -p "$artefacts"
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
# Runs NAME in the background, logged, then waits up to 20 s for CHECK to pass.
start() {
  local name=$1 check=$2
  shift 2
  "$@" >"$work/$name.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 1 400); do eval "$check" && return 0; sleep 0.05; done
  echo "$name did not start:"; cat "$work/$name.log"; exit 1
}
# Xvfb picks a free display and writes its number to descriptor 3; up once it answers.
exec 3>"$work/display"
start Xvfb 'test -s "$work/display" && DISPLAY=":$(head -n1 "$work/display")" xprop -root >/dev/null 2>&1' \
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp
exec 3>&-
export DISPLAY=":$(head -n1 "$work/display")"
mkdir -p "$work/config" "$work/cache" && mkdir -m 700 "$work/runtime"
# Away from the user's own settings; up once it publishes its check window.
[[ $with_wm -eq 0 ]] || XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" start openbox \
  'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"' openbox --sm-disable
[[ $with_tray -eq 0 ]] || start trayer "xdotool search --classname trayer >/dev/null" \
  trayer --edge top --align right --widthtype request --height 32 --SetDockType true
export XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb PELION_ARTEFACTS="$artefacts"
"$@"
