#!/usr/bin/env bash
# Burst of 256 distinct BOOTREQUESTs, back to back, against plinthctl bootp
# on the real ports inside two network namespaces joined by a veth pair.
#   1. every requester registered (--assign): each must be answered;
#      prints sent, answered, lost and the reply latency.
#   2. every requester unknown: each must be recorded once.
# Usage: bootp_burst.sh BUILD_DIR [COUNT] [ROUNDS]
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
COUNT="${2:-256}"
ROUNDS="${3:-5}"
PLINTHCTL="$BUILD/cli/plinthctl"
BURST="$BUILD/bench/bench_bootp_burst"
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/../tests/netns/netns_lib.sh"
netns_setup
WORK="$(mktemp -d)"
trap 'netns_cleanup; rm -rf "$WORK"' EXIT

stop_server() {
  local pid="${NETNS_PIDS[-1]}"
  kill "$pid"; wait "$pid" 2>/dev/null || true
  unset 'NETNS_PIDS[-1]'
}

# 1: registered modules, 02:00:00:00:00:00 upwards.
assign=()
for ((i = 0; i < COUNT; i++)); do
  assign+=(--assign "$(printf '02000000%04x' "$i")=10.77.$((1 + i / 250)).$((1 + i % 250))")
done
netns_spawn "$SRV_NS" "$PLINTHCTL" bootp "${assign[@]}" >"$WORK/registered.txt" 2>&1
wait_for 5 "$WORK/registered.txt" "^serving .* $COUNT registered"
echo "registered requesters ($COUNT per burst, $ROUNDS rounds):"
for ((r = 1; r <= ROUNDS; r++)); do
  ip netns exec "$MOD_NS" "$BURST" "$MOD_IF" "$COUNT" 020000000000
  sleep 0.5
done
stop_server

# 2: unknown requesters: each recorded once, none answered.
netns_spawn "$SRV_NS" "$PLINTHCTL" bootp >"$WORK/unknown.txt" 2>&1
wait_for 5 "$WORK/unknown.txt" "^serving"
ip netns exec "$MOD_NS" "$BURST" "$MOD_IF" "$COUNT" 0a0000000000 >/dev/null
sleep 1
recorded=$(grep -c '^recorded ' "$WORK/unknown.txt" || true)
rows=$(grep -c '^bootp row ' "$WORK/unknown.txt" || true)
echo "unknown requesters: sent $COUNT recorded $recorded lost $((COUNT - recorded)) bootp rows $rows"
stop_server
