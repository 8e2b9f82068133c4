#!/usr/bin/env bash
# Builds the Debian package from this checkout and puts the .deb files into
# dist/. Installs the packaging tools and the build dependencies that
# debian/control names first (sudo for apt-get only). The build itself runs
# as the calling user in build-run/, on a copy of the checkout's files, so
# that nothing is written into the source tree or beside it.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"

bash scripts/install-deps.sh --package

root_cmd=()
[[ $(id -u) -ne 0 ]] && root_cmd=(--root-cmd sudo)
if ! dpkg-checkbuilddeps debian/control 2>/dev/null; then
  deps_work=$(mktemp -d)
  trap 'rm -rf "$deps_work"' EXIT
  (cd "$deps_work" && DEBIAN_FRONTEND=noninteractive mk-build-deps --install --remove "${root_cmd[@]}" \
    --tool 'apt-get -y -q --no-install-recommends' "$repo/debian/control")
fi

version=$(dpkg-parsechangelog -l debian/changelog -S Version)
work=$repo/build-run
source_copy=$work/pelion-$version
rm -rf "$work"
mkdir -p "$source_copy"
# The checkout's files as they are now, committed or not; no build folders.
if git -C "$repo" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git -C "$repo" ls-files -z --cached --others --exclude-standard \
    | tar -C "$repo" --null -T - --ignore-failed-read -cf - | tar -C "$source_copy" -xf -
else
  tar -C "$repo" --exclude='./build*' --exclude=./dist -cf - . | tar -C "$source_copy" -xf -
fi

# debhelper gives the build a home of its own; the compiler cache stays the
# caller's, and its folder is fixed so that a rebuild finds its objects.
export CCACHE_DIR=${CCACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/ccache}
(cd "$source_copy" && dpkg-buildpackage -us -uc -b -j"$(nproc)")

mkdir -p dist
rm -f dist/*.deb
mv "$work"/*.deb dist/
ls -l dist/*.deb
