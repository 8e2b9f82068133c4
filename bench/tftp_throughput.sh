#!/usr/bin/env bash
# TFTP throughput over loopback: get and put of one file against tallis-serve,
# and, when asked, against other TFTP servers run here on loopback ports,
# alternating run by run. Prints each run and the medians in MB/s (10^6
# bytes per second), with each other server's ratio to this one.
#
#   bench/tftp_throughput.sh [BLKSIZE [WINDOWSIZE]]
#
# Without arguments the tftp-hpa client runs without options. With a block
# size (and a window) the atftp client asks for them, or curl (block size
# only) when CLIENT=curl. Environment:
#   SIZE_MIB   file size (default 30; at most 65534 blocks, since the clients
#              expect block 0 after 65535 and this server sends 1)
#   RUNS       runs per server (default 1)
#   TFTPD_HPA  path of an in.tftpd to compare with
#   ATFTPD     path of an atftpd to compare with
#   PIN_CPU    a CPU number: servers and clients all run on that one CPU
# The other servers need not be installed: their packages unpacked anywhere
# will do, for example
#   apt-get download tftpd-hpa atftpd && dpkg -x tftpd-hpa_*.deb x && dpkg -x atftpd_*.deb x
#   TFTPD_HPA=x/usr/sbin/in.tftpd ATFTPD=x/usr/sbin/atftpd bench/tftp_throughput.sh 8192
# Build steps: see bench/serve_host.sh.
set -euo pipefail
source "$(dirname "$0")/serve_host.sh"

BLKSIZE=${1:-0}
WINDOWSIZE=${2:-0}
SIZE_MIB=${SIZE_MIB:-30}
RUNS=${RUNS:-1}
CLIENT=${CLIENT:-$( ((BLKSIZE > 0 || WINDOWSIZE > 0)) && echo atftp || echo tftp-hpa)}
SIZE_BYTES=$((SIZE_MIB * 1024 * 1024))
CLIENT_TIMEOUT_S=300
START_TRIES=100
PIN=()
[[ -n "${PIN_CPU:-}" ]] && PIN=(taskset -c "$PIN_CPU")

if ((SIZE_BYTES / (BLKSIZE > 0 ? BLKSIZE : 512) >= 65535)); then
    echo "$SIZE_MIB MiB is 65535 blocks or more at this block size" >&2
    exit 2
fi

WORK=$(mktemp -d)
OTHER_PIDS=()
cleanup() {
    stop_host
    for pid in "${OTHER_PIDS[@]}"; do
        kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
    done
    rm -rf "$WORK"
}
trap cleanup EXIT

