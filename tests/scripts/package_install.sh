#!/usr/bin/env bash
# The Debian package from build to purge: built by scripts/package.sh,
# checked by lintian, desktop-file-validate and appstreamcli, installed with
# apt-get (nothing downloaded: its dependencies are the test set's), its
# capabilities and dial-up entry checked, the installed console started as a
# throwaway ordinary user on a virtual display, its file server and guide
# reached, then purged, after which nothing of it is left.
# Usage: package_install.sh SOURCE_DIR DISPLAY_RUNNER
set -euo pipefail
skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }

# Waits up to 30 s for a check to pass.
wait_for() {
  local what=$1
  shift
  for _ in $(seq 1 600); do "$@" && return 0; sleep 0.05; done
  fail "$what"
}

# The part that runs on the virtual display: starts the installed console as
# the throwaway user and checks what it serves.
if [[ "${1:-}" == --on-display ]]; then
  user=$2 work=$3
  home=$work/home
  log=$home/messages.log
  cd "$work/served"
  setpriv --reuid="$user" --regid="$(id -g "$user")" --init-groups --inh-caps=-all -- \
    env -i HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_CONFIG_DIRS=/etc/xdg \
    XDG_RUNTIME_DIR="$home/runtime" DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb PATH=/usr/bin:/bin \
    PELION_MESSAGE_LOG="$log" /usr/bin/pelion >"$work/pelion.out" 2>&1 &
  pid=$!
  trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true' EXIT
  # The process listening on a port, by its number.
  listener() { ss "$1" "sport = :$2" | grep -o 'pid=[0-9]*' | head -n 1 | cut -d= -f2; }
  # shellcheck disable=SC2317 # called through wait_for
  listening() {
    kill -0 "$pid" 2>/dev/null || fail "pelion ended: $(cat "$work/pelion.out" "$log" 2>&1)"
    [[ -n $(listener "$1" "$2") ]]
  }
  for check in "-ltnp 21" "-lunp 69" "-ltnp 8133"; do
    read -r options port <<<"$check"
    wait_for "nothing listens on port $port (ss $options)" listening "$options" "$port"
    owner=$(listener "$options" "$port")
    [[ "$owner" == "$pid" ]] || fail "port $port: process $owner listens, not pelion ($pid)"
    [[ $(ps -o uid= -p "$owner" | tr -d ' ') == "$(id -u "$user")" ]] \
      || fail "port $port: pelion does not run as $user"
  done
  curl -sf --max-time 10 http://127.0.0.1:8133/help/index.html -o "$work/index.html" \
    || fail "the guide does not answer on 127.0.0.1:8133"
  cmp -s "$work/index.html" /usr/share/pelion/wwwRoot/help/index.html \
    || fail "the guide served is not the installed one"
  grep -q 'membership of the group dip' "$log" \
    || fail "the console did not tell that dial-up needs the group dip: $(cat "$log")"
  kill -TERM "$pid"
  wait "$pid" || fail "pelion ended with status $? on SIGTERM"
  trap - EXIT
  echo "the installed pelion served FTP, TFTP and the guide as $user"
  exit 0
fi

source_dir=$1 display_runner=$2
[[ $(id -u) -eq 0 ]] || skip "installing a package needs root"
for tool in apt-get dpkg-buildpackage lintian desktop-file-validate appstreamcli getcap ss \
  useradd Xvfb curl; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-deps.sh --test)"
done
! dpkg-query -W -f='${Status}' pelion 2>/dev/null | grep -q 'ok installed' \
  || skip "pelion is installed on this machine; the test would purge it"
for port in 21 8133; do
  [[ -z $(ss -Hltn "sport = :$port") ]] || skip "TCP port $port is taken on this machine"
done
[[ -z $(ss -Hlun "sport = :69") ]] || skip "UDP port 69 is taken on this machine"

