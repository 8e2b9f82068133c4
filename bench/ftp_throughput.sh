#!/usr/bin/env bash
# FTP throughput over loopback: one 256 MiB retrieve and one 256 MiB store
# with curl in active mode against tallis-serve, printed in MB/s (10^6 bytes
# per second). Build steps: see bench/serve_host.sh. All traffic stays on
# 127.0.0.1; the host is stopped by its PID.
set -euo pipefail
source "$(dirname "$0")/serve_host.sh"

SIZE_MIB=256
TRANSFER_TIMEOUT_S=300

WORK=$(mktemp -d)
trap 'stop_host; rm -rf "$WORK"' EXIT
mkdir "$WORK/served" "$WORK/local"
head -c $((SIZE_MIB * 1024 * 1024)) /dev/urandom >"$WORK/served/down.bin"
cp "$WORK/served/down.bin" "$WORK/local/up.bin"

start_host "$WORK/served" FTP "$WORK/host.log"
PORT=$BENCH_PORT
URL="ftp://127.0.0.1:$PORT"
CURL=(curl -sS -P 127.0.0.1 --max-time "$TRANSFER_TIMEOUT_S")

read -r BYTES SECONDS_TAKEN < <("${CURL[@]}" -o "$WORK/local/down.bin" \
    -w '%{size_download} %{time_total}\n' "$URL/down.bin")
cmp -s "$WORK/served/down.bin" "$WORK/local/down.bin" || { echo "retrieved file differs" >&2; exit 1; }
report "FTP retrieve $SIZE_MIB MiB" "$BYTES" "$SECONDS_TAKEN"

read -r BYTES SECONDS_TAKEN < <("${CURL[@]}" -T "$WORK/local/up.bin" \
    -w '%{size_upload} %{time_total}\n' "$URL/up.bin")
cmp -s "$WORK/local/up.bin" "$WORK/served/up.bin" || { echo "stored file differs" >&2; exit 1; }
report "FTP store $SIZE_MIB MiB" "$BYTES" "$SECONDS_TAKEN"
