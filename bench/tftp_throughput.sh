#!/usr/bin/env bash
# TFTP throughput over loopback: get and put of a 30 MiB file with the
# tftp-hpa client against tallis-serve, printed in MB/s (10^6 bytes per
# second). 30 MiB is 61440 blocks, below the 65535 blocks the common clients
# can take. Build steps: see bench/serve_host.sh.
set -euo pipefail
source "$(dirname "$0")/serve_host.sh"

SIZE_BYTES=$((30 * 1024 * 1024))
CLIENT_TIMEOUT_S=300
command -v tftp >/dev/null || { echo "the tftp-hpa client (tftp) is missing" >&2; exit 2; }

WORK=$(mktemp -d)
trap 'stop_host; rm -rf "$WORK"' EXIT
mkdir "$WORK/root" "$WORK/client"
head -c "$SIZE_BYTES" /dev/urandom >"$WORK/root/big.bin"
cp "$WORK/root/big.bin" "$WORK/client/upload.bin"

start_host "$WORK/root" TFTP "$WORK/host.log"
PORT=$BENCH_PORT

# timed LABEL TFTP-COMMAND...: runs one transfer and prints its figure.
timed() {
    local label=$1 started ended
    shift
    started=$(date +%s.%N)
    (cd "$WORK/client" && timeout "$CLIENT_TIMEOUT_S" tftp 127.0.0.1 "$PORT" -m binary -c "$@")
    ended=$(date +%s.%N)
    report "$label" "$SIZE_BYTES" "$(awk -v s="$started" -v e="$ended" 'BEGIN { print e - s }')"
}

timed "TFTP get 30 MiB" get big.bin fetched.bin
cmp -s "$WORK/root/big.bin" "$WORK/client/fetched.bin" || { echo "get: file differs" >&2; exit 1; }
timed "TFTP put 30 MiB" put upload.bin stored.bin
cmp -s "$WORK/client/upload.bin" "$WORK/root/stored.bin" || { echo "put: file differs" >&2; exit 1; }
