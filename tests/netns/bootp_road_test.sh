#!/usr/bin/env bash
# The road of one module through the BOOTP server, real ports 67/68 and the limited broadcast, in two network
# namespaces: 1 an unknown module asks and is recorded, 2 it becomes a "bootp" row, 3/4 showing the row registers
# it, 5 it asks again, is answered and turns "assigned"; it serves Modbus/TCP there, and "Reset to BOOTP" sends it
# through BOOTP once more. Modules registered by a file and by --assign are answered at once and stop asking.
# Usage: bootp_road_test.sh PLINTHCTL PLINTH_SIM
set -euo pipefail
PLINTHCTL="$1" SIM="$2"
source "$(dirname "$0")/netns_lib.sh"

netns_setup
echo '{"master":{"ip":"10.77.0.1"},"slaves":[{"node":"61","ipAddress":"10.77.0.61","macAddress":"000a1b2c3d02"},
  {"node":"62","ipAddress":"10.77.0.62"}]}' | "$PLINTHCTL" build - -o "$WORK/plant.bin"
# refused MESSAGE ARGS...: options that cannot be read are refused before anything is served, naming the argument.
refused() {
  ip netns exec "$SRV_NS" timeout 5 "$PLINTHCTL" bootp "${@:2}" 2>"$WORK/bad.txt" && fail "${*:2} accepted"
  grep -qF -- "$1" "$WORK/bad.txt" || fail "${*:2}: no '$1'"
}
refused missing.bin --config "$WORK/missing.bin"
for pair in nonsense 000a1b2c3d01=10.0.0 zz0000000001=10.77.0.5 02:00:00:00:00:01:ff=10.77.0.5 0200000000=10.77.0.5; do
  refused "--assign $pair: expected MAC=IP" --assign "$pair"
done
refused "--assign 02-00-00-00-00-01=10.77.0.6: MAC address 020000000001 is given twice" \
  --assign 020000000001=10.77.0.5 --assign 02-00-00-00-00-01=10.77.0.6
SERVER_OUT="$WORK/server.jsonl" SIM_OUT="$WORK/sim.txt"

# Unknown requesters get the test address, as node 50 typed in the slave dialog.
netns_spawn "$SRV_NS" env VARNEL_TESTIPADDR=10.77.0.50 "$PLINTHCTL" bootp --json --config "$WORK/plant.bin" \
  --assign 000a1b2c3d03=10.77.0.63 >"$SERVER_OUT" 2>&1
SERVER=$!
wait_for 5 "$SERVER_OUT" '"formatVersion":1,"event":"serving"' '"registered":2'  # the file's slave with a MAC, and --assign

netns_spawn "$MOD_NS" "$SIM" --bootp-interface "$MOD_IF" --bootp-interval 300 \
  -m "bootp=1,mac=000a1b2c3d01,id=1217" -m "bootp=1,mac=000a1b2c3d02,id=1217" -m "bootp=1,mac=000a1b2c3d03" \
  >"$SIM_OUT" 2>&1

M1='"macAddress":"000a1b2c3d01"'
wait_for 5 "$SERVER_OUT" '"event":"recorded"' "$M1"                                   # step 1
wait_for 5 "$SERVER_OUT" '"event":"bootp"' "$M1"                                      # step 2
wait_for 5 "$SERVER_OUT" '"event":"registered"' "$M1" '"ipAddress":"10.77.0.50"'             # steps 3, 4
wait_for 5 "$SERVER_OUT" '"event":"reply"' "$M1" '"ipAddress":"10.77.0.50"' "\"interface\":\"$SRV_IF\""  # step 5
wait_for 5 "$SERVER_OUT" '"event":"assigned"' "$M1"
wait_for 5 "$SIM_OUT" "000a1b2c3d01 got 10.77.0.50 by BOOTP"

# The registered modules: answered, never recorded; each takes only its own reply.
wait_for 5 "$SERVER_OUT" '"event":"assigned"' '"macAddress":"000a1b2c3d02"' '"ipAddress":"10.77.0.61"'
wait_for 5 "$SERVER_OUT" '"event":"assigned"' '"macAddress":"000a1b2c3d03"' '"ipAddress":"10.77.0.63"'
has_line "$SERVER_OUT" '"event":"recorded"' '"macAddress":"000a1b2c3d0[23]"' && fail "a registered module was recorded"
grep -q "000a1b2c3d0[23] got 10.77.0.50\|000a1b2c3d01 got 10.77.0.6" "$SIM_OUT" && fail "a module took another's reply"
# One row per module, whatever the number of requests.
[ "$(grep -c '"event":"bootp"' "$SERVER_OUT")" -eq 1 ] || fail "more than one bootp row for one unknown module"

# A datagram of 299 bytes and a request from MAC 0 are one line each and change nothing.
ip netns exec "$MOD_NS" python3 -c "import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); \
[s.sendto(d, ('10.77.0.1', 67)) for d in (b'x' * 299, b'\x01\x01\x06' + bytes(297))]"
wait_for 5 "$SERVER_OUT" '"event":"ignored"' '"size":299'
wait_for 5 "$SERVER_OUT" '"event":"ignored"' '"reason":"zero MAC"' '"macAddress":"000000000000"'

# Across the veth: the module serves Modbus/TCP on the address it was given.
[[ "$(ip netns exec "$SRV_NS" "$PLINTHCTL" status 10.77.0.50)" == *"Module ID: 1217"* ]] || fail "no status"

# Reset to BOOTP: the module asks again and is answered again.
ip netns exec "$SRV_NS" "$PLINTHCTL" reset 10.77.0.50
wait_for 5 "$SIM_OUT" "000a1b2c3d01 back to BOOTP"
got_twice() { [ "$(grep -c '000a1b2c3d01 got 10.77.0.50 by BOOTP' "$SIM_OUT")" -ge 2 ]; }
within 5 got_twice
ip netns exec "$SRV_NS" "$PLINTHCTL" status 10.77.0.50 >/dev/null
# Answered once, a module asks no more: one reply for module 03 all along.
[ "$(grep -c '"event":"reply".*000a1b2c3d03' "$SERVER_OUT")" -eq 1 ] || fail "module 03 kept asking"

kill -TERM "$SERVER"
wait "$SERVER" || fail "exit status $? after SIGTERM"
tail -n 1 "$SERVER_OUT" | grep -q '"event":"stopped"' || fail "no 'stopped' line"
# 300 slaves with MACs: the 44 the table cannot take are named, the last one row 299. A bus has nodes 1 to 254
# only, so build refuses such a list; the file is written by the tests' reference writer.
PYTHONPATH="$(dirname "$0")/../cli" python3 -c "import sys, reference_writer as ref
sys.stdout.buffer.write(ref.encode({'slaves': [{'node': str(i + 1), 'ipAddress': '10.77.1.%d' % (i % 250 + 1),
  'macAddress': '%012x' % (0x020000000100 + i)} for i in range(300)]}))" >"$WORK/big.bin"
netns_spawn "$SRV_NS" "$PLINTHCTL" bootp --config "$WORK/big.bin" >"$WORK/big.txt" 2>&1
wait_for 5 "$WORK/big.txt" "^serving .* 256 registered$"
[ "$(grep -c '^not registered: row .*: the table holds 256 modules and is full$' "$WORK/big.txt")" -eq 44 ] &&
  grep -q "^not registered: row 299, node 300, MAC 02000000022b, IP 10.77.1.50: the table" "$WORK/big.txt" || fail "rows not named"
echo "PASS: road of one module, steps 1-5, with real ports and broadcast"
