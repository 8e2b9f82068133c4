#!/usr/bin/env bash
# A program with file capabilities runs in the loader's secure mode, which
# ignores LD_LIBRARY_PATH and $ORIGIN: the built programs must still find
# libtallis.so and libpelion_messages.so there. Checks that their RUNPATH is
# absolute, then grants a copy of each the capabilities scripts/run.sh grants
# and runs it as an unprivileged user.
# Usage: capabilities_loader.sh TALLIS_SERVE [PELION]
set -euo pipefail
skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }

[[ $(id -u) -eq 0 ]] || skip "granting capabilities needs root"
command -v setcap >/dev/null || skip "setcap is not installed (libcap2-bin)"
user=nobody
id "$user" >/dev/null 2>&1 || skip "no unprivileged user '$user'"
as_user() {
  setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups --inh-caps=-all -- "$@"
}

tallis_serve=$1
pelion=${2:-}

for program in "$@"; do
  runpath=$(readelf -d "$program" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
  [[ -n "$runpath" ]] || fail "$program has no RUNPATH"
  IFS=: read -ra folders <<<"$runpath"
  for folder in "${folders[@]}"; do
    [[ "$folder" == /* ]] || fail "$program: RUNPATH entry '$folder' is not absolute"
  done
  echo "$program: RUNPATH $runpath"
done

# Beside the build, so that the unprivileged user reaches the copies.
work=$(mktemp -d "$(dirname "$tallis_serve")/../caps-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"

cp "$tallis_serve" "$work/plain-tallis-serve"
cp "$tallis_serve" "$work/tallis-serve"
setcap cap_net_bind_service,cap_net_raw+ep "$work/tallis-serve" 2>/dev/null \
  || skip "this file system keeps no capabilities"
getcap "$work/tallis-serve" | grep -q 'cap_net_bind_service,cap_net_raw=ep' \
  || fail "capabilities not set on the copy"

# The sanitizers' leak check cannot inspect a process that capabilities made
# undumpable; leaks are checked everywhere else.
export ASAN_OPTIONS=detect_leaks=0

# Without capabilities the loader shows its auxiliary vector when asked; in
# secure mode it ignores the request. So the second run really is secure.
plain=$(as_user env LD_SHOW_AUXV=1 "$work/plain-tallis-serve" --version 2>&1) \
  || fail "tallis-serve without capabilities did not run: $plain"
[[ "$plain" == *AT_SECURE:* ]] \
  || fail "the loader does not show its auxiliary vector for a plain program"
output=$(as_user env LD_SHOW_AUXV=1 LD_LIBRARY_PATH=/nonexistent "$work/tallis-serve" --version 2>&1) \
  || fail "tallis-serve with capabilities did not run: $output"
[[ "$output" != *AT_SECURE* ]] || fail "tallis-serve with capabilities did not run in secure mode"
[[ "$output" == *"tallis-serve "[0-9]* ]] || fail "unexpected output: $output"
echo "tallis-serve with capabilities found its libraries in secure mode"

if [[ -n "$pelion" ]]; then
  cp "$pelion" "$work/pelion"
  setcap cap_net_bind_service,cap_net_raw+ep "$work/pelion"
  home="$work/home"
  mkdir -p "$home/runtime" "$home/bin" "$home/peers"
  chmod 700 "$home/runtime"
  chown -R "$user" "$home"
  # Nothing names a browser here, so the console refuses to run: a start
  # that got that far found every library.
  status=0
  as_user env -i HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" \
    XDG_CONFIG_DIRS="$home/none" XDG_DATA_DIRS="$home/none" XDG_RUNTIME_DIR="$home/runtime" \
    PATH="$home/bin" QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 \
    PELION_PEERS_FOLDER="$home/peers" PELION_MESSAGE_LOG="$home/messages.log" \
    "$work/pelion" >"$work/pelion.out" 2>&1 || status=$?
  grep -q 'Internet Browser not installed' "$home/messages.log" 2>/dev/null \
    || fail "pelion with capabilities did not start (status $status): $(cat "$work/pelion.out")"
  echo "pelion with capabilities found its libraries and ran its start-up"
fi
