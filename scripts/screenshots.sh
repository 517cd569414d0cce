#!/usr/bin/env bash
# Takes the screenshots of the documentation: the main window with a few
# slaves, the Slave Configuration and the Module Selection windows, and the
# module status and Test I/O windows on a simulated module (loopback only),
# drawn by the real window code under a virtual X server (Xvfb) into
# docs/screenshots/.
#
#   scripts/screenshots.sh [BUILD_DIR]     (default: build)
#
# Needs xvfb-run (scripts/install-deps.sh installs it) and a build of the
# plinth_screenshots target, which this script brings up to date.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
out="$root/docs/screenshots"

[ -f "$build/build.ninja" ] || cmake -S "$root" -B "$build" -G Ninja >/dev/null
ninja -C "$build" -j2 plinth_screenshots
mkdir -p "$out"
# A fixed style and font size, so that the pictures do not depend on the desktop.
QT_QPA_PLATFORM=xcb QT_STYLE_OVERRIDE=Fusion \
  xvfb-run -a -s "-screen 0 1280x800x24" "$build/tools/plinth_screenshots" "$out"
ls -l "$out"/*.png
