#!/usr/bin/env bash
# The address book at its full size: a 32,767-entry book loaded into the main
# window's list and the window shown (the goal: within 2000 ms), and the first
# entry of a 3,000-entry book removed, in ms, over RUNS runs (default 3, at
# most 20), each in a settings folder of its own, offscreen. Prints each run
# and the medians. Wants a build without the sanitizers:
#   cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELION_SANITIZE=OFF
#   cmake --build build-bench --target pelion-book-bench
# Usage: bench/address_book.sh [RUNS]   (BENCH_BIN: another build's bin folder;
# BENCH_TIMEOUT: seconds a run may take, default 600; BENCH_SIZES: "LOAD REMOVAL"
# for other book sizes, e.g. "8000 3000" for a slow build)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
bin=${BENCH_BIN:-$repo/build-bench/bin}
runs=${1:-3}
limit=${BENCH_TIMEOUT:-600}
((runs >= 1 && runs <= 20)) || { echo "RUNS must be 1 to 20" >&2; exit 2; }
[[ -x "$bin/pelion-book-bench" ]] || { echo "no $bin/pelion-book-bench (see above)" >&2; exit 2; }

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

load=()
remove=()
for run in $(seq 1 "$runs"); do
  out=$(QT_QPA_PLATFORM=offscreen timeout "$limit" "$bin/pelion-book-bench" ${BENCH_SIZES:-}) || {
    echo "run $run: no figure within ${limit} s" >&2
    exit 1
  }
  l=$(awk '$1 == "load_ms" { print $2 }' <<<"$out")
  rows=$(awk '$1 == "load_ms" { print $4 }' <<<"$out")
  r=$(awk '$1 == "remove_ms" { print $2 }' <<<"$out")
  left=$(awk '$1 == "remove_ms" { print $4 }' <<<"$out")
  printf 'run %d: load and show %s ms (%s rows), removal %s ms (%s entries left)\n' \
    "$run" "$l" "$rows" "$r" "$left"
  load+=("$l")
  remove+=("$r")
done
printf 'median: load and show %s ms, removal %s ms\n' "$(median "${load[@]}")" \
  "$(median "${remove[@]}")"
