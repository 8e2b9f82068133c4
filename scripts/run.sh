#!/usr/bin/env bash
# Installs what the build needs, builds into build/ and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build

if [[ -x build/bin/pelion ]]; then
  exec build/bin/pelion "$@"
elif [[ -x build/bin/tallis-serve ]]; then
  echo "pelion is not built yet; starting the file server host tallis-serve instead." >&2
  exec build/bin/tallis-serve "$@"
else
  echo "Built the libraries and tests; no program to start exists yet (pelion and tallis-serve come later)." >&2
fi