peers=/etc/ppp/peers/TarnDirectPPP
peers_before=$(sha256sum "$peers" 2>/dev/null || true)
config=/etc/xdg/Pelion/Pelion.ini
work=$(mktemp -d /tmp/pelion-package.XXXXXX)
chmod 755 "$work"
user=pelion-pkg-$$
installed=0
# A failed run leaves the machine as it found it: the package purged, a
# machine-wide settings file that was there before put back.
cleanup() {
  [[ $installed -eq 0 ]] || dpkg --purge pelion >/dev/null 2>&1 || true
  if [[ -e "$work/Pelion.ini.before" ]]; then
    mkdir -p "$(dirname "$config")"
    mv "$work/Pelion.ini.before" "$config"
  fi
  userdel "$user" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
# The package brings its own; one left by a build tree would make dpkg ask.
[[ ! -e "$config" ]] || mv "$config" "$work/Pelion.ini.before"

(cd "$source_dir" && bash scripts/package.sh) >"$work/package.log" 2>&1 \
  || fail "scripts/package.sh failed: $(tail -n 40 "$work/package.log")"
version=$(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version)
deb=$source_dir/dist/pelion_${version}_$(dpkg --print-architecture).deb
[[ -f "$deb" ]] || fail "no $deb"
echo "package: $(du -h "$deb" | cut -f1) $deb"

lintian --fail-on error "$deb" | tee "$work/lintian.out" || fail "lintian found errors"
mkdir "$work/unpacked"
dpkg-deb -x "$deb" "$work/unpacked"
desktop-file-validate "$work/unpacked/usr/share/applications/org.pelion.Console.desktop" \
  || fail "desktop-file-validate"
appstreamcli validate --no-net "$work/unpacked/usr/share/metainfo/org.pelion.Console.metainfo.xml" \
  || fail "appstreamcli validate"

# Only the package itself is to be installed: nothing is fetched from a mirror.
others=$(apt-get install -s --no-install-recommends "$deb" | sed -n 's/^Inst \([^ ]*\).*/\1/p' \
  | grep -vx pelion || true)
[[ -z "$others" ]] || fail "the package needs ${others//$'\n'/ } first (scripts/install-deps.sh --test)"
installed=1
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$deb" \
  >"$work/install.log" 2>&1 || fail "apt-get install: $(cat "$work/install.log")"
dpkg -L pelion >"$work/files"

# Unprivileged echoes where ping_group_range lets ordinary users send them.
read -r low high </proc/sys/net/ipv4/ping_group_range
caps=cap_net_bind_service
((low <= 100 && high >= 59999)) || caps=$caps,cap_net_raw
for program in /usr/bin/pelion /usr/bin/tallis-serve; do
  [[ $(getcap "$program") == "$program $caps=ep" ]] || fail "getcap $program: $(getcap "$program")"
done
echo "capabilities: $caps"
if [[ -z "$peers_before" ]]; then
  [[ $(stat -c '%U:%G %a' "$peers") == "root:dip 640" ]] || fail "$peers: $(stat -c '%U:%G %a' "$peers")"
  grep -qx 'nocrtscts' "$peers" || fail "$peers has no nocrtscts: $(cat "$peers")"
  grep -qx '/dev/tty[A-Za-z]*[0-9]*' "$peers" || fail "$peers names no device: $(cat "$peers")"
else
  [[ $(sha256sum "$peers") == "$peers_before" ]] || fail "the install changed the existing $peers"
fi

useradd --no-create-home --home-dir "$work/home" --shell /usr/sbin/nologin "$user"
mkdir -p "$work/home/runtime" "$work/served"
chmod 700 "$work/home/runtime"
echo "software" >"$work/served/image.bin"
chown -R "$user:" "$work/home" "$work/served"
bash "$display_runner" --tray "$work/artefacts" bash "$0" --on-display "$user" "$work"

installed=0
dpkg --purge pelion >"$work/purge.log" 2>&1 || fail "dpkg --purge: $(cat "$work/purge.log")"
! dpkg-query -W -f='${Status}' pelion 2>/dev/null | grep -q 'ok installed' \
  || fail "pelion is still installed"
while IFS= read -r path; do
  [[ "$path" == /. ]] && continue
  if [[ -d "$path" && ! -L "$path" ]]; then
    # A folder stays only when another package has it too.
    dpkg-query -S "$path" >/dev/null 2>&1 || fail "the folder $path is left"
  elif [[ -e "$path" || -L "$path" ]]; then
    fail "$path is left"
  fi
done <"$work/files"
if [[ -z "$peers_before" ]]; then
  [[ ! -e "$peers" ]] || fail "$peers is left"
else
  [[ $(sha256sum "$peers") == "$peers_before" ]] || fail "the purge changed the existing $peers"
fi
[[ ! -e /var/lib/pelion ]] || fail "/var/lib/pelion is left"
echo "pelion $version built, installed, run and purged"
