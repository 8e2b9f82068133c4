#!/usr/bin/env bash
# Runs a program on a Wayland session of its own: a headless sway (no X server
# beside it) and the program with QT_QPA_PLATFORM=wayland, both as an ordinary
# user. Run as root, it makes a throwaway user for them and removes it after.
# With --tray the session has a D-Bus session bus of its own and swaybar with
# its tray, a StatusNotifier host that is also the bus's watcher.
# A machine that cannot start the session makes the test skip (status 77)
# with the reason.
# Usage: run_on_sway.sh [--tray] ARTEFACT_DIR PROGRAM [ARGS...]
# The program finds a folder of its own for pictures in $PELION_ARTEFACTS, copied
# into ARTEFACT_DIR at the end, and the compositor in $SWAYSOCK (for swaymsg).
# Only the processes this script started are ended, by their process numbers.
set -euo pipefail
with_tray=0
if [[ "${1:-}" == --tray ]]; then
  with_tray=1
  shift
fi
artefacts=$1
shift
skip() { echo "SKIP: $*"; exit 77; }
command -v sway >/dev/null || skip "no sway (Debian package sway)"
compgen -G "/usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so" >/dev/null \
  || skip "no Qt Wayland plug-in (Debian package qt6-wayland)"
mkdir -p "$artefacts"
work=$(mktemp -d)
chmod 755 "$work"
user="" pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  # The user's pictures join the others', owned by whoever ran the test.
  cp -r "$work/artefacts/." "$artefacts/" 2>/dev/null || true
  rm -rf "$work"
  if [[ -n "$user" ]]; then userdel "$user" || true; fi
}
trap cleanup EXIT
as_user=()
if [[ $(id -u) -eq 0 ]]; then
  user=pelion-w$$
  useradd --system --no-create-home --user-group --shell /usr/sbin/nologin "$user"
  as_user=(setpriv --reuid="$user" --regid="$user" --clear-groups --inh-caps=-all --)
fi
mkdir -m 700 "$work/runtime" "$work/home" "$work/artefacts"
if [[ -n "$user" ]]; then
  chown "$user:$user" "$work/runtime" "$work/home" "$work/artefacts"
fi
# No key bindings, no bar unless asked: the session holds only the program's windows.
printf 'output HEADLESS-1 resolution 1024x768\n' >"$work/sway.conf"
unset DISPLAY WAYLAND_DISPLAY SWAYSOCK
export XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home" XDG_SESSION_TYPE=wayland \
  WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman
if [[ $with_tray -eq 1 ]]; then
  for program in swaybar dbus-daemon gdbus; do
    command -v "$program" >/dev/null || skip "$program is not installed: no StatusNotifier host"
  done
  # The bus is a process of ours, started before sway so that swaybar inherits it.
  "${as_user[@]}" dbus-daemon --session --nofork --nopidfile --print-address=3 \
    3>"$work/bus" 2>"$work/bus.log" &
  pids+=($!)
  for _ in $(seq 1 600); do
    [[ -s "$work/bus" ]] && break
    sleep 0.05
  done
  [[ -s "$work/bus" ]] || { cat "$work/bus.log"; skip "the session bus did not start"; }
  export DBUS_SESSION_BUS_ADDRESS="$(head -n1 "$work/bus")"
  printf 'bar {\n  position top\n  tray_output *\n}\n' >>"$work/sway.conf"
fi
"${as_user[@]}" sway -c "$work/sway.conf" >"$work/sway.log" 2>&1 &
pids+=($!)
# Up to 30 s: a loaded machine starts it slowly.
socket=""
for _ in $(seq 1 600); do
  socket=$(find "$work/runtime" -maxdepth 1 -type s -name 'wayland-*' -printf '%f\n' | head -n1)
  [[ -n "$socket" ]] && break
  kill -0 "${pids[0]}" 2>/dev/null || break
  sleep 0.05
done
[[ -n "$socket" ]] || { cat "$work/sway.log"; skip "sway did not start"; }
SWAYSOCK=$(find "$work/runtime" -maxdepth 1 -type s -name 'sway-ipc.*' | head -n1)
[[ -n "$SWAYSOCK" ]] || { cat "$work/sway.log"; skip "sway has no command socket"; }
if [[ $with_tray -eq 1 ]]; then
  host_up() {
    "${as_user[@]}" gdbus call --session -d org.kde.StatusNotifierWatcher \
      -o /StatusNotifierWatcher -m org.freedesktop.DBus.Properties.Get \
      org.kde.StatusNotifierWatcher IsStatusNotifierHostRegistered 2>/dev/null | grep -q true
  }
  for _ in $(seq 1 300); do
    host_up && break
    sleep 0.1
  done
  host_up || { cat "$work/sway.log"; skip "swaybar's StatusNotifier host did not come up"; }
fi
# A full path: the programs started may be given runtime folders of their own.
export WAYLAND_DISPLAY="$work/runtime/$socket" SWAYSOCK QT_QPA_PLATFORM=wayland \
  PELION_ARTEFACTS="$work/artefacts"
"${as_user[@]}" "$@"
