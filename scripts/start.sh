#!/usr/bin/env bash
# Sets up everything, builds Plinth and starts it. Arguments are passed to
# the program (a configuration file to open). Without a display the window
# is served to a web browser (scripts/headless.sh): the address to open is
# printed, and Ctrl-C ends it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLINTH_TESTS=OFF -DPLINTH_BENCH=OFF
cmake --build build/release -j "$(nproc)"

if [ -x build/release/bin/plinth ]; then
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found: serving Plinth's window to a web browser." >&2
    exec bash scripts/headless.sh build/release/bin/plinth "$@"
  fi
  exec build/release/bin/plinth "$@"
fi
exec build/release/bin/plinthctl --help
