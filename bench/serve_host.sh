# Shared by the benchmark scripts (sourced, not run): starts tallis-serve on
# loopback ports the system chooses and stops it again by its PID.
#
# Wants a build without the sanitizers, for figures worth reading:
#   cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELION_SANITIZE=OFF
#   cmake --build build-bench --target tallis-serve

BENCH_HOST=${BENCH_HOST:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build-bench/bin/tallis-serve}
BENCH_START_TIMEOUT_TENTHS=300
BENCH_HOST_PID=""

# start_host ROOT PROTOCOL LOG: starts the host serving ROOT and sets
# BENCH_PORT to the port of PROTOCOL ("FTP" or "TFTP") once it listens.
# Called directly, not in $(...), so that the host's PID stays known here.
start_host() {
    local root=$1 protocol=$2 log=$3 port="" tries=0
    if [[ ! -x "$BENCH_HOST" ]]; then
        echo "no host program at $BENCH_HOST (see bench/serve_host.sh)" >&2
        return 2
    fi
    "$BENCH_HOST" --root "$root" --ftp-port 0 --tftp-port 0 --no-tray >"$log" 2>&1 &
    BENCH_HOST_PID=$!
    while [[ -z "$port" ]]; do
        port=$(sed -n "s/^$protocol listening on port \\([0-9]*\\)\$/\\1/p" "$log")
        [[ -n "$port" ]] && break
        tries=$((tries + 1))
        if ((tries > BENCH_START_TIMEOUT_TENTHS)) || ! kill -0 "$BENCH_HOST_PID" 2>/dev/null; then
            echo "host did not come up:" >&2
            cat "$log" >&2
            return 1
        fi
        sleep 0.1
    done
    BENCH_PORT=$port
}

stop_host() {
    if [[ -n "$BENCH_HOST_PID" ]] && kill -0 "$BENCH_HOST_PID" 2>/dev/null; then
        kill -TERM "$BENCH_HOST_PID"
        wait "$BENCH_HOST_PID" || true
    fi
    BENCH_HOST_PID=""
}

# report WHAT BYTES SECONDS: prints "<what>: <MB/s> MB/s (<bytes> bytes in <seconds> s)".
report() {
    awk -v w="$1" -v b="$2" -v s="$3" \
        'BEGIN { printf "%s: %.1f MB/s (%d bytes in %.3f s)\n", w, b / 1e6 / s, b, s }'
}
