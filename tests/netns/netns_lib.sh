# Two network namespaces joined by a veth pair, for tests that need the real BOOTP ports and the limited
# broadcast without touching the machine's own interfaces. Source it; netns_setup makes them and $WORK, the
# EXIT trap deletes all. SRV_NS/SRV_IF 10.77.0.1/24 is the configurator's side, MOD_NS/MOD_IF 10.77.0.200/24
# the modules'. Exits 77 (ctest: skipped) when namespaces cannot be made here.

SRV_NS="plinth-srv-$$" MOD_NS="plinth-mod-$$" SRV_IF="pbs$$" MOD_IF="pbm$$"
NETNS_PIDS=()

netns_cleanup() {
  kill "${NETNS_PIDS[@]}" 2>/dev/null || true
  wait "${NETNS_PIDS[@]}" 2>/dev/null || true
  for ns in "$SRV_NS" "$MOD_NS"; do ip netns del "$ns" 2>/dev/null || true; done
  ip link del "$SRV_IF" 2>/dev/null || true  # left in this namespace by a set-up that failed half-way
}

netns_skip() { echo "SKIP: $1 (network namespaces need root and iproute2)"; exit 77; }

netns_setup() {
  [ "$(id -u)" -eq 0 ] || netns_skip "not running as root"
  command -v ip >/dev/null || netns_skip "no 'ip' command"
  WORK="$(mktemp -d)"
  trap 'netns_cleanup; rm -rf "$WORK"' EXIT
  trap 'exit 130' INT TERM
  { ip netns add "$SRV_NS" && ip netns add "$MOD_NS" && ip link add "$SRV_IF" type veth peer name "$MOD_IF"; } 2>/dev/null ||
    netns_skip "cannot create two network namespaces and a veth pair"
  local ns if net
  for ns in "$SRV_NS:$SRV_IF:10.77.0.1" "$MOD_NS:$MOD_IF:10.77.0.200"; do
    IFS=: read -r ns if net <<<"$ns"
    ip link set "$if" netns "$ns"
    ip -n "$ns" addr add "$net/24" dev "$if"
    ip -n "$ns" link set lo up
    ip -n "$ns" link set "$if" up
  done
}

# netns_spawn NS COMMAND...: runs COMMAND in the background inside NS; its pid is kept for cleanup.
netns_spawn() {
  ip netns exec "$@" &
  NETNS_PIDS+=("$!")
}

# fail MESSAGE: ends the test, showing what the programs wrote.
fail() { echo "FAIL: $*"; tail -n +1 "$WORK"/*.txt "$WORK"/*.jsonl 2>/dev/null; exit 1; }

# has_line FILE PATTERN...: a line of FILE matches every PATTERN.
has_line() {
  local file="$1" lines p; shift
  lines="$(cat "$file" 2>/dev/null)" || return 1
  for p in "$@"; do lines="$(grep -E -- "$p" <<<"$lines")" || return 1; done
}

# within SECONDS COMMAND...: until COMMAND succeeds; wait_for SECONDS FILE PATTERN...: until a line matches.
within() {
  local i
  for ((i = 0; i < $1 * 20; i++)); do "${@:2}" && return 0; sleep 0.05; done
  fail "not within $1 s: ${*:2}"
}
wait_for() { within "$1" has_line "${@:2}"; }
