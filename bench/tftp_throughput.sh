#!/bin/sh
# Prints the get and put throughput (MB/s, 10^6 bytes per second) of a
# 30 MiB file with the tftp-hpa client against the TFTP server on loopback.
# 30 MiB is 61440 blocks, below the 65535 blocks the common clients can take.
#
# Wants a build without the sanitizers:
#   cmake -B build-bench -G Ninja -DPELION_SANITIZE=OFF -DCMAKE_BUILD_TYPE=Release
#   cmake --build build-bench --target tftp_test_host
#
# Usage: bench/tftp_throughput.sh [HOST_PROGRAM]
#   HOST_PROGRAM defaults to build-bench/bin/tftp_test_host; any program with
#   the test host's command line and "TFTP listening on port N" line serves.

set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
host_program=${1:-$here/build-bench/bin/tftp_test_host}
size_bytes=$((30 * 1024 * 1024))
client_timeout_s=300
start_timeout_tenths=300

if [ ! -x "$host_program" ]; then
    echo "no host program at $host_program (see the build steps at the top of $0)" >&2
    exit 2
fi
command -v tftp >/dev/null || { echo "the tftp-hpa client (tftp) is missing" >&2; exit 2; }

work=$(mktemp -d)
host_pid=
stop_host() {
    if [ -n "$host_pid" ]; then
        kill "$host_pid" 2>/dev/null || true
        wait "$host_pid" 2>/dev/null || true
        host_pid=
    fi
    rm -rf "$work"
}
trap stop_host EXIT INT TERM

mkdir "$work/root" "$work/client"
head -c "$size_bytes" /dev/urandom >"$work/root/big.bin"
cp "$work/root/big.bin" "$work/client/upload.bin"

"$host_program" --root "$work/root" --tftp-port 0 --ftp-port 0 --no-tray >"$work/host.out" 2>&1 &
host_pid=$!

port=
tries=0
while [ -z "$port" ]; do
    port=$(sed -n 's/^TFTP listening on port \([0-9]*\)$/\1/p' "$work/host.out")
    [ -n "$port" ] && break
    tries=$((tries + 1))
    if [ "$tries" -gt "$start_timeout_tenths" ] || ! kill -0 "$host_pid" 2>/dev/null; then
        echo "host did not come up:" >&2
        cat "$work/host.out" >&2
        exit 1
    fi
    sleep 0.1
done

now() { date +%s.%N; }

# Runs one timed transfer; prints its MB/s line. Arguments: label, tftp command.
timed() {
    label=$1
    shift
    started=$(now)
    (cd "$work/client" && timeout "$client_timeout_s" tftp 127.0.0.1 "$port" -m binary -c "$@")
    ended=$(now)
    awk -v label="$label" -v bytes="$size_bytes" -v s="$started" -v e="$ended" \
        'BEGIN { t = e - s; printf "%s: %d bytes in %.3f s, %.1f MB/s\n", label, bytes, t, bytes / t / 1e6 }'
}

timed "TFTP get 30 MiB" get big.bin fetched.bin
cmp -s "$work/root/big.bin" "$work/client/fetched.bin" || { echo "get: file differs" >&2; exit 1; }
timed "TFTP put 30 MiB" put upload.bin stored.bin
cmp -s "$work/client/upload.bin" "$work/root/stored.bin" || { echo "put: file differs" >&2; exit 1; }
