#!/usr/bin/env bash
# TFTP throughput over loopback: get and put of a 30 MiB file with the
# tftp-hpa client against tallis-serve, printed in MB/s (10^6 bytes per
# second). 30 MiB is 61440 blocks, below the 65535 blocks the common clients
# can take. Build steps: see bench/serve_host.sh.
#
# Settings (environment):
#   TFTP_RUNS=N      transfers of each kind; the median is printed (default 1)
#   TFTP_CPUS=LIST   pins server and client to these CPUs with taskset ("0": one CPU)
#   TFTP_COMPARE=1   alternates each run with in.tftpd (tftpd-hpa), run here in
#                    the foreground on a loopback port and stopped by its PID,
#                    and prints the ratio of the medians
# Beside the time, tallis-serve's CPU time per transfer is printed (user and
# system), a figure that other load on the machine disturbs less. (in.tftpd's
# transfer processes are reaped unaccounted, so it has no such figure.)
set -euo pipefail
source "$(dirname "$0")/serve_host.sh"

SIZE_BYTES=$((30 * 1024 * 1024))
CLIENT_TIMEOUT_S=300
RUNS=${TFTP_RUNS:-1}
CPUS=${TFTP_CPUS:-}
COMPARE=${TFTP_COMPARE:-0}
command -v tftp >/dev/null || { echo "the tftp-hpa client (tftp) is missing" >&2; exit 2; }
if [[ "$COMPARE" == 1 ]] && [[ ! -x /usr/sbin/in.tftpd ]]; then
    echo "in.tftpd is missing: apt-get install tftpd-hpa" >&2
    exit 2
fi

PIN=()
[[ -n "$CPUS" ]] && PIN=(taskset -c "$CPUS")

WORK=$(mktemp -d)
HPA_PID=""
stop_hpa() {
    if [[ -n "$HPA_PID" ]] && kill -0 "$HPA_PID" 2>/dev/null; then
        kill -TERM "$HPA_PID"
        wait "$HPA_PID" || true
    fi
    HPA_PID=""
}
trap 'stop_host; stop_hpa; rm -rf "$WORK"' EXIT
mkdir "$WORK/root" "$WORK/hpa" "$WORK/client"
head -c "$SIZE_BYTES" /dev/urandom >"$WORK/root/big.bin"
cp "$WORK/root/big.bin" "$WORK/hpa/big.bin"
cp "$WORK/root/big.bin" "$WORK/client/upload.bin"

start_host "$WORK/root" TFTP "$WORK/host.log"
OURS=$BENCH_PORT
[[ -n "$CPUS" ]] && taskset -a -p -c "$CPUS" "$BENCH_HOST_PID" >/dev/null

HPA=""
if [[ "$COMPARE" == 1 ]]; then
    # A free loopback port: the system's choice for a socket that is closed again.
    HPA=$(python3 -c 'import socket; s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    chmod 777 "$WORK/hpa"
    "${PIN[@]}" /usr/sbin/in.tftpd -L -a "127.0.0.1:$HPA" -c -p -u nobody -s "$WORK/hpa" &
    HPA_PID=$!
fi

# seconds PORT TFTP-COMMAND...: runs one transfer and prints its time.
seconds() {
    local port=$1 started ended
    shift
    started=$(date +%s.%N)
    (cd "$WORK/client" && timeout "$CLIENT_TIMEOUT_S" "${PIN[@]}" tftp 127.0.0.1 "$port" -m binary -c "$@")
    ended=$(date +%s.%N)
    awk -v s="$started" -v e="$ended" 'BEGIN { print e - s }'
}

median() {
    sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# cpu_ticks PID: the process's CPU time, user and system, in clock ticks.
cpu_ticks() {
    awk '{ print $14 + $15 }' "/proc/$1/stat"
}

# one KIND SERVER PORT FOLDER: one get or put, checked byte for byte; prints
# seconds and the server's CPU milliseconds.
one() {
    local kind=$1 server=$2 port=$3 folder=$4 taken pid ticks
    pid=$BENCH_HOST_PID
    [[ "$server" == hpa ]] && pid=$HPA_PID
    ticks=$(cpu_ticks "$pid")
    rm -f "$WORK/client/fetched.bin" "$folder/stored.bin"
    if [[ "$kind" == get ]]; then
        taken=$(seconds "$port" get big.bin fetched.bin)
        cmp -s "$folder/big.bin" "$WORK/client/fetched.bin" || { echo "$server get: file differs" >&2; exit 1; }
    else
        # tftpd-hpa creates no file in a folder it cannot write; the name exists first.
        [[ "$server" == hpa ]] && install -m 666 /dev/null "$folder/stored.bin"
        taken=$(seconds "$port" put upload.bin stored.bin)
        cmp -s "$WORK/client/upload.bin" "$folder/stored.bin" || { echo "$server put: file differs" >&2; exit 1; }
    fi
    echo "$taken $(($(cpu_ticks "$pid") - ticks)) $(getconf CLK_TCK)" | awk '{ print $1, $2 * 1000 / $3 }'
}

for kind in get put; do
    ours=()
    theirs=()
    for ((run = 0; run < RUNS; run++)); do
        ours+=("$(one "$kind" tallis "$OURS" "$WORK/root")")
        [[ -n "$HPA" ]] && theirs+=("$(one "$kind" hpa "$HPA" "$WORK/hpa")")
    done
    mine=$(printf '%s\n' "${ours[@]}" | cut -d' ' -f1 | median)
    mineCpu=$(printf '%s\n' "${ours[@]}" | cut -d' ' -f2 | median)
    report "TFTP $kind 30 MiB${CPUS:+ (CPUs $CPUS)}, median of $RUNS" "$SIZE_BYTES" "$mine"
    echo "  server CPU: $mineCpu ms"
    if [[ -n "$HPA" ]]; then
        other=$(printf '%s\n' "${theirs[@]}" | cut -d' ' -f1 | median)
        report "  tftpd-hpa $kind" "$SIZE_BYTES" "$other"
        awk -v a="$mine" -v b="$other" 'BEGIN { printf "  ratio (tallis-serve / tftpd-hpa): %.2f\n", b / a }'
    fi
done
