#!/usr/bin/env bash
# plinthctl scan on port 502 across a veth pair between two network namespaces: five modules and one that accepts
# and never answers; the other hosts refuse, but 60 and 61, which nobody holds. The scan lists exactly the five,
# refreshes the configuration's row of one of them instead of adding another, writes the result and prints what it
# holds, with what the modules report otherwise.
# Usage: scan_road_test.sh PLINTHCTL PLINTH_SIM
set -euo pipefail
PLINTHCTL="$1" SIM="$2"
source "$(dirname "$0")/netns_lib.sh"
netns_setup
for h in $(seq 2 254); do
  case $h in 60 | 61 | 200) ;; *) echo "address add 10.77.0.$h/32 dev $MOD_IF" ;; esac
done | ip -n "$MOD_NS" -batch -
netns_spawn "$MOD_NS" "$SIM" -m ip=10.77.0.5,id=1217,mac=000a1b2c3d05 \
  -m ip=10.77.0.20,id=1218,mac=000a1b2c3d20,count=3 -m ip=10.77.0.250,id=4578,in=3,out=9,mac=000a1b2c3dfa \
  -m ip=10.77.0.40,fault=silent >"$WORK/sim.txt" 2>&1
wait_for 5 "$WORK/sim.txt" "10.77.0.40:502"

echo '{"master": {"ip": "10.77.0.1"}, "slaves": [{"node": "21", "ipAddress": "10.77.0.21", "name": "kept"}]}' |
  "$PLINTHCTL" build - -o "$WORK/in.bin"
ip netns exec "$SRV_NS" "$PLINTHCTL" scan 10.77.0.1 --json --config "$WORK/in.bin" -o "$WORK/out.bin" >"$WORK/found.json"
"$PLINTHCTL" show --json "$WORK/out.bin" >"$WORK/out.json"

python3 - "$WORK/found.json" "$WORK/out.json" <<'PY'
import json, sys
found = [" ".join(s[k] for k in ("ipAddress", "moduleId", "inputWords", "outputWords", "macAddress", "status"))
         for s in json.load(open(sys.argv[1]))["slaves"]]
# What the file holds: the configuration's row keeps its own values, a module of the catalogue its word counts;
# where the module reports otherwise, the differences say so.
assert found == ["10.77.0.5 1217 16 4 000a1b2c3d05 ok", "10.77.0.20 1218 4 4 000a1b2c3d20 ok", "10.77.0.21 0 0 0  ok",
                 "10.77.0.22 1218 4 4 000a1b2c3d22 ok", "10.77.0.250 4578 16 16 000a1b2c3dfa ok"], found
differences = [" ".join(d[k] for k in ("ipAddress", "field", "stored", "reported"))
               for d in json.load(open(sys.argv[1]))["differences"]]
assert differences == ["10.77.0.21 macAddress  000a1b2c3d21", "10.77.0.21 moduleId 0 1218", "10.77.0.21 inputWords 0 4",
                       "10.77.0.21 outputWords 0 4", "10.77.0.250 inputWords 16 3", "10.77.0.250 outputWords 16 9"], differences
rows = [" ".join((s["node"], s["ipAddress"], s["name"])) for s in json.load(open(sys.argv[2]))["slaves"]]
assert rows[:2] == ["21 10.77.0.21 kept", "5 10.77.0.5 482-BFK-263-05"] and len(rows) == 5, rows
PY
echo "PASS: exactly the five modules found on port 502, the configuration's row kept, the result written"
