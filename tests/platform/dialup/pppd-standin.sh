#!/bin/sh
# Stands in for pppd where the kernel has no PPP: takes pppd's options, prints
# the log lines pppd prints for the scenario (PPPD_STANDIN_SCENARIO, else the
# called entry's name), PPPD_STANDIN_PAUSE seconds (0.05) before each, and ends
# with pppd's exit status. An up link stays up PPPD_STANDIN_HOLD seconds (30)
# before the peer ends it; the far end is PPPD_STANDIN_REMOTE (127.0.0.2).
# Like pppd, it refuses options that need privilege from a caller who is not root.
entry=
while [ $# -gt 0 ]; do
    case "$1" in
    call) entry=$2; shift ;;
    linkname)
        if [ "$(id -ru)" != 0 ]; then
            echo "$0: using the linkname option requires root privilege" >&2
            exit 2
        fi
        shift ;;
    esac
    shift
done
pause=${PPPD_STANDIN_PAUSE:-0.05}
hold=${PPPD_STANDIN_HOLD:-30}
up=0
sleeper=

# Waits in the background, so that a signal's trap runs at once.
wait_for() {
    sleep "$1" >/dev/null 2>&1 </dev/null &
    sleeper=$!
    wait "$sleeper"
}
say() { wait_for "$pause"; echo "$1"; }
on_term() {
    [ -n "$sleeper" ] && kill "$sleeper" 2>/dev/null
    echo "Terminating on signal 15"
    [ "$up" = 1 ] && printf '%s\n' "Connect time 0.1 minutes." "Sent 1024 bytes, received 2048 bytes."
    echo "Connection terminated."
    exit 5
}
trap on_term TERM
channel() { say "Using interface ppp0"; say "Connect: ppp0 <--> $1"; }
authenticate() {
    say 'sent [PAP AuthReq id=0x1 user="field" password=<hidden>]'
    say "rcvd [PAP AuthAck id=0x1 \"\"]"
    say "PAP authentication $1"
}
ip_up() {
    say "local  IP address 10.64.64.1"
    say "remote IP address ${PPPD_STANDIN_REMOTE:-127.0.0.2}"
    up=1
}

case "${PPPD_STANDIN_SCENARIO:-$entry}" in
direct-ok)
    channel /dev/ttyS0; ip_up; wait_for "$hold"
    say "LCP terminated by peer"; say "Connect time 0.5 minutes."; say "Connection terminated."
    exit 0 ;;
modem-ok)
    say "Serial connection established."; channel /dev/ttyUSB0; authenticate succeeded; ip_up
    wait_for "$hold"; say "Modem hangup"; say "Connection terminated."
    exit 16 ;;
stubborn) # up, and deaf to SIGTERM: only a kill ends it
    trap '' TERM; channel /dev/ttyS0; ip_up; wait_for "$hold"; exit 0 ;;
stubborn-dial) # dialling, and deaf to SIGTERM
    trap '' TERM; say "Serial connection established."; wait_for "$hold"; exit 10 ;;
dial-hangs) say "Serial connection established."; wait_for "$hold"; exit 10 ;;
no-device) say "Failed to open /dev/ttyS9: No such file or directory"; exit 7 ;;
not-in-group) say "$0: Can't open options file /etc/ppp/peers/$entry: Permission denied" >&2; exit 2 ;;
auth-fails)
    say "Serial connection established."; channel /dev/ttyUSB0; authenticate failed
    say "Connection terminated."
    exit 19 ;;
*) say "$0: Can't open options file /etc/ppp/peers/$entry: No such file or directory" >&2; exit 2 ;;
esac
