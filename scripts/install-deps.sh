#!/usr/bin/env bash
# Installs the Debian packages that building (and, with --test, testing)
# needs; with --run also what running the console needs, with --package what
# building the Debian package needs. Runs as root or through sudo; does
# nothing when every package is present.
set -euo pipefail

build_pkgs=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools
  libxcb1-dev libxcb-ewmh-dev
  libgl-dev
)
# setcap grants programs their network capabilities (scripts/grant-capabilities.sh
# for a build tree; the package's install uses it too).
run_pkgs=(libcap2-bin)
# Building the Debian package: debhelper, and mk-build-deps (devscripts with
# equivs) for the build dependencies debian/control names.
package_pkgs=(debhelper dpkg-dev fakeroot devscripts equivs)
test_pkgs=(
  clang-format curl lftp tftp-hpa atftp busybox python3 xvfb xauth trayer x11-utils xdotool
  imagemagick openbox libcap2-bin binutils iproute2 procps ppp util-linux firefox-esr
  dbus libglib2.0-bin xfce4-panel passwd
  clang libclang-rt-14-dev gcovr sway qt6-wayland grim
  "${package_pkgs[@]}" lintian desktop-file-utils appstream
  # what the package depends on, so that its test installs it without a download
  xdg-utils pkexec
)

# Whether the desktop names any web browser: the default handler for http
# addresses, the x-www-browser alternative, or $BROWSER.
has_web_browser() {
  command -v x-www-browser >/dev/null 2>&1 && return 0
  [[ -n "${BROWSER:-}" ]] && return 0
  local lists=("${XDG_CONFIG_HOME:-$HOME/.config}/mimeapps.list" /etc/xdg/mimeapps.list
    "${XDG_DATA_HOME:-$HOME/.local/share}/applications/mimeapps.list"
    /usr/local/share/applications/mimeapps.list /usr/share/applications/mimeapps.list)
  grep -qs '^x-scheme-handler/http=.' "${lists[@]}"
}

pkgs=("${build_pkgs[@]}")
case "${1:-}" in
  --test) pkgs+=("${test_pkgs[@]}") ;;
  --package) pkgs+=("${package_pkgs[@]}") ;;
  --run)
    pkgs+=("${run_pkgs[@]}")
    # The console opens the equipment's pages in a browser: a machine
    # without any gets one.
    has_web_browser || pkgs+=(firefox-esr)
    ;;
esac

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo_cmd=()
[[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
