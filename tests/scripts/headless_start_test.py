"""The headless start as a user without a display runs it: scripts/headless.sh serves the window of plinth to a web
browser. The noVNC page answers over HTTP, its WebSocket reaches the VNC server and the VNC server speaks RFB; every
port its processes listen on is on loopback; Ctrl-C ends them all. Bounded: about 30 s at most.
Usage: headless_start_test.py HEADLESS_SH PLINTH"""

import base64
import os
import re
import select
import signal
import socket
import subprocess
import sys
import time
import unittest
import urllib.request
from pathlib import Path

SCRIPT = PLINTH = None


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def group_pids(pgid):
    pids = set()
    for stat in Path("/proc").glob("[0-9]*/stat"):
        try:
            fields = stat.read_text().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if int(fields[2]) == pgid and fields[0] != "Z":
            pids.add(int(stat.parent.name))
    return pids


def receive(sock, count):
    data = b""
    while len(data) < count:
        chunk = sock.recv(count - len(data))
        if not chunk:
            break
        data += chunk
    return data


class HeadlessStart(unittest.TestCase):
    def test_serves_the_window_on_loopback_and_ends_on_ctrl_c(self):
        web, vnc = free_port(), free_port()
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        env.update(PLINTH_WEB_PORT=str(web), PLINTH_VNC_PORT=str(vnc))
        start = subprocess.Popen(["bash", SCRIPT, PLINTH], env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                 start_new_session=True, text=True)
        try:
            printed = ""
            deadline = time.monotonic() + 20
            while "Ctrl-C" not in printed and time.monotonic() < deadline and start.poll() is None:
                if select.select([start.stdout], [], [], 0.5)[0]:
                    printed += start.stdout.readline()
            self.assertIn(f"http://127.0.0.1:{web}/vnc.html", printed)
            self.assertIn(f"ssh -L {web}:127.0.0.1:{web} ", printed)

            with urllib.request.urlopen(f"http://127.0.0.1:{web}/vnc.html", timeout=5) as page:
                self.assertEqual(page.status, 200)
                self.assertIn(b"noVNC", page.read())
            with socket.create_connection(("127.0.0.1", vnc), timeout=5) as rfb:
                self.assertEqual(receive(rfb, 12)[:4], b"RFB ")
            # The page's own road: a WebSocket to websockify, which hands over the VNC server's greeting.
            with socket.create_connection(("127.0.0.1", web), timeout=5) as ws:
                key = base64.b64encode(os.urandom(16)).decode()
                ws.sendall((f"GET /websockify HTTP/1.1\r\nHost: 127.0.0.1:{web}\r\nUpgrade: websocket\r\n"
                            f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n"
                            "Sec-WebSocket-Protocol: binary\r\n\r\n").encode())
                head = b""
                while b"\r\n\r\n" not in head:
                    head += receive(ws, 1)
                self.assertTrue(head.startswith(b"HTTP/1.1 101"), head)
                frame = receive(ws, 2)
                self.assertEqual(receive(ws, frame[1] & 0x7F)[:4], b"RFB ")

            # Nothing of it listens anywhere but on loopback; the window's program runs.
            pids = group_pids(start.pid)
            names = {Path(f"/proc/{p}/comm").read_text().strip() for p in pids if Path(f"/proc/{p}").exists()}
            self.assertTrue({"Xvfb", "x11vnc", "plinth"} <= names, names)
            listening = subprocess.run(["ss", "-Hltunp"], capture_output=True, text=True, check=True).stdout
            ours = [line.split() for line in listening.splitlines()
                    if any(int(p) in pids for p in re.findall(r"pid=(\d+)", line))]
            self.assertTrue(ours)
            for fields in ours:
                self.assertRegex(fields[4], r"^(127\.0\.0\.1|\[::1\]):\d+$", fields)
        finally:
            os.killpg(start.pid, signal.SIGINT)  # Ctrl-C in the terminal
            try:
                status = start.wait(timeout=15)
            except subprocess.TimeoutExpired:
                os.killpg(start.pid, signal.SIGKILL)
                raise
        start.stdout.close()
        self.assertEqual(status, 130)
        deadline = time.monotonic() + 5
        while group_pids(start.pid) and time.monotonic() < deadline:
            time.sleep(0.1)
        self.assertEqual(group_pids(start.pid), set())


if __name__ == "__main__":
    SCRIPT, PLINTH = sys.argv[1:3]
    del sys.argv[1:]
    unittest.main(verbosity=1)
