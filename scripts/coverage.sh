#!/usr/bin/env bash
# Line coverage of the product code (common platform fileserver console tools)
# by the test suite: builds build-coverage/ with gcc's coverage counters, runs
# the tests (a failing test still counts what it ran; the failures are only
# counted), and prints gcovr's summary. The full report goes to
# build-coverage/coverage.txt. Installs what it needs first, as scripts/test.sh does.
#
# Usage: scripts/coverage.sh [--target NAME]... [CTEST_ARGS...]
#   --target NAME  build only NAME (repeatable; default: everything)
#   CTEST_ARGS     passed to ctest instead of the default "-j2",
#                  e.g. scripts/coverage.sh --target tst_Utilities -R tst_Utilities
set -euo pipefail
cd "$(dirname "$0")/.."

targets=()
while [[ $# -gt 0 && $1 == --target ]]; do
  [[ $# -ge 2 ]] || { echo "coverage.sh: --target needs a name" >&2; exit 2; }
  targets+=(--target "$2")
  shift 2
done
ctest_args=("$@")
[[ ${#ctest_args[@]} -gt 0 ]] || ctest_args=(-j2)
bash scripts/install-deps.sh --test

build=build-coverage
# The build maps the layer folders' paths back to the source tree
# (cmake/PelionLayers.cmake); ccache must not turn them into relative ones.
export CCACHE_BASEDIR=
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPELION_SANITIZE=OFF \
  -DPELION_BUILD_TESTS=ON -DPELION_COVERAGE=ON
cmake --build "$build" "${targets[@]}"

# Counters of an earlier run would add to this one's.
find "$build" -name '*.gcda' -delete

log=$build/ctest.log
set +e
(cd "$build" && ctest --output-on-failure --timeout 300 "${ctest_args[@]}") 2>&1 | tee "$log"
set -e
summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" |
  tail -n 1 || true)
if [[ -z $summary ]]; then
  echo "coverage.sh: ctest ran no tests" >&2
  exit 1
fi
failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$summary")
echo "coverage.sh: $failed of $total tests failed (their coverage still counts)"

filters=()
for folder in common platform fileserver console tools; do
  filters+=(--filter "$folder/")
done
gcovr -r . "$build" "${filters[@]}" --exclude-unreachable-branches \
  --txt "$build/coverage.txt" --print-summary
