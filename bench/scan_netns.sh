#!/usr/bin/env bash
# One round of plinthctl scan on port 502 inside two network namespaces
# joined by a veth pair, 20 simulated modules on the modules' side (root).
#   1. every other host silent (an address nobody holds: its connect waits out
#      the 1000 ms bound), so the bound and the 8 probes of pending hosts
#      decide the time;
#   2. every other host refusing at once, so the 50 ms pace decides it.
# Usage: scan_netns.sh BUILD_DIR
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
PLINTHCTL="$BUILD/bin/plinthctl"
SIM="$BUILD/bin/plinth-sim"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/../tests/netns/netns_lib.sh"
netns_setup
WORK="$(mktemp -d)"
trap 'netns_cleanup; rm -rf "$WORK"' EXIT

modules=()
for i in $(seq 0 19); do
  echo "address add 10.77.0.$((2 + i * 12))/32 dev $MOD_IF"
done | ip -n "$MOD_NS" -batch -
for i in $(seq 0 19); do modules+=(-m "ip=10.77.0.$((2 + i * 12)),mac=$(printf '0a00000000%02x' "$i")"); done
netns_spawn "$MOD_NS" "$SIM" "${modules[@]}" >"$WORK/sim.txt" 2>&1
wait_for 5 "$WORK/sim.txt" "10.77.0.230:502"

round() {
  local start end
  start=$(date +%s%N)
  ip netns exec "$SRV_NS" "$PLINTHCTL" scan 10.77.0.1 >"$WORK/found.txt"
  end=$(date +%s%N)
  awk -v what="$1" -v ns=$((end - start)) -v found="$(tail -1 "$WORK/found.txt")" \
    'BEGIN { printf "%-16s %6.2f s  %.3fx the pacing limit of 12.7 s, %s\n", what, ns / 1e9, ns / 1e9 / 12.7, found }'
}

echo "one round over 10.77.0.0/24 on port 502, 20 modules answering:"
round "silent hosts"
for h in $(seq 2 254); do
  if (((h - 2) % 12 != 0 || h > 230)) && ((h != 200)); then echo "address add 10.77.0.$h/32 dev $MOD_IF"; fi
done | ip -n "$MOD_NS" -batch -
round "refusing hosts"
