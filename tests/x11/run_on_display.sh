#!/usr/bin/env bash
# Runs a program on its own virtual X display (Xvfb), optionally with a window
# manager (openbox: EWMH client list, frames, close boxes) and a notification
# area (trayer), so that windows and tray icons really appear.
# Usage: run_on_display.sh [--wm] [--tray] [--notifier] [--as-user] ARTEFACT_DIR PROGRAM [ARGS...]
# --tray is an XEmbed tray (trayer); --notifier a StatusNotifier host instead:
# a D-Bus session bus of its own and xfce4-panel with its tray plugin.
# The program finds ARTEFACT_DIR in $PELION_ARTEFACTS. With --as-user a run as
# root makes a throwaway user and runs the program (and the session bus and
# panel, which serve only their own user) as that user, as people do.
# A desktop that cannot be had here skips (status 77) with the reason. Only
# the processes this script started are ended, by their process numbers.
set -euo pipefail
with_wm=0 with_tray=0 with_notifier=0 as_user=0
while [[ $# -gt 0 ]]; do
  case "$1" in
    --wm) with_wm=1; shift ;;
    --tray) with_tray=1; shift ;;
    --notifier) with_notifier=1; shift ;;
    --as-user) as_user=1; shift ;;
    *) break ;;
  esac
done
skip() { echo "SKIP: $*"; exit 77; }
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

# The test's own runtime folder, not the user's.
mkdir -m 700 "$work/runtime"
run=()
if [[ $as_user -eq 1 && $(id -u) -eq 0 ]]; then
  command -v useradd >/dev/null && command -v setpriv >/dev/null \
    || skip "no useradd or setpriv to run the programs as an ordinary user"
  # The work folder holds the user's home and runtime folder: others may pass through it.
  chmod 711 "$work"
  mkdir -m 700 "$work/home"
  useradd --system --no-create-home --home-dir "$work/home" --shell /usr/sbin/nologin \
    "pelion-desk-$$" || skip "a throwaway user could not be made"
  user="pelion-desk-$$"
  chown -R "$user:" "$work/home" "$work/runtime" "$artefacts"
  export HOME="$work/home"
  run=(setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups --inh-caps=-all --)
fi

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

if [[ $with_notifier -eq 1 ]]; then
  for program in xfce4-panel dbus-daemon gdbus; do
    command -v "$program" >/dev/null || skip "$program is not installed: no StatusNotifier host"
  done
  # One panel with the tray plugin only, in a configuration of its own; the
  # bus starts the panel's settings service with the same folders.
  panel_env=(env XDG_CONFIG_HOME="$work/xfce/config" XDG_CACHE_HOME="$work/xfce/cache" NO_AT_BRIDGE=1)
  channel="$work/xfce/config/xfce4/xfconf/xfce-perchannel-xml"
  mkdir -p "$channel" "$work/xfce/cache"
  cat >"$channel/xfce4-panel.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="32"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray"/>
  </property>
</channel>
XML
  [[ -z "$user" ]] || chown -R "$user:" "$work/xfce"
  "${run[@]}" "${panel_env[@]}" dbus-daemon --session --nofork --nopidfile --print-address=3 \
    3>"$work/bus" 2>"$work/bus.log" &
  pids+=($!)
  wait_for dbus-daemon "$work/bus.log" test -s "$work/bus"
  export DBUS_SESSION_BUS_ADDRESS="$(head -n1 "$work/bus")"
  # The panel's settings service, started here rather than by the bus, so that
  # it is a process of ours that ends with the others.
  xfconfd=$(sed -n 's/^Exec=//p' /usr/share/dbus-1/services/org.xfce.Xfconf.service 2>/dev/null)
  [[ -x "$xfconfd" ]] || skip "xfconfd, the panel's settings service, is not installed"
  "${run[@]}" "${panel_env[@]}" "$xfconfd" >"$work/xfconfd.log" 2>&1 &
  pids+=($!)
  xfconf_up() {
    "${run[@]}" gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus \
      -m org.freedesktop.DBus.NameHasOwner org.xfce.Xfconf 2>/dev/null | grep -q true
  }
  wait_for xfconfd "$work/xfconfd.log" xfconf_up
  "${run[@]}" "${panel_env[@]}" xfce4-panel --disable-wm-check >"$work/panel.log" 2>&1 &
  pids+=($!)
  host_up() {
    "${run[@]}" gdbus call --session -d org.kde.StatusNotifierWatcher -o /StatusNotifierWatcher \
      -m org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher \
      IsStatusNotifierHostRegistered 2>/dev/null | grep -q true
  }
  for _ in $(seq 1 300); do host_up && break; sleep 0.1; done
  host_up || { cat "$work/panel.log"; skip "xfce4-panel's StatusNotifier host did not come up"; }
fi

export XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb PELION_ARTEFACTS="$artefacts"
"${run[@]}" "$@"
