#!/usr/bin/env bash
# The file server beside common servers, run by run on loopback: vsftpd for
# FTP (active mode, the same curl client; passive mode against this server's
# --extended), tftpd-hpa and atftpd for TFTP (the tftp-hpa client at 512-byte
# blocks, the atftp client for the option rows).
# Prints the median of each row for both sides and their ratio.
#
#   bench/compare.sh [--reps N] [--one-cpu [--cpu N]] [--rows LIST]
#
# --reps N     runs of each row and side (default 5), alternating the side
#              that goes first
# --one-cpu    pins every server and client to one CPU (taskset)
# --rows LIST  comma-separated subset of: retr,pasv,concurrent,sessions,stor,
#              tget,tput,blk8192,blk65464,window16
#
# Installs vsftpd and tftpd-hpa with apt-get; atftpd conflicts with
# tftpd-hpa, so its package is only downloaded and unpacked here. No system
# service is started: each daemon runs from a configuration in a temporary
# folder on a free loopback port and is stopped by its PID. Wants a build
# without the sanitizers (see bench/serve_host.sh). Runs as root: vsftpd and
# the TFTP daemons drop to their own users.
#
# An option row of this server shows "n/a" unless the transfer is answered
# with an OACK (checked on a small file with atftp --trace first).
set -euo pipefail
source "$(dirname "$0")/serve_host.sh"

