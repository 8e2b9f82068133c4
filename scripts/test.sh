#!/usr/bin/env bash
# Installs what building and testing need, builds into build/ with
# AddressSanitizer and UndefinedBehaviorSanitizer, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --test
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPELION_SANITIZE=ON -DPELION_BUILD_TESTS=ON
cmake --build build
cd build
# The package test (label package) installs on this machine: .ci/run runs it.
ctest --output-on-failure --timeout 300 -j "$(nproc)" -LE package
