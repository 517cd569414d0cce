#!/usr/bin/env bash
# Runs every fuzz target of a build for a bounded time, seeded from
# fuzz/seeds/<target>/. Usage: run-all.sh BUILD_DIR SECONDS
set -euo pipefail
BUILD_DIR="$1"
SECONDS_EACH="${2:-60}"
HERE="$(cd "$(dirname "$0")" && pwd)"
status=0
for target in "$BUILD_DIR"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name="$(basename "$target")"
  corpus="$BUILD_DIR/fuzz/corpus-$name"
  mkdir -p "$corpus"
  seeds=()
  [ -d "$HERE/seeds/$name" ] && seeds+=("$HERE/seeds/$name")
  echo "-- $name for ${SECONDS_EACH}s"
  if ! "$target" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$BUILD_DIR/fuzz/$name-" -print_final_stats=1 "$corpus" "${seeds[@]}" \
       > "$BUILD_DIR/fuzz/$name.log" 2>&1; then
    echo "!! $name found a problem:"; tail -n 60 "$BUILD_DIR/fuzz/$name.log"; status=1
  else
    grep -E '^stat::number_of_executed_units' "$BUILD_DIR/fuzz/$name.log" || true
  fi
done
exit $status