REPS=5
PIN=()
CPU=0
ROWS=retr,pasv,concurrent,sessions,stor,tget,tput,blk8192,blk65464,window16
while [[ $# -gt 0 ]]; do
    case $1 in
        --reps) REPS=$2; shift 2 ;;
        --one-cpu) PIN=(taskset -c "$CPU"); shift ;;
        --cpu) CPU=$2; [[ ${#PIN[@]} -gt 0 ]] && PIN=(taskset -c "$CPU"); shift 2 ;;
        --rows) ROWS=$2; shift 2 ;;
        *) sed -n '2,24s/^# \{0,1\}//p' "$0" >&2; exit 2 ;;
    esac
done
[[ "$REPS" =~ ^[1-9][0-9]?$ ]] || { echo "--reps takes 1 to 99" >&2; exit 2; }
[[ $(id -u) -eq 0 ]] || { echo "run as root (the daemons drop to their own users)" >&2; exit 2; }

MIB=$((1024 * 1024))
BIG_BYTES=$((256 * MIB))
EACH_BYTES=$((16 * MIB))
CONCURRENT=50
SESSIONS=100
SMALL_BYTES=4096
TFTP_BYTES=$((30 * MIB))
PROBE_BYTES=3000
TRANSFER_TIMEOUT_S=300
# The whole comparison stops after this, whatever the repetition count.
DEADLINE_S=${COMPARE_DEADLINE_S:-5400}
START_TIMEOUT_TENTHS=100

install_servers() {
    local missing=() p
    for p in vsftpd tftpd-hpa tftp-hpa atftp curl; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if [[ ${#missing[@]} -gt 0 ]]; then
        # policy-rc.d answering 101 keeps the packages from starting their services.
        local policy=/usr/sbin/policy-rc.d placed=""
        if [[ ! -e $policy ]]; then
            printf '#!/bin/sh\nexit 101\n' >"$policy" && chmod +x "$policy" && placed=1
        fi
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
            -o DPkg::Lock::Timeout=600 "${missing[@]}" >"$WORK/apt.log" 2>&1 ||
            { cat "$WORK/apt.log" >&2; [[ -n $placed ]] && rm -f "$policy"; return 1; }
        [[ -n $placed ]] && rm -f "$policy"
    fi
    (cd "$WORK" && apt-get download -o DPkg::Lock::Timeout=600 atftpd >"$WORK/apt.log" 2>&1) ||
        { cat "$WORK/apt.log" >&2; return 1; }
    dpkg-deb -x "$WORK"/atftpd_*.deb "$WORK/atftpd-pkg"
    ATFTPD=$WORK/atftpd-pkg/usr/sbin/atftpd
}

free_port() {
    python3 -c 'import socket,sys
s = socket.socket(socket.AF_INET, getattr(socket, "SOCK_" + sys.argv[1]))
s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])' "$1"
}

# wait_listening PID PROTO PORT: until something listens there, or fails.
wait_listening() {
    local pid=$1 proto=$2 port=$3 tries=0 flag=-tln
    [[ $proto == udp ]] && flag=-uln
    until ss -H "$flag" "sport = :$port" | grep -q .; do
        tries=$((tries + 1))
        if ((tries > START_TIMEOUT_TENTHS)) || ! kill -0 "$pid" 2>/dev/null; then
            echo "a daemon did not come up on $proto port $port" >&2
            return 1
        fi
        sleep 0.1
    done
}

PIDS=()
stop_all() {
    local pid
    for pid in "${PIDS[@]}"; do
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    PIDS=()
}

# Four served folders with the same files (hard links), each with a
# folder "incoming" where stores and puts land.
prepare_files() {
    mkdir -p "$WORK/files" "$WORK/client"
    head -c "$BIG_BYTES" /dev/urandom >"$WORK/files/big.bin"
    head -c "$EACH_BYTES" /dev/urandom >"$WORK/files/each.bin"
    head -c "$SMALL_BYTES" /dev/urandom >"$WORK/files/small.bin"
    head -c "$TFTP_BYTES" /dev/urandom >"$WORK/files/t30.bin"
    head -c "$PROBE_BYTES" /dev/urandom >"$WORK/files/probe.bin"
    chmod 644 "$WORK"/files/*
    local side
    for side in ours vsftpd hpa atftpd; do
        mkdir -p "$WORK/$side/incoming"
        ln "$WORK"/files/*.bin "$WORK/$side/"
    done
    # vsftpd refuses an anonymous root its user can write to.
    chmod 755 "$WORK/vsftpd"
    chown ftp "$WORK/vsftpd/incoming"
    chmod 777 "$WORK/hpa" "$WORK/hpa/incoming" "$WORK/atftpd" "$WORK/atftpd/incoming"
    mkdir -m 755 "$WORK/vsftpd-empty"
}

# start_ours NAME [OPTION...]: this server on $WORK/ours, logging to
# $WORK/NAME.log; sets OURS_FTP and OURS_TFTP to its ports.
start_ours() {
    local log=$WORK/$1.log tries=0
    shift
    "${PIN[@]}" "$BENCH_HOST" --root "$WORK/ours" --ftp-port 0 --ftp-data-port 0 \
        --tftp-port 0 --no-tray "$@" >"$log" 2>&1 &
    PIDS+=($!)
    while true; do
        OURS_FTP=$(sed -n 's/^FTP listening on port \([0-9]*\)$/\1/p' "$log")
        OURS_TFTP=$(sed -n 's/^TFTP listening on port \([0-9]*\)$/\1/p' "$log")
        [[ -n $OURS_FTP && -n $OURS_TFTP ]] && return 0
        tries=$((tries + 1))
        if ((tries > START_TIMEOUT_TENTHS)) || ! kill -0 "${PIDS[-1]}" 2>/dev/null; then
            echo "tallis-serve did not come up:" >&2
            cat "$log" >&2
            return 1
        fi
        sleep 0.1
    done
}

start_vsftpd() {
    VSFTPD_PORT=$(free_port STREAM)
    cat >"$WORK/vsftpd.conf" <<EOF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$VSFTPD_PORT
background=NO
anonymous_enable=YES
no_anon_password=YES
anon_root=$WORK/vsftpd
local_enable=NO
write_enable=YES
anon_upload_enable=YES
anon_umask=022
connect_from_port_20=NO
port_enable=YES
pasv_enable=YES
pasv_address=127.0.0.1
xferlog_enable=NO
dirmessage_enable=NO
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
tcp_wrappers=NO
secure_chroot_dir=$WORK/vsftpd-empty
max_clients=500
max_per_ip=500
EOF
    "${PIN[@]}" /usr/sbin/vsftpd "$WORK/vsftpd.conf" >"$WORK/vsftpd.log" 2>&1 &
    PIDS+=($!)
    wait_listening "${PIDS[-1]}" tcp "$VSFTPD_PORT"
}

start_tftpd_hpa() {
    HPA_PORT=$(free_port DGRAM)
    "${PIN[@]}" /usr/sbin/in.tftpd --foreground --listen --address "127.0.0.1:$HPA_PORT" \
        --create --secure --user nobody "$WORK/hpa" >"$WORK/hpa.log" 2>&1 &
    PIDS+=($!)
    wait_listening "${PIDS[-1]}" udp "$HPA_PORT"
}

start_atftpd() {
    ATFTPD_PORT=$(free_port DGRAM)
    "${PIN[@]}" "$ATFTPD" --daemon --no-fork --port "$ATFTPD_PORT" --bind-address 127.0.0.1 \
        --user nobody.nogroup --logfile /dev/null "$WORK/atftpd" >"$WORK/atftpd.log" 2>&1 &
    PIDS+=($!)
    wait_listening "${PIDS[-1]}" udp "$ATFTPD_PORT"
}

mbps() { awk -v b="$1" -v s="$2" 'BEGIN { if (s > 0) printf "%.1f", b / 1e6 / s }'; }
now() { date +%s.%N; }
since() { awk -v s="$1" -v e="$(now)" 'BEGIN { print e - s }'; }

# curl's own choice of data connection is passive (EPSV); -P makes it active.
CURL_PASSIVE=(curl -sS --max-time "$TRANSFER_TIMEOUT_S")
CURL=("${CURL_PASSIVE[@]}" -P 127.0.0.1)

# Each measure prints one figure, or fails.

# retrieve_big PORT CURL...: the 256 MiB file with that curl command.
retrieve_big() {
    local port=$1 bytes seconds
    shift
    read -r bytes seconds < <("${PIN[@]}" "$@" -o /dev/null \
        -w '%{size_download} %{time_total}\n' "ftp://127.0.0.1:$port/big.bin")
    [[ $bytes -eq $BIG_BYTES ]] && mbps "$bytes" "$seconds"
}

measure_retr() { retrieve_big "$1" "${CURL[@]}"; }
measure_retr_passive() { retrieve_big "$1" "${CURL_PASSIVE[@]}"; }

measure_concurrent() {
    local started pids=() i pid ok=1
    started=$(now)
    for ((i = 0; i < CONCURRENT; i++)); do
        "${PIN[@]}" "${CURL[@]}" -o /dev/null -w '%{size_download}\n' \
            "ftp://127.0.0.1:$1/each.bin" >"$WORK/client/c$i" &
        pids+=($!)
    done
    for pid in "${pids[@]}"; do wait "$pid" || ok=0; done
    local seconds
    seconds=$(since "$started")
    for ((i = 0; i < CONCURRENT; i++)); do
        [[ $(cat "$WORK/client/c$i") -eq $EACH_BYTES ]] || ok=0
    done
    ((ok)) && mbps $((CONCURRENT * EACH_BYTES)) "$seconds"
}

# Milliseconds per session: each a whole login, retrieve and quit, timed by curl.
measure_sessions() {
    local i bytes seconds total=0
    for ((i = 0; i < SESSIONS; i++)); do
        read -r bytes seconds < <("${PIN[@]}" "${CURL[@]}" -o /dev/null \
            -w '%{size_download} %{time_total}\n' "ftp://127.0.0.1:$1/small.bin")
        [[ $bytes -eq $SMALL_BYTES ]] || return 1
        total=$(awk -v t="$total" -v s="$seconds" 'BEGIN { print t + s }')
    done
    awk -v t="$total" -v n="$SESSIONS" 'BEGIN { printf "%.2f", t * 1000 / n }'
}

measure_stor() {
    local root=$2 bytes seconds name=up-$RANDOM.bin
    read -r bytes seconds < <("${PIN[@]}" "${CURL[@]}" -T "$WORK/files/big.bin" \
        -w '%{size_upload} %{time_total}\n' "ftp://127.0.0.1:$1/incoming/$name")
    local stored
    stored=$(stat -c %s "$root/incoming/$name" 2>/dev/null || echo 0)
    rm -f "$root/incoming/$name"
    [[ $bytes -eq $BIG_BYTES && $stored -eq $BIG_BYTES ]] && mbps "$bytes" "$seconds"
}

measure_tget() {
    local started seconds out=$WORK/client/got.bin
    rm -f "$out"
    started=$(now)
    timeout "$TRANSFER_TIMEOUT_S" "${PIN[@]}" tftp 127.0.0.1 "$1" -m binary -c get t30.bin "$out"
    seconds=$(since "$started")
    cmp -s "$WORK/files/t30.bin" "$out" && mbps "$TFTP_BYTES" "$seconds"
}

measure_tput() {
    local root=$2 started seconds name=incoming/put-$RANDOM.bin ok=0
    started=$(now)
    timeout "$TRANSFER_TIMEOUT_S" "${PIN[@]}" tftp 127.0.0.1 "$1" -m binary \
        -c put "$WORK/files/t30.bin" "$name"
    seconds=$(since "$started")
    cmp -s "$WORK/files/t30.bin" "$root/$name" && ok=1
    rm -f "$root/$name"
    ((ok)) && mbps "$TFTP_BYTES" "$seconds"
}

# measure_atftp PORT ROOT "OPTION VALUE"...: a get of the 30 MiB file.
measure_atftp() {
    local port=$1 started seconds out=$WORK/client/got.bin opts=() o
    shift 2
    for o in "$@"; do opts+=(--option "$o"); done
    rm -f "$out"
    started=$(now)
    timeout "$TRANSFER_TIMEOUT_S" "${PIN[@]}" atftp "${opts[@]}" -g -r t30.bin -l "$out" \
        127.0.0.1 "$port" >/dev/null 2>"$WORK/atftp.log"
    seconds=$(since "$started")
    cmp -s "$WORK/files/t30.bin" "$out" && mbps "$TFTP_BYTES" "$seconds"
}

# accepts_options PORT "OPTION VALUE"...: a small get answered with an OACK.
accepts_options() {
    local port=$1 out=$WORK/client/probe.bin opts=() o trace
    shift
    for o in "$@"; do opts+=(--option "$o"); done
    rm -f "$out"
    trace=$(timeout 30 atftp --trace "${opts[@]}" -g -r probe.bin -l "$out" 127.0.0.1 "$port" 2>&1) ||
        return 1
    grep -q '^received OACK' <<<"$trace" && cmp -s "$WORK/files/probe.bin" "$out"
}

median() {
    [[ $# -gt 0 ]] || { echo "n/a"; return; }
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
        if (NR % 2) print v[(NR + 1) / 2]; else printf "%.2f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# The rows: id | label | unit | measure | our port variable | their name | their port variable |
# their root | options
ROW_TABLE=(
    "retr|FTP RETR 256 MiB|MB/s|measure_retr|OURS_FTP|vsftpd|VSFTPD_PORT|vsftpd|"
    "pasv|FTP RETR 256 MiB, passive (EPSV)|MB/s|measure_retr_passive|OURS_EXTENDED_FTP|vsftpd|VSFTPD_PORT|vsftpd|"
    "concurrent|FTP $CONCURRENT concurrent x 16 MiB RETR|MB/s total|measure_concurrent|OURS_FTP|vsftpd|VSFTPD_PORT|vsftpd|"
    "sessions|FTP $SESSIONS sequential sessions x 4 KiB|ms/session|measure_sessions|OURS_FTP|vsftpd|VSFTPD_PORT|vsftpd|"
    "stor|FTP STOR 256 MiB|MB/s|measure_stor|OURS_FTP|vsftpd|VSFTPD_PORT|vsftpd|"
    "tget|TFTP GET 30 MiB, 512-byte blocks|MB/s|measure_tget|OURS_TFTP|tftpd-hpa|HPA_PORT|hpa|"
    "tput|TFTP PUT 30 MiB, 512-byte blocks|MB/s|measure_tput|OURS_TFTP|tftpd-hpa|HPA_PORT|hpa|"
    "blk8192|TFTP GET 30 MiB, blksize 8192|MB/s|measure_atftp|OURS_TFTP|tftpd-hpa|HPA_PORT|hpa|blksize 8192"
    "blk8192|TFTP GET 30 MiB, blksize 8192|MB/s|measure_atftp|OURS_TFTP|atftpd|ATFTPD_PORT|atftpd|blksize 8192"
    "blk65464|TFTP GET 30 MiB, blksize 65464|MB/s|measure_atftp|OURS_TFTP|tftpd-hpa|HPA_PORT|hpa|blksize 65464"
    "blk65464|TFTP GET 30 MiB, blksize 65464|MB/s|measure_atftp|OURS_TFTP|atftpd|ATFTPD_PORT|atftpd|blksize 65464"
    "window16|TFTP GET 30 MiB, windowsize 16 at 512|MB/s|measure_atftp|OURS_TFTP|atftpd|ATFTPD_PORT|atftpd|windowsize 16"
)

WORK=$(mktemp -d)
chmod 755 "$WORK"
trap 'stop_all; rm -rf "$WORK"' EXIT
[[ -x "$BENCH_HOST" ]] || { echo "no host program at $BENCH_HOST (see bench/serve_host.sh)" >&2; exit 2; }
install_servers
prepare_files
start_ours ours-extended --extended
OURS_EXTENDED_FTP=$OURS_FTP
start_ours ours
start_vsftpd
start_tftpd_hpa
start_atftpd

selected=()
ours_supports=()
for row in "${ROW_TABLE[@]}"; do
    IFS='|' read -r id _ _ _ _ _ _ _ option <<<"$row"
    [[ ",$ROWS," == *",$id,"* ]] || continue
    selected+=("$row")
    if [[ -z $option ]] || accepts_options "$OURS_TFTP" "$option"; then
        ours_supports+=(1)
    else
        ours_supports+=(0)
    fi
done

declare -A OURS THEIRS
began=$SECONDS
for ((rep = 1; rep <= REPS; rep++)); do
    for i in "${!selected[@]}"; do
        IFS='|' read -r id label unit fn our_port_var their port_var root option <<<"${selected[$i]}"
        ((SECONDS - began < DEADLINE_S)) || { echo "deadline reached after run $((rep - 1))" >&2; break 2; }
        sides=(ours theirs)
        ((rep % 2 == 0)) && sides=(theirs ours)
        for side in "${sides[@]}"; do
            if [[ $side == ours ]]; then
                ((ours_supports[i])) || continue
                port=${!our_port_var}
                dir=$WORK/ours
            else
                port=${!port_var}
                dir=$WORK/$root
            fi
            if figure=$("$fn" "$port" "$dir" ${option:+"$option"}) && [[ -n $figure ]]; then
                [[ $side == ours ]] && OURS[$i]+="$figure " || THEIRS[$i]+="$figure "
            else
                echo "run $rep of \"$label\" against $([[ $side == ours ]] && echo this server || echo "$their") failed" >&2
            fi
        done
    done
done

printf '\nMedians of %d alternating runs%s, loopback 127.0.0.1\n\n' "$REPS" \
    "$([[ ${#PIN[@]} -gt 0 ]] && echo ", server and client pinned to CPU $CPU")"
printf '| work | this server | comparison | ratio |\n|---|---|---|---|\n'
for i in "${!selected[@]}"; do
    IFS='|' read -r id label unit fn _ their _ _ option <<<"${selected[$i]}"
    # shellcheck disable=SC2086
    ours=$(median ${OURS[$i]:-})
    # shellcheck disable=SC2086
    theirs=$(median ${THEIRS[$i]:-})
    ratio=$(awk -v o="$ours" -v t="$theirs" -v u="$unit" 'BEGIN {
        if (o == "n/a" || t == "n/a" || t == 0) { print "n/a"; exit }
        if (u == "ms/session") printf "%.2fx the time", o / t; else printf "%.3f", o / t }')
    [[ $ours == n/a ]] || ours+=" $unit"
    [[ $theirs == n/a ]] || theirs+=" $unit"
    printf '| %s | %s | %s (%s) | %s |\n' "$label" "$ours" "$theirs" "$their" "$ratio"
done
