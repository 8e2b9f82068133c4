#!/usr/bin/env bash
# FTP throughput over loopback: one 256 MiB retrieve and one 256 MiB store
# with curl in active mode, printed in MB/s (10^6 bytes per second).
#
# Builds nothing. It runs the FTP test host, BUILD_DIR/bin/ftp_test_host
# (default BUILD_DIR: build-bench). For figures use a build without the
# sanitizers:
#   cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELION_SANITIZE=OFF
#   cmake --build build-bench --target ftp_test_host
#   bench/ftp_throughput.sh build-bench
#
# All traffic stays on 127.0.0.1; the host is stopped by its PID.
set -euo pipefail

BUILD_DIR=${1:-build-bench}
HOST="$BUILD_DIR/bin/ftp_test_host"
SIZE_MIB=256
# Bounds: the host's start, and each transfer.
START_TIMEOUT_S=30
TRANSFER_TIMEOUT_S=300

if [[ ! -x "$HOST" ]]; then
    echo "no host program at $HOST (see the header of $0)" >&2
    exit 2
fi

WORK=$(mktemp -d)
HOST_PID=""
cleanup() {
    if [[ -n "$HOST_PID" ]] && kill -0 "$HOST_PID" 2>/dev/null; then
        kill -TERM "$HOST_PID"
        wait "$HOST_PID" || true
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT

mkdir "$WORK/served" "$WORK/local"
head -c $((SIZE_MIB * 1024 * 1024)) /dev/urandom > "$WORK/served/down.bin"
cp "$WORK/served/down.bin" "$WORK/local/up.bin"

"$HOST" --root "$WORK/served" --ftp-port 0 > "$WORK/host.log" 2>&1 &
HOST_PID=$!

PORT=""
for ((i = 0; i < START_TIMEOUT_S * 10; i++)); do
    PORT=$(sed -n 's/^FTP listening on port \([0-9]*\)$/\1/p' "$WORK/host.log")
    [[ -n "$PORT" ]] && break
    kill -0 "$HOST_PID" 2>/dev/null || break
    sleep 0.1
done
if [[ -z "$PORT" ]]; then
    echo "host did not come up:" >&2
    cat "$WORK/host.log" >&2
    exit 1
fi

URL="ftp://127.0.0.1:$PORT"
CURL=(curl -sS -P 127.0.0.1 --max-time "$TRANSFER_TIMEOUT_S")

# Prints "<what>: <MB/s> MB/s (<bytes> bytes in <seconds> s)".
report() {
    local what=$1 bytes=$2 seconds=$3
    awk -v w="$what" -v b="$bytes" -v s="$seconds" \
        'BEGIN { printf "%s: %.1f MB/s (%d bytes in %.3f s)\n", w, b / 1e6 / s, b, s }'
}

read -r BYTES SECONDS_TAKEN < <("${CURL[@]}" -o "$WORK/local/down.bin" \
    -w '%{size_download} %{time_total}\n' "$URL/down.bin")
cmp -s "$WORK/served/down.bin" "$WORK/local/down.bin" || { echo "retrieved file differs" >&2; exit 1; }
report "retrieve $SIZE_MIB MiB" "$BYTES" "$SECONDS_TAKEN"

read -r BYTES SECONDS_TAKEN < <("${CURL[@]}" -T "$WORK/local/up.bin" \
    -w '%{size_upload} %{time_total}\n' "$URL/up.bin")
cmp -s "$WORK/local/up.bin" "$WORK/served/up.bin" || { echo "stored file differs" >&2; exit 1; }
report "store $SIZE_MIB MiB" "$BYTES" "$SECONDS_TAKEN"
