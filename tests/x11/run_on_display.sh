#!/usr/bin/env bash
# Runs a program on its own virtual X display (Xvfb), optionally with a window
# manager (openbox: EWMH client list, frames, close boxes) and a notification
# area (trayer), so that windows and tray icons really appear.
# Usage: run_on_display.sh [--wm] [--tray] [--as-user] ARTEFACT_DIR PROGRAM [ARGS...]
# The program finds ARTEFACT_DIR in $PELION_ARTEFACTS. With --as-user a run as
# root makes a throwaway user and runs the program as that user, as people do;
# without the means to (useradd, setpriv) it skips (status 77). Only the
# processes this script started are ended, by their process numbers.
set -euo pipefail
with_wm=0 with_tray=0 as_user=0
while [[ $# -gt 0 ]]; do
  case "$1" in
    --wm) with_wm=1; shift ;;
    --tray) with_tray=1; shift ;;
    --as-user) as_user=1; shift ;;
    *) break ;;
  esac
done
artefacts=$1
shift
mkdir -p "$artefacts"
work=$(mktemp -d)
pids=()
user=""
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  if [[ -n "$user" ]]; then
    chown -R "$(id -u):$(id -g)" "$artefacts" 2>/dev/null || true
    userdel "$user" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# Waits up to 30 s (a loaded machine starts these slowly) for a check to
# pass, else shows the log and gives up.
wait_for() {
  local what=$1 log=$2
  shift 2
  for _ in $(seq 1 600); do "$@" && return 0; sleep 0.05; done
  echo "$what did not start:"; cat "$log"; exit 1
}

# Xvfb picks a free display and writes its number to the given descriptor.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
wait_for Xvfb "$work/xvfb.log" test -s "$work/display"
export DISPLAY=":$(head -n1 "$work/display")"
# The number comes before the server takes connections: clients wait for that.
wait_for Xvfb "$work/xvfb.log" bash -c "xdpyinfo >/dev/null 2>&1"
if [[ $with_wm -eq 1 ]]; then
  # Kept away from the user's own configuration; up once it has published its check window.
  # On a loaded machine openbox now and then fails to open a display that
  # answers others: one that ended is started again, three times at most.
  mkdir -p "$work/config" "$work/cache"
  for attempt in 1 2 3; do
    XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" openbox --sm-disable \
      >"$work/openbox.log" 2>&1 &
    pids+=($!)
    wm_up() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
    for _ in $(seq 1 600); do
      wm_up && break
      kill -0 "${pids[-1]}" 2>/dev/null || break
      sleep 0.05
    done
    wm_up && break
    [[ $attempt -lt 3 ]] || { echo "openbox did not start:"; cat "$work/openbox.log"; exit 1; }
  done
fi
if [[ $with_tray -eq 1 ]]; then
  trayer --edge top --align right --widthtype request --height 32 --SetDockType true \
    >"$work/trayer.log" 2>&1 &
  pids+=($!)
  wait_for trayer "$work/trayer.log" bash -c "xdotool search --classname trayer >/dev/null"
fi

# The test's own runtime folder, not the user's.
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb PELION_ARTEFACTS="$artefacts"
run=()
if [[ $as_user -eq 1 && $(id -u) -eq 0 ]]; then
  command -v useradd >/dev/null && command -v setpriv >/dev/null \
    || { echo "SKIP: no useradd or setpriv to run the programs as an ordinary user"; exit 77; }
  # The work folder holds the user's home and runtime folder: others may pass through it.
  chmod 711 "$work"
  mkdir -m 700 "$work/home"
  useradd --system --no-create-home --home-dir "$work/home" --shell /usr/sbin/nologin \
    "pelion-desk-$$" || { echo "SKIP: a throwaway user could not be made"; exit 77; }
  user="pelion-desk-$$"
  chown "$user:" "$work/home" "$work/runtime" "$artefacts"
  export HOME="$work/home"
  run=(setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups --inh-caps=-all --)
fi
"${run[@]}" "$@"
