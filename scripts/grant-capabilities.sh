#!/usr/bin/env bash
# Grants programs the two capabilities the file server and the route test
# need, so that a desktop user runs them without root:
#   cap_net_bind_service  FTP on port 21 (data from 20) and TFTP on port 69
#   cap_net_raw           the ICMP echo of the route test
# Uses sudo only for setcap, and only when a program lacks them. Exits with
# status 3 when the capabilities cannot be granted (no sudo, or a file
# system without extended attributes); the README says what to do then.
# Usage: grant-capabilities.sh PROGRAM...
set -euo pipefail
caps="cap_net_bind_service,cap_net_raw+ep"

sudo_cmd=()
[[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)

status=0
for program in "$@"; do
  # A rebuilt program has lost its capabilities; one that has them is left alone.
  if getcap "$program" | grep -q 'cap_net_bind_service,cap_net_raw=ep'; then
    continue
  fi
  if ! "${sudo_cmd[@]}" setcap "$caps" "$program"; then
    echo "Could not grant $caps to $program." >&2
    status=3
  fi
done
exit $status
