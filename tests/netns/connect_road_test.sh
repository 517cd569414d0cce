#!/usr/bin/env bash
# The road of one module from "asked for an address" to "configured and saved", through the window run headless
# by its window test, with the real ports 67, 68 and 502 in two network namespaces: the module asks, is a "bootp"
# row, is edited and given 10.77.0.50 by "Connect to module", shown in the module status window, flashed and saved;
# plinthctl reads it back. Usage: connect_road_test.sh UI_WINDOW_TESTS PLINTHCTL PLINTH_SIM
set -euo pipefail
TESTS="$1" PLINTHCTL="$2" SIM="$3"
source "$(dirname "$0")/netns_lib.sh"
netns_setup
netns_spawn "$MOD_NS" "$SIM" --bootp-interface "$MOD_IF" --bootp-interval 300 \
  -m "bootp=1,mac=000a1b2c3d01,id=1217" >"$WORK/sim.txt" 2>&1
ip netns exec "$SRV_NS" env PLINTH_ROAD_FILE="$WORK/road.bin" "$TESTS" --gtest_filter=ConnectRoad.* \
  | tee "$WORK/window.txt"
grep -q "\[  PASSED  \] 1 test" "$WORK/window.txt" || fail "the window test did not pass"
"$PLINTHCTL" show --json "$WORK/road.bin" | python3 -c 'import json, sys
want = {"node": "50", "ipAddress": "10.77.0.50", "macAddress": "000a1b2c3d01", "moduleId": "1217", "inputWords": "16",
        "outputWords": "4", "name": "482-BFK-263-05"}
got = {k: v for k, v in json.load(sys.stdin)["slaves"][0].items() if k in want}
assert got == want, f"saved {got}, expected {want}"'
echo "PASS: road of one module from its BOOTP request to the saved configuration"