free_udp_port() {
    python3 -c 'import socket; s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# wait_bound PORT PID: waits until something listens on UDP PORT.
wait_bound() {
    local tries=0
    while python3 -c "import socket,sys; socket.socket(socket.AF_INET, socket.SOCK_DGRAM).bind(('127.0.0.1', $1))" 2>/dev/null; do
        tries=$((tries + 1))
        if ((tries > START_TRIES)) || ! kill -0 "$2" 2>/dev/null; then
            echo "server on port $1 did not come up" >&2
            return 1
        fi
        sleep 0.1
    done
}

# Each server serves a folder of its own; the file to get is in each.
declare -A PORTS
SERVERS=(this)
head -c "$SIZE_BYTES" /dev/urandom >"$WORK/big.bin"
mkdir "$WORK/client"
cp "$WORK/big.bin" "$WORK/client/upload.bin"
for server in this tftpd-hpa atftpd; do
    mkdir -m 777 "$WORK/$server"
    cp "$WORK/big.bin" "$WORK/$server/big.bin"
done

start_host "$WORK/this" TFTP "$WORK/host.log"
[[ -n "${PIN_CPU:-}" ]] && taskset -apc "$PIN_CPU" "$BENCH_HOST_PID" >/dev/null
PORTS[this]=$BENCH_PORT
if [[ -n "${TFTPD_HPA:-}" ]]; then
    port=$(free_udp_port)
    "${PIN[@]}" "$TFTPD_HPA" -L -a "127.0.0.1:$port" -s -c -u "$(id -un)" "$WORK/tftpd-hpa" &
    OTHER_PIDS+=($!)
    wait_bound "$port" $!
    PORTS[tftpd-hpa]=$port
    SERVERS+=(tftpd-hpa)
fi
if [[ -n "${ATFTPD:-}" ]]; then
    port=$(free_udp_port)
    "${PIN[@]}" "$ATFTPD" --daemon --no-fork --port "$port" --bind-address 127.0.0.1 \
        --user "$(id -un)" --group "$(id -gn)" --logfile /dev/null "$WORK/atftpd" &
    OTHER_PIDS+=($!)
    wait_bound "$port" $!
    PORTS[atftpd]=$port
    SERVERS+=(atftpd)
fi

# client_command get|put PORT LOCAL REMOTE: the client's command line.
client_command() {
    local direction=$1 port=$2 local=$3 remote=$4 options=()
    case $CLIENT in
    tftp-hpa)
        echo tftp 127.0.0.1 "$port" -m binary -c "$direction" \
            "$([[ $direction == get ]] && echo "$remote $local" || echo "$local $remote")"
        ;;
    atftp)
        ((BLKSIZE > 0)) && options+=(--option "'blksize $BLKSIZE'")
        ((WINDOWSIZE > 0)) && options+=(--option "'windowsize $WINDOWSIZE'")
        echo atftp "${options[@]}" "--$direction" -r "$remote" -l "$local" 127.0.0.1 "$port"
        ;;
    curl)
        ((BLKSIZE > 0)) && options+=(--tftp-blksize "$BLKSIZE")
        if [[ $direction == get ]]; then
            echo curl -sS "${options[@]}" -o "$local" "tftp://127.0.0.1:$port/$remote"
        else
            echo curl -sS "${options[@]}" -T "$local" "tftp://127.0.0.1:$port/$remote"
        fi
        ;;
    *) echo "unknown client $CLIENT" >&2; return 2 ;;
    esac
}

# timed SERVER DIRECTION: one transfer, checked, and its figure appended to
# the server's list.
timed() {
    local server=$1 direction=$2 started ended seconds command
    rm -f "$WORK/client/fetched.bin" "$WORK/$server/stored.bin"
    if [[ $direction == get ]]; then
        command=$(client_command get "${PORTS[$server]}" fetched.bin big.bin)
    else
        command=$(client_command put "${PORTS[$server]}" upload.bin stored.bin)
    fi
    started=$(date +%s.%N)
    (cd "$WORK/client" && eval timeout "$CLIENT_TIMEOUT_S" "${PIN[*]}" "$command" >"$WORK/client.log" 2>&1) ||
        { cat "$WORK/client.log" >&2; exit 1; }
    ended=$(date +%s.%N)
    if [[ $direction == get ]]; then
        cmp -s "$WORK/big.bin" "$WORK/client/fetched.bin" || { echo "$server get: file differs" >&2; exit 1; }
    else
        cmp -s "$WORK/big.bin" "$WORK/$server/stored.bin" || { echo "$server put: file differs" >&2; exit 1; }
    fi
    seconds=$(awk -v s="$started" -v e="$ended" 'BEGIN { print e - s }')
    report "$server $direction" "$SIZE_BYTES" "$seconds"
    awk -v b="$SIZE_BYTES" -v s="$seconds" 'BEGIN { printf "%.1f\n", b / 1e6 / s }' \
        >>"$WORK/$server-$direction.figures"
}

echo "TFTP $SIZE_MIB MiB, client $CLIENT, blksize ${BLKSIZE/#0/none}, windowsize ${WINDOWSIZE/#0/none}${PIN_CPU:+, on CPU $PIN_CPU}"
for ((run = 1; run <= RUNS; run++)); do
    for server in "${SERVERS[@]}"; do
        timed "$server" get
        timed "$server" put
    done
done

median() {
    sort -g "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
echo "medians of $RUNS run(s), MB/s (ratio: this server / that one):"
for direction in get put; do
    ours=$(median "$WORK/this-$direction.figures")
    line="  $direction: this $ours"
    for server in "${SERVERS[@]:1}"; do
        theirs=$(median "$WORK/$server-$direction.figures")
        line+=$(awk -v n="$server" -v o="$ours" -v t="$theirs" 'BEGIN { printf ", %s %s (%.2f)", n, t, o / t }')
    done
    echo "$line"
done
