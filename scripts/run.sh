#!/usr/bin/env bash
# Builds the Debian package (scripts/package.sh, in build-run/, apart from the
# tests' build/), installs it and starts the installed console pelion as the
# calling user. The file server serves the folder this script was started
# from:
#   cd ~/firmware && ~/pelion/scripts/run.sh
# sudo is used only for apt-get and dpkg: the packages, the build
# dependencies and the console's own package, whose install grants the
# programs their network capabilities and writes the direct-cable entry.
set -euo pipefail
served_folder=$PWD
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"

if [[ $# -gt 0 ]]; then
  echo "pelion takes no arguments; the file server serves the folder run.sh starts in." >&2
fi

bash scripts/install-deps.sh --run
bash scripts/package.sh
version=$(dpkg-parsechangelog -l debian/changelog -S Version)
package=./dist/pelion_${version}_$(dpkg --print-architecture).deb

sudo_cmd=()
[[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
# --reinstall: a rebuild of the same version replaces the installed one.
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --reinstall "$package"

cd "$served_folder"
exec /usr/bin/pelion
