#!/usr/bin/env bash
# The road of one module through the BOOTP server, with the real ports 67/68
# and the limited broadcast, inside two network namespaces:
#   1 an unknown module asks and is recorded, 2 it becomes a "bootp" row,
#   3/4 showing the row registers it, 5 it asks again, is answered by
#   broadcast and its row turns "assigned"; then it serves Modbus/TCP on the
#   address, and "Reset to BOOTP" sends it through BOOTP once more.
# A second module, registered from the start with --assign, is answered at
# its first request. Usage: bootp_road_test.sh PLINTHCTL PLINTH_SIM
set -euo pipefail
PLINTHCTL="$1"
SIM="$2"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/netns_lib.sh"
netns_setup

WORK="$(mktemp -d)"
trap 'netns_cleanup; rm -rf "$WORK"' EXIT
SERVER_OUT="$WORK/server.jsonl"
SIM_OUT="$WORK/sim.txt"

# The configurator: unknown requesters get the test address, as a user
# typing node 50 in the slave dialog would give them.
netns_spawn "$SRV_NS" env VARNEL_TESTIPADDR=10.77.0.50 "$PLINTHCTL" bootp --json \
  --assign 000a1b2c3d02=10.77.0.60 >"$SERVER_OUT" 2>&1
wait_for 5 "$SERVER_OUT" '"event":"serving"' 

netns_spawn "$MOD_NS" "$SIM" --bootp-interface "$MOD_IF" --bootp-interval 300 \
  -m "bootp=1,mac=000a1b2c3d01,id=1217" -m "bootp=1,mac=000a1b2c3d02,id=1217" >"$SIM_OUT" 2>&1

M1='"mac":"000a1b2c3d01"'
wait_for 5 "$SERVER_OUT" '"event":"recorded"' "$M1"                                   # step 1
wait_for 5 "$SERVER_OUT" '"event":"bootp"' "$M1"                                      # step 2
wait_for 5 "$SERVER_OUT" '"event":"registered"' "$M1" '"ip":"10.77.0.50"'             # steps 3, 4
wait_for 5 "$SERVER_OUT" '"event":"reply"' "$M1" '"ip":"10.77.0.50"' "\"interface\":\"$SRV_IF\""  # step 5
wait_for 5 "$SERVER_OUT" '"event":"assigned"' "$M1"
wait_for 5 "$SIM_OUT" "000a1b2c3d01 got 10.77.0.50 by BOOTP"

# The registered module: answered, never recorded as unknown.
wait_for 5 "$SERVER_OUT" '"event":"assigned"' '"mac":"000a1b2c3d02"' '"ip":"10.77.0.60"'
if has_line "$SERVER_OUT" '"event":"recorded"' '"mac":"000a1b2c3d02"'; then
  echo "FAIL: a registered module was recorded as unknown"; exit 1
fi
# One row per module, whatever the number of requests.
rows=$(grep -c '"event":"bootp"' "$SERVER_OUT")
[ "$rows" -eq 1 ] || { echo "FAIL: $rows bootp rows for one unknown module"; cat "$SERVER_OUT"; exit 1; }

# Across the veth from the configurator's side: the module serves Modbus/TCP
# on the address it was given.
ip netns exec "$SRV_NS" "$PLINTHCTL" status 10.77.0.50 | tee "$WORK/status.txt"
grep -q "Module ID: 1217" "$WORK/status.txt"

# Reset to BOOTP: the module asks again and is answered again.
ip netns exec "$SRV_NS" "$PLINTHCTL" reset 10.77.0.50
wait_for 5 "$SIM_OUT" "000a1b2c3d01 back to BOOTP"
got_twice() { [ "$(grep -c '000a1b2c3d01 got 10.77.0.50 by BOOTP' "$SIM_OUT")" -ge 2 ]; }
for ((i = 0; i < 100; i++)); do got_twice && break; sleep 0.05; done
got_twice || { echo "FAIL: no second assignment after Reset to BOOTP"; cat "$SIM_OUT"; exit 1; }
ip netns exec "$SRV_NS" "$PLINTHCTL" status 10.77.0.50 >/dev/null

echo "--- server events"; cat "$SERVER_OUT"
echo "--- simulator"; cat "$SIM_OUT"
echo "PASS: road of one module, steps 1-5, with real ports and broadcast"
