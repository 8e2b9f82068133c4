#!/usr/bin/env bash
# FTP figures over loopback with curl in active mode against tallis-serve (or
# a vsftpd started here for comparison):
#
#   bench/ftp_throughput.sh [--server tallis|vsftpd] [MODE...]
#
# MODE, any of (default: retr stor):
#   retr        one 256 MiB retrieve, MB/s (10^6 bytes per second)
#   retr-null   the same, the client throwing the bytes away instead of
#               writing a file (the size is still checked): the server's share
#   stor        one 256 MiB store, MB/s
#   concurrent  50 retrieves of 16 MiB at once, total MB/s
#   sessions    100 sequential sessions of one 4 KiB retrieve, ms per session
#
# For tallis-serve each line also gives the server's processor time for the
# work (user and system), a figure that other load on the machine disturbs
# less than the elapsed time. (vsftpd's session processes are not all reaped
# by the process started here, so its time is not shown.)
#
# Build steps: see bench/serve_host.sh. vsftpd runs from a configuration in a
# temporary folder, anonymous, on a loopback port (as root: it drops to its
# own user). All traffic stays on 127.0.0.1; servers are stopped by their PID.
set -euo pipefail
source "$(dirname "$0")/serve_host.sh"

SERVER=tallis
MODES=()
while [[ $# -gt 0 ]]; do
    case $1 in
        --server) SERVER=$2; shift 2 ;;
        retr | retr-null | stor | concurrent | sessions) MODES+=("$1"); shift ;;
        *) sed -n '2,24s/^# \{0,1\}//p' "$0" >&2; exit 2 ;;
    esac
