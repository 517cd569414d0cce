#!/usr/bin/env bash
# The road of one module from "asked for an address" to "configured and
# saved", through the window run headless, with the real ports 67, 68 and
# 502 inside two network namespaces: the module asks, becomes a "bootp" row,
# is edited, given 10.77.0.50 by "Connect to module", shown in the module
# status window, flashed, and saved; plinthctl reads the file back.
# Usage: connect_road_test.sh DRIVER PLINTHCTL PLINTH_SIM
set -euo pipefail
DRIVER="$1"
PLINTHCTL="$2"
SIM="$3"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/netns_lib.sh"
netns_setup

WORK="$(mktemp -d)"
trap 'netns_cleanup; rm -rf "$WORK"' EXIT
netns_spawn "$MOD_NS" "$SIM" --bootp-interface "$MOD_IF" --bootp-interval 300 \
  -m "bootp=1,mac=000a1b2c3d01,id=1217" >"$WORK/sim.txt" 2>&1
ip netns exec "$SRV_NS" env QT_QPA_PLATFORM=offscreen VARNEL_AUTOIP=OFF "$DRIVER" "$WORK/road.bin" \
  >"$WORK/driver.txt" 2>"$WORK/driver.err" || { cat "$WORK/driver.txt" "$WORK/driver.err" "$WORK/sim.txt"; exit 1; }
cat "$WORK/driver.txt"
check() { has_line "$WORK/driver.txt" "$@" || { echo "FAIL: no line matching $*"; exit 1; }; }
check '^row bootp 000a1b2c3d01$'
check '^module 1217 16 4 000a1b2c3d01 Slave IP-Addr: 10.77.0.50$'
check '^slave 1217 482-BFK-263-05 16 4 000a1b2c3d01 10.77.0.50, row assigned$'
check '^row ok 10.77.0.50$'
grep -q "000a1b2c3d01 got 10.77.0.50 by BOOTP" "$WORK/sim.txt"

"$PLINTHCTL" show --json "$WORK/road.bin" | tee "$WORK/show.json"
python3 - "$WORK/show.json" <<'PY'
import json, sys
slaves = json.load(open(sys.argv[1]))["slaves"]
want = {"node": "50", "ipAddress": "10.77.0.50", "macAddress": "000a1b2c3d01", "moduleId": "1217",
        "inputWords": "16", "outputWords": "4", "name": "482-BFK-263-05"}
got = {k: slaves[0].get(k) for k in want} if len(slaves) == 1 else slaves
assert got == want, f"saved slave {got}, expected {want}"
PY
echo "PASS: road of one module from its BOOTP request to the saved configuration"
