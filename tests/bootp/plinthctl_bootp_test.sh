#!/usr/bin/env bash
# plinthctl bootp on loopback with high ports (no root needed): bad options,
# a configuration's slaves registered, simulated modules answered or
# recorded, and a clean stop on SIGTERM and SIGINT.
# Usage: plinthctl_bootp_test.sh PLINTHCTL PLINTH_SIM
set -euo pipefail
PLINTHCTL="$1"
SIM="$2"
WORK="$(mktemp -d)"
PIDS=()
cleanup() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; for f in "$WORK"/*.txt; do echo "--- $f"; cat "$f"; done; exit 1; }
wait_line() {  # FILE PATTERN
  for ((i = 0; i < 100; i++)); do grep -qE "$2" "$1" && return 0; sleep 0.05; done
  fail "no line '$2' in $1"
}
# Replies go to the broadcast address of loopback, so every module of the
# simulator hears them, as on a real network. Ports from the pid.
SERVER_PORT=$((40000 + ($$ % 5000) * 2))
CLIENT_PORT=$((SERVER_PORT + 1))
LOOP=(--server-port "$SERVER_PORT" --client-port "$CLIENT_PORT" --bind 127.0.0.1 --reply 127.255.255.255)

# Unreadable options are refused before anything is served.
for bad in "--assign nonsense" "--assign 000a1b2c3d01=10.0.0" "--config $WORK/missing.bin"; do
  # shellcheck disable=SC2086
  if "$PLINTHCTL" bootp "${LOOP[@]}" $bad 2>>"$WORK/bad.txt"; then fail "$bad accepted"; fi
done
grep -q "expected MAC=IP" "$WORK/bad.txt" || fail "no reason given for a bad --assign"

# A configuration with one slave that has a MAC address and one that has not.
echo '{"master":{"ip":"127.0.0.1"},"slaves":[
  {"node":"5","ipAddress":"127.0.0.35","macAddress":"000a1b2c3d05","moduleId":"1217"},
  {"node":"6","ipAddress":"127.0.0.36","moduleId":"1217"}]}' | "$PLINTHCTL" build - -o "$WORK/plant.bin"

"$PLINTHCTL" bootp "${LOOP[@]}" --config "$WORK/plant.bin" >"$WORK/server.txt" 2>&1 &
PIDS+=("$!")
SERVER=$!
wait_line "$WORK/server.txt" "^serving 127.0.0.1:$SERVER_PORT, .* 1 registered$"

# Module 05 is in the configuration; module 07 is unknown and sends no
# client address, so its row gets none and it is never answered.
"$SIM" --port 0 --bootp-to 127.0.0.1 --bootp-server-port "$SERVER_PORT" --bootp-client-port "$CLIENT_PORT" \
  --bootp-interval 100 -m "bootp=1,mac=000a1b2c3d05" -m "bootp=1,mac=000a1b2c3d07" >"$WORK/sim.txt" 2>&1 &
PIDS+=("$!")
wait_line "$WORK/server.txt" "^reply 000a1b2c3d05 127.0.0.35 via lo$"
wait_line "$WORK/server.txt" "^assigned row 0 000a1b2c3d05 127.0.0.35$"
wait_line "$WORK/sim.txt" "000a1b2c3d05 got 127.0.0.35 by BOOTP"
wait_line "$WORK/server.txt" "^recorded 000a1b2c3d07 0.0.0.0 \(unknown requester\)$"
wait_line "$WORK/server.txt" "^bootp row 2 000a1b2c3d07 $"
wait_line "$WORK/server.txt" "^again 000a1b2c3d07"
grep -q "^reply 000a1b2c3d07" "$WORK/server.txt" && fail "an unknown module without address was answered"
grep -q "000a1b2c3d07 got" "$WORK/sim.txt" && fail "module 07 took the reply meant for module 05"
[ "$(grep -c '^recorded ' "$WORK/server.txt")" -eq 1 ] || fail "a requester was recorded twice"

# A malformed datagram is one line and changes nothing.
python3 -c "import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.sendto(b'x'*299, ('127.0.0.1', $SERVER_PORT))"
wait_line "$WORK/server.txt" "^ignored size 299 bytes from 127.0.0.1$"

kill -TERM "$SERVER"
wait "$SERVER" || fail "exit status $? after SIGTERM"
tail -n 1 "$WORK/server.txt" | grep -q '^stopped$' || fail "no 'stopped' line"

# A second server that knows module 07 answers it (the module still asks).
# SIGINT stops it as well; --json gives one object per line.
"$PLINTHCTL" bootp "${LOOP[@]}" --json --assign 000a1b2c3d07=127.0.0.47 >"$WORK/json.txt" 2>&1 &
SERVER=$!
PIDS+=("$SERVER")
wait_line "$WORK/json.txt" '"event":"reply".*"ip":"127.0.0.47".*"mac":"000a1b2c3d07"'
kill -INT "$SERVER"
wait "$SERVER" || fail "exit status $? after SIGINT"
python3 -c "import json,sys; [json.loads(l) for l in open(sys.argv[1])]" "$WORK/json.txt" || fail "not one JSON object per line"
wait_line "$WORK/sim.txt" "000a1b2c3d07 got 127.0.0.47 by BOOTP"
# Hostile --assign texts are refused naming the argument, a MAC given twice too.
for bad in zz0000000001=127.0.0.5 02:00:00:00:00:01:ff=127.0.0.5 0200000000=127.0.0.5 "020000000001=127.0.0.5 --assign 02-00-00-00-00-01=127.0.0.6"; do
  # shellcheck disable=SC2086
  if timeout 5 "$PLINTHCTL" bootp "${LOOP[@]}" --assign $bad 2>"$WORK/assign.txt"; then fail "$bad accepted"; fi
  grep -qE -- "^--assign ${bad##* }: (expected MAC=IP|MAC address 020000000001 is given twice)" "$WORK/assign.txt" || fail "$bad: not named"
done
# 300 slaves with MAC addresses: the 44 the table cannot take are named. A
# request from MAC 000000000000 is never recorded, and says so.
python3 -c "import json; print(json.dumps({'slaves': [{'node': str(i + 1), 'ipAddress': '127.0.1.%d' % (i % 250 + 1),
  'macAddress': '%012x' % (0x020000000100 + i)} for i in range(300)]}))" |
  "$PLINTHCTL" build - -o "$WORK/big.bin"
"$PLINTHCTL" bootp "${LOOP[@]}" --config "$WORK/big.bin" >"$WORK/big.txt" 2>&1 &
PIDS+=("$!")
wait_line "$WORK/big.txt" "^serving .* 256 registered$"
[ "$(grep -c '^not registered: row .*: the table holds 256 modules and is full$' "$WORK/big.txt")" -eq 44 ] || fail "unregistered rows not named"
grep -q "^not registered: row 299, node 300, MAC 02000000022b, IP 127.0.1.50: " "$WORK/big.txt" || fail "row 299 not named"
python3 -c "import socket; socket.socket(socket.AF_INET, socket.SOCK_DGRAM).sendto(b'\x01\x01\x06' + bytes(297), ('127.0.0.1', $SERVER_PORT))"
wait_line "$WORK/big.txt" "^ignored 000000000000 \(MAC address all zero, not recorded\)$"
echo "PASS"
