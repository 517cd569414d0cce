# Two network namespaces joined by a veth pair, for tests that need the real
# BOOTP ports and the limited broadcast without touching the machine's own
# interfaces. Source it; netns_setup makes them and $WORK, the trap deletes all.
#   SRV_NS / SRV_IF 10.77.0.1/24    the configurator's side
#   MOD_NS / MOD_IF 10.77.0.200/24  the modules' side
# Exits 77 (ctest: skipped) when namespaces cannot be made here.

SRV_NS="plinth-srv-$$" MOD_NS="plinth-mod-$$" SRV_IF="pbs$$" MOD_IF="pbm$$"
NETNS_PIDS=()

netns_cleanup() {
  local pid
  for pid in "${NETNS_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${NETNS_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  for pid in "$SRV_NS" "$MOD_NS"; do ip netns del "$pid" 2>/dev/null || true; done
  ip link del "$SRV_IF" 2>/dev/null || true  # left in this namespace by a set-up that failed half-way
}

netns_skip() { echo "SKIP: $1 (network namespaces need root and iproute2)"; exit 77; }

netns_setup() {
  [ "$(id -u)" -eq 0 ] || netns_skip "not running as root"
  command -v ip >/dev/null || netns_skip "no 'ip' command"
  WORK="$(mktemp -d)"
  trap 'netns_cleanup; rm -rf "$WORK"' EXIT
  trap 'exit 130' INT TERM
  ip netns add "$SRV_NS" 2>/dev/null || netns_skip "cannot create a network namespace"
  ip netns add "$MOD_NS" || netns_skip "cannot create a second network namespace"
  ip link add "$SRV_IF" type veth peer name "$MOD_IF" || netns_skip "cannot create a veth pair"
  local ns if net
  for ns in "$SRV_NS:$SRV_IF:10.77.0.1" "$MOD_NS:$MOD_IF:10.77.0.200"; do
    IFS=: read -r ns if net <<<"$ns"
    ip link set "$if" netns "$ns"
    ip -n "$ns" addr add "$net/24" dev "$if"
    ip -n "$ns" link set lo up
    ip -n "$ns" link set "$if" up
  done
}

# Runs a command in the background inside a namespace; its pid is kept for cleanup.
netns_spawn() {
  local ns="$1"; shift
  ip netns exec "$ns" "$@" &
  NETNS_PIDS+=("$!")
}

# has_line FILE PATTERN...: a line of FILE matches every PATTERN.
has_line() {
  local file="$1" lines; shift
  lines="$(cat "$file" 2>/dev/null)" || return 1
  for p in "$@"; do lines="$(grep -E -- "$p" <<<"$lines")" || return 1; done
}

# wait_for SECONDS FILE PATTERN...: until a line of FILE matches every PATTERN.
wait_for() {
  local limit="$1" i; shift
  for ((i = 0; i < limit * 20; i++)); do has_line "$@" && return 0; sleep 0.05; done
  echo "FAIL: no line matching '${*:2}' in $1 within ${limit}s:"; cat "$1"; exit 1
}
