#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each for
# the given seconds (default 60), starting from its seeds in
# fuzz/corpus/<target>/. Fails when a run finds a crash, a leak or a hang; the
# input that did it is kept in build-fuzz/artifacts/<target>/.
#
# Each run has a network namespace of its own with only its loopback
# interface, so nothing it does reaches another process, and runs as "nobody"
# when started as root, so a fault cannot write outside its temporary folder.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_EACH=${1:-60}
shift || true
TARGETS=("$@")
[[ ${#TARGETS[@]} -gt 0 ]] || TARGETS=(fuzz_ftp_session fuzz_tftp_transfer fuzz_tftp_listener fuzz_http_request_head)
[[ "$SECONDS_EACH" =~ ^[0-9]+$ ]] || { echo "usage: $0 [SECONDS] [TARGET...]" >&2; exit 2; }
BUILD=build-fuzz
# One input may take this long before it counts as a hang.
INPUT_TIMEOUT_S=10
# Control-connection input long enough for an over-long command line.
MAX_LEN=8192
# Kills a run that ignores its own time limit.
GRACE_S=60

export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
# Light optimisation with assertions kept, and line tables only: enough for
# readable stack traces, much quicker to build than full debug information.
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=None \
    -DCMAKE_CXX_FLAGS="-O1 -gline-tables-only" \
    -DPELION_FUZZ=ON -DPELION_BUILD_TESTS=OFF -DPELION_SANITIZE=OFF >/dev/null
cmake --build "$BUILD" --target "${TARGETS[@]}" -- -j "${PELION_JOBS:-2}"

# A new network namespace with its loopback interface up and nothing else.
# Every FTP input opens fresh connections, a thousand a second: closed ones
# leave no port waiting in TIME_WAIT, so a run never runs out of ports
# (nothing but the fuzz target uses this namespace).
in_own_network='ip link set lo up && sysctl -q -w net.ipv4.tcp_max_tw_buckets=0 \
    net.ipv4.ip_local_port_range="2048 65000" && exec "$@"'
if [[ $(id -u) -eq 0 ]]; then
    sandbox=(unshare --net sh -c "$in_own_network" sh
        setpriv --reuid=nobody --regid=nogroup --clear-groups --)
    owner=nobody:nogroup
else
    sandbox=(unshare --map-root-user --net sh -c "$in_own_network" sh)
    owner=""
fi

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
[[ -n "$owner" ]] && chown "$owner" "$WORK"

status=0
for target in "${TARGETS[@]}"; do
    corpus="$WORK/$target"
    artifacts="$PWD/$BUILD/artifacts/$target"
    mkdir -p "$corpus" "$artifacts"
    cp fuzz/corpus/"$target"/* "$corpus"/
    [[ -n "$owner" ]] && chown -R "$owner" "$corpus" "$artifacts"
    dict=()
    [[ -f fuzz/$target.dict ]] && dict=(-dict="fuzz/$target.dict")
    echo "== $target: $SECONDS_EACH s"
    log="$WORK/$target.log"
    if ! timeout $((SECONDS_EACH + GRACE_S)) "${sandbox[@]}" env TMPDIR="$WORK" \
        "$BUILD/fuzz/$target" "${dict[@]}" -max_total_time="$SECONDS_EACH" \
        -timeout="$INPUT_TIMEOUT_S" -max_len="$MAX_LEN" -print_final_stats=1 \
        -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1; then
        status=1
        echo "$target FAILED; the input is in $artifacts/" >&2
        tail -n 60 "$log" >&2
    fi
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' \
        "$log" | awk '!seen[$0]++' || true
    grep -E '^#[0-9]+ +(DONE|NEW|REDUCE|pulse)' "$log" | tail -n 1 || true
    grep -E '^Done [0-9]+ runs' "$log" || true
done
exit "$status"
