#!/usr/bin/env bash
# Serves a program's window to a web browser on a machine without a display:
# a virtual X server (Xvfb), a VNC server on it (x11vnc) and noVNC with
# websockify, all from Debian and all listening on 127.0.0.1 only. Prints the
# address to open, and how to reach it from another machine over ssh.
# Ctrl-C (or SIGTERM), or the program's window closing, ends everything.
# Usage: headless.sh PROGRAM [ARGUMENTS...]
# PLINTH_WEB_PORT and PLINTH_VNC_PORT choose the ports (default: the first
# free ones from 6080 and 5900); PLINTH_SCREEN the screen size (1280x800).
set -euo pipefail

if [ "$#" -lt 1 ]; then
  echo "usage: $0 PROGRAM [ARGUMENTS...]" >&2
  exit 2
fi
NOVNC=/usr/share/novnc
for need in Xvfb x11vnc websockify "$NOVNC/vnc.html"; do
  if ! command -v "$need" >/dev/null && [ ! -e "$need" ]; then
    echo "headless: $need is missing; run: sudo bash scripts/install-deps.sh" >&2
    exit 1
  fi
done

pids=()
workdir="$(mktemp -d)"
ended=0
stop() {
  [ "$ended" -eq 1 ] && return
  ended=1
  trap - INT TERM EXIT
  local pid
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$workdir"
}
trap 'stop; exit 130' INT
trap 'stop; exit 143' TERM
trap stop EXIT

# A port nothing listens on yet, from $1 upwards.
free_port() {
  local port="$1"
  while ss -Hltn "sport = :$port" | grep -q .; do port=$((port + 1)); done
  echo "$port"
}
# Waits up to 10 s until something listens on 127.0.0.1:$1.
wait_listening() {
  local tries=100
  until ss -Hltn "src 127.0.0.1 and sport = :$1" | grep -q .; do
    tries=$((tries - 1))
    if [ "$tries" -eq 0 ]; then
      echo "headless: $2 did not start listening on 127.0.0.1:$1" >&2
      exit 1
    fi
    sleep 0.1
  done
}

# The X server picks a free display and tells it; it takes no TCP connections.
Xvfb -displayfd 3 -screen 0 "${PLINTH_SCREEN:-1280x800}x24" -nolisten tcp 3>"$workdir/display" 2>"$workdir/xvfb.log" &
pids+=("$!")
for _ in $(seq 100); do [ -s "$workdir/display" ] && break; sleep 0.1; done
display=":$(tr -d '\n' <"$workdir/display")"
[ "$display" != ":" ] || { echo "headless: Xvfb did not start: $(cat "$workdir/xvfb.log")" >&2; exit 1; }

vnc_port="${PLINTH_VNC_PORT:-$(free_port 5900)}"
x11vnc -display "$display" -rfbport "$vnc_port" -listen 127.0.0.1 -localhost -noipv6 -forever -shared -nopw \
  -nolookup -quiet >"$workdir/x11vnc.log" 2>&1 &
pids+=("$!")
wait_listening "$vnc_port" "x11vnc"

web_port="${PLINTH_WEB_PORT:-$(free_port 6080)}"
websockify --web "$NOVNC" "127.0.0.1:$web_port" "127.0.0.1:$vnc_port" >"$workdir/websockify.log" 2>&1 &
pids+=("$!")
wait_listening "$web_port" "websockify"

DISPLAY="$display" QT_QPA_PLATFORM=xcb "$@" &
program="$!"
pids+=("$program")

address="http://127.0.0.1:$web_port/vnc.html?autoconnect=1&resize=scale"
cat <<TEXT
The window of $(basename "$1") is served to a web browser. Open:
  $address
From another machine, forward the port over ssh first, then open the same address there:
  ssh -L $web_port:127.0.0.1:$web_port $(id -un)@$(hostname)
Everything listens on 127.0.0.1 only. Ctrl-C ends it all.
TEXT

# Until the window closes or Ctrl-C; the traps end the rest.
status=0
wait "$program" || status=$?
exit "$status"
