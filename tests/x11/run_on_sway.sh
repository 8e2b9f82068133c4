#!/usr/bin/env bash
# Runs a program on a Wayland session of its own: a headless sway (no X server
# beside it) and the program with QT_QPA_PLATFORM=wayland, both as an ordinary
# user. Run as root, it makes a throwaway user for them and removes it after.
# A machine that cannot start the session makes the test skip (status 77)
# with the reason.
# Usage: run_on_sway.sh ARTEFACT_DIR PROGRAM [ARGS...]
# The program finds ARTEFACT_DIR in $PELION_ARTEFACTS. Only the processes this
# script started are ended, by their process numbers.
set -euo pipefail
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
mkdir -m 700 "$work/runtime" "$work/home"
if [[ -n "$user" ]]; then
  chown "$user:$user" "$work/runtime" "$work/home"
  chmod 1777 "$artefacts" 2>/dev/null || true
fi
# No bar, no key bindings: the session holds only the program's windows.
printf 'output HEADLESS-1 resolution 1024x768\n' >"$work/sway.conf"
unset DISPLAY WAYLAND_DISPLAY
export XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home" XDG_SESSION_TYPE=wayland \
  WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman
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
export WAYLAND_DISPLAY="$socket" QT_QPA_PLATFORM=wayland PELION_ARTEFACTS="$artefacts"
"${as_user[@]}" "$@"
