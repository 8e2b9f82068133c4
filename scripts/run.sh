#!/usr/bin/env bash
# Installs what the console needs, builds it into build/ (without the
# sanitizers), grants the programs their network capabilities and starts the
# console pelion as the calling user. The file server serves the folder this
# script was started from:
#   cd ~/firmware && ~/pelion/scripts/run.sh
# sudo is used only to install packages and to grant the capabilities.
set -euo pipefail
served_folder=$PWD
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"

bash scripts/install-deps.sh --run
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELION_SANITIZE=OFF >/dev/null
programs=(pelion tallis-serve)
cmake --build build --target "${programs[@]}"

if [[ $(id -u) -ne 0 ]]; then
  if ! bash scripts/grant-capabilities.sh "${programs[@]/#/build/bin/}"; then
    echo "Without the capabilities the file server cannot use ports 21 and 69, and the" >&2
    echo "route test cannot send ICMP echoes; see README.md, 'Without capabilities'." >&2
  fi
fi

if [[ $# -gt 0 ]]; then
  echo "pelion takes no arguments; the file server serves the folder run.sh starts in." >&2
fi
cd "$served_folder"
exec "$repo/build/bin/pelion"
