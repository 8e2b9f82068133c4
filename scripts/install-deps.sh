#!/usr/bin/env bash
# Installs the Debian packages that building (and, with --test, testing) needs.
# Runs as root or through sudo; does nothing when every package is present.
set -euo pipefail

build_pkgs=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-httpserver-dev qt6-websockets-dev
  libxcb1-dev libxcb-ewmh-dev
  libgl-dev
)
test_pkgs=(
  clang-format curl lftp tftp-hpa atftp busybox python3 xvfb xauth trayer x11-utils xdotool imagemagick
  iproute2 procps ppp util-linux
)

pkgs=("${build_pkgs[@]}")
if [[ "${1:-}" == "--test" ]]; then
  pkgs+=("${test_pkgs[@]}")
fi

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