done
[[ ${#MODES[@]} -gt 0 ]] || MODES=(retr stor)
[[ $SERVER == tallis || $SERVER == vsftpd ]] || { echo "--server: tallis or vsftpd" >&2; exit 2; }

MIB=$((1024 * 1024))
BIG_MIB=256
EACH_MIB=16
CONCURRENT=50
SESSIONS=100
SMALL_BYTES=4096
TRANSFER_TIMEOUT_S=300
VSFTPD_PID=""

WORK=$(mktemp -d)
stop_vsftpd() {
    if [[ -n "$VSFTPD_PID" ]] && kill -0 "$VSFTPD_PID" 2>/dev/null; then
        kill -TERM "$VSFTPD_PID"
        wait "$VSFTPD_PID" || true
    fi
}
trap 'stop_host; stop_vsftpd; rm -rf "$WORK"' EXIT
mkdir -m 755 "$WORK/served" "$WORK/local" "$WORK/empty"
mkdir "$WORK/served/incoming"
head -c $((BIG_MIB * MIB)) /dev/urandom >"$WORK/served/down.bin"
head -c $((EACH_MIB * MIB)) /dev/urandom >"$WORK/served/each.bin"
head -c "$SMALL_BYTES" /dev/urandom >"$WORK/served/small.bin"
chmod 644 "$WORK"/served/*.bin

# A free loopback port for vsftpd: bound by the system, then let go.
free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

start_vsftpd() {
    local tries=0
    PORT=$(free_port)
    chown ftp "$WORK/served/incoming"
    cat >"$WORK/vsftpd.conf" <<EOF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$PORT
background=NO
anonymous_enable=YES
no_anon_password=YES
anon_root=$WORK/served
local_enable=NO
write_enable=YES
anon_upload_enable=YES
connect_from_port_20=NO
pasv_enable=NO
xferlog_enable=NO
seccomp_sandbox=NO
secure_chroot_dir=$WORK/empty
max_clients=500
max_per_ip=500
EOF
    /usr/sbin/vsftpd "$WORK/vsftpd.conf" >"$WORK/vsftpd.log" 2>&1 &
    VSFTPD_PID=$!
    until curl -s -o /dev/null --max-time 1 "ftp://127.0.0.1:$PORT/small.bin" -P 127.0.0.1; do
        tries=$((tries + 1))
        ((tries < BENCH_START_TIMEOUT_TENTHS)) && kill -0 "$VSFTPD_PID" 2>/dev/null ||
            { cat "$WORK/vsftpd.log" >&2; exit 1; }
        sleep 0.1
    done
}

if [[ $SERVER == vsftpd ]]; then
    start_vsftpd
    UPLOAD=incoming/up.bin
else
    start_host "$WORK/served" FTP "$WORK/host.log"
    PORT=$BENCH_PORT
    UPLOAD=up.bin
fi
URL="ftp://127.0.0.1:$PORT"
CURL=(curl -sS -P 127.0.0.1 --max-time "$TRANSFER_TIMEOUT_S")

now() { date +%s.%N; }

# Processor seconds of tallis-serve so far; 0 for vsftpd.
server_cpu() {
    [[ -n "$BENCH_HOST_PID" ]] || { echo 0; return; }
    awk -v hz="$(getconf CLK_TCK)" '{ print ($14 + $15) / hz }' "/proc/$BENCH_HOST_PID/stat"
}

# cpu_note START: " [server CPU <s> s]" since START, for tallis-serve.
cpu_note() {
    [[ -n "$BENCH_HOST_PID" ]] || return 0
    awk -v a="$1" -v b="$(server_cpu)" 'BEGIN { printf " [server CPU %.2f s]", b - a }'
}

for mode in "${MODES[@]}"; do
    CPU_START=$(server_cpu)
    case $mode in
    retr)
        read -r BYTES SECONDS_TAKEN < <("${CURL[@]}" -o "$WORK/local/down.bin" \
            -w '%{size_download} %{time_total}\n' "$URL/down.bin")
        cmp -s "$WORK/served/down.bin" "$WORK/local/down.bin" || { echo "retrieved file differs" >&2; exit 1; }
        rm -f "$WORK/local/down.bin"
        echo "$(report "$SERVER FTP retrieve $BIG_MIB MiB" "$BYTES" "$SECONDS_TAKEN")$(cpu_note "$CPU_START")"
        ;;
    retr-null)
        read -r BYTES SECONDS_TAKEN < <("${CURL[@]}" -o /dev/null \
            -w '%{size_download} %{time_total}\n' "$URL/down.bin")
        [[ $BYTES -eq $((BIG_MIB * MIB)) ]] || { echo "retrieved $BYTES bytes" >&2; exit 1; }
        echo "$(report "$SERVER FTP retrieve $BIG_MIB MiB, discarded" "$BYTES" "$SECONDS_TAKEN")$(cpu_note "$CPU_START")"
        ;;
    stor)
        cp "$WORK/served/down.bin" "$WORK/local/up.bin"
        read -r BYTES SECONDS_TAKEN < <("${CURL[@]}" -T "$WORK/local/up.bin" \
            -w '%{size_upload} %{time_total}\n' "$URL/$UPLOAD")
        cmp -s "$WORK/local/up.bin" "$WORK/served/$UPLOAD" || { echo "stored file differs" >&2; exit 1; }
        rm -f "$WORK/local/up.bin" "$WORK/served/$UPLOAD"
        echo "$(report "$SERVER FTP store $BIG_MIB MiB" "$BYTES" "$SECONDS_TAKEN")$(cpu_note "$CPU_START")"
        ;;
    concurrent)
        PIDS=()
        START=$(now)
        for ((i = 0; i < CONCURRENT; i++)); do
            "${CURL[@]}" -o "$WORK/local/each$i.bin" "$URL/each.bin" &
            PIDS+=($!)
        done
        for pid in "${PIDS[@]}"; do wait "$pid"; done
        END=$(now)
        for ((i = 0; i < CONCURRENT; i++)); do
            cmp -s "$WORK/served/each.bin" "$WORK/local/each$i.bin" || { echo "retrieve $i differs" >&2; exit 1; }
        done
        rm -f "$WORK"/local/each*.bin
        echo "$(report "$SERVER FTP $CONCURRENT concurrent x $EACH_MIB MiB retrieve" \
            $((CONCURRENT * EACH_MIB * MIB)) "$(awk -v a="$START" -v b="$END" 'BEGIN { print b - a }')")$(cpu_note "$CPU_START")"
        ;;
    sessions)
        START=$(now)
        for ((i = 0; i < SESSIONS; i++)); do
            "${CURL[@]}" -o "$WORK/local/small.bin" "$URL/small.bin"
        done
        END=$(now)
        cmp -s "$WORK/served/small.bin" "$WORK/local/small.bin" || { echo "small file differs" >&2; exit 1; }
        awk -v w="$SERVER FTP $SESSIONS sequential sessions x 4 KiB" -v n="$SESSIONS" \
            -v a="$START" -v b="$END" 'BEGIN { printf "%s: %.1f ms per session", w, (b - a) * 1000 / n }'
        cpu_note "$CPU_START"
        echo
        ;;
    esac
done
