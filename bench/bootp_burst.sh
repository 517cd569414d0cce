#!/usr/bin/env bash
# Burst of 256 distinct BOOTREQUESTs, back to back, against a BOOTP server on
# the real ports inside two network namespaces joined by a veth pair.
#   1. every requester registered: each must be answered; prints sent,
#      answered, lost and the reply latency. Round by round, plinthctl bootp
#      (--assign), the same with the traffic log on (--trace-file, a pcap
#      written as it comes) and bench_bootp_minimal_server (one socket:
#      receive, look up, send) take turns in the same run, then all three
#      are summed up.
#   2. every requester unknown to plinthctl bootp: each must be recorded once.
# Usage: bootp_burst.sh BUILD_DIR [COUNT] [ROUNDS]
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
COUNT="${2:-256}"
ROUNDS="${3:-5}"
PLINTHCTL="$BUILD/bin/plinthctl"
BURST="$BUILD/bench/bench_bootp_burst"
MINIMAL="$BUILD/bench/bench_bootp_minimal_server"
HERE="$(cd "$(dirname "$0")" && pwd)"
# Servers and the burst client run at a real-time priority when chrt is
# there, both servers alike, so that other work on the machine does not
# decide the figures. RT= (empty) runs them as ordinary processes.
RT="${RT-chrt -f 20}"
command -v chrt >/dev/null || RT=""
source "$HERE/../tests/netns/netns_lib.sh"
netns_setup
WORK="$(mktemp -d)"
trap 'netns_cleanup; rm -rf "$WORK"' EXIT

stop_server() {
  local pid="${NETNS_PIDS[-1]}"
  kill "$pid"; wait "$pid" 2>/dev/null || true
  unset 'NETNS_PIDS[-1]'
}

# CPU time (ns) of each thread of a process: "tid ns" lines.
cpu_ns() {
  local f
  for f in /proc/"$1"/task/*; do echo "${f##*/} $(awk '{ print $1 }' "$f/schedstat")"; done
}

# Median and p99 of the latencies in a file, and the burst lines' sums.
summary() {
  local name="$1"
  awk '{ s += $2; a += $4; l += $6 } END { printf "%-8s sent %d answered %d lost %d", n, s, a, l }' n="$name" "$WORK/$name.lines"
  sort -n "$WORK/$name.latency" | awk '{ v[NR] = $1 } END {
    m = v[int(NR * 0.5) + 1]; p = v[int(NR * 0.99) + 1]
    printf "  latency_us median %.0f p99 %.0f", m, p }'
  awk '{ a += $1; t += $2 } END { printf "  cpu_ns per request %.0f, serving thread %.0f\n", a / NR / c, t / NR / c }' \
    c="$COUNT" "$WORK/$name.cpu"
}

# 1: registered modules, 02:00:00:00:00:00 upwards.
assign=()
for ((i = 0; i < COUNT; i++)); do
  assign+=(--assign "$(printf '02000000%04x' "$i")=10.77.$((1 + i / 250)).$((1 + i % 250))")
done
echo "registered requesters ($COUNT per burst, $ROUNDS rounds, servers taking turns):"
for ((r = 1; r <= ROUNDS; r++)); do
  # Each goes first in turn.
  case $((r % 3)) in
    1) order="plinthctl traced minimal" ;;
    2) order="traced minimal plinthctl" ;;
    *) order="minimal plinthctl traced" ;;
  esac
  for name in $order; do
    if [ "$name" = plinthctl ] || [ "$name" = traced ]; then
      trace=()
      [ "$name" = traced ] && trace=(--trace-file "$WORK/trace.pcap")
      netns_spawn "$SRV_NS" $RT "$PLINTHCTL" "${trace[@]}" bootp "${assign[@]}" >"$WORK/server.txt" 2>&1
      wait_for 5 "$WORK/server.txt" "^serving .* $COUNT registered"
    else
      netns_spawn "$SRV_NS" $RT "$MINIMAL" "$SRV_IF" "$COUNT" >"$WORK/server.txt" 2>&1
      wait_for 5 "$WORK/server.txt" "^serving"
    fi
    cpu_ns "${NETNS_PIDS[-1]}" >"$WORK/before"
    line="$(ip netns exec "$MOD_NS" "$BURST" "$MOD_IF" "$COUNT" 020000000000 "$WORK/$name.latency")"
    cpu_ns "${NETNS_PIDS[-1]}" >"$WORK/after"
    # The whole process's CPU time for the burst, and the thread that took
    # the most (the serving one).
    join "$WORK/before" "$WORK/after" | awk '{ d = $3 - $2; a += d; if (d > t) t = d } END { print a, t }' \
      >>"$WORK/$name.cpu"
    echo "$line" >>"$WORK/$name.lines"
    echo "  round $r $name: $line"
    stop_server
  done
done
echo "all rounds:"
summary plinthctl
summary traced
summary minimal

# 2: unknown requesters: each recorded once, none answered.
netns_spawn "$SRV_NS" "$PLINTHCTL" bootp >"$WORK/unknown.txt" 2>&1
wait_for 5 "$WORK/unknown.txt" "^serving"
ip netns exec "$MOD_NS" "$BURST" "$MOD_IF" "$COUNT" 0a0000000000 >/dev/null
sleep 1
recorded=$(grep -c '^recorded ' "$WORK/unknown.txt" || true)
rows=$(grep -c '^bootp row ' "$WORK/unknown.txt" || true)
echo "unknown requesters: sent $COUNT recorded $recorded lost $((COUNT - recorded)) bootp rows $rows"
stop_server
