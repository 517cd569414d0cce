#!/usr/bin/env python3
"""plinth-sim under connect load, on loopback: the connect times of 1,000
sequential connects (each closed at once), then the simulator's CPU use
while it sits at its descriptor limit (ulimit -n 40, 80 connections held).
Usage: sim_connect_burst.py PLINTH_SIM [CONNECTS]"""

import os
import resource
import socket
import subprocess
import sys
import time

ADDRESS = "127.0.0.70"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start(sim, port, nofile=None):
    limit = (lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (nofile, nofile))) if nofile else None
    p = subprocess.Popen([sim, "--port", str(port), "--module", "ip=" + ADDRESS], stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, preexec_fn=limit)
    p.stdout.readline()  # the module line: it listens
    return p


def cpu_seconds(pid):
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def main():
    sim, count = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 1000
    port = free_port()
    p = start(sim, port)
    times = []
    for _ in range(count):
        s = socket.socket()
        t = time.perf_counter()
        s.connect((ADDRESS, port))
        times.append((time.perf_counter() - t) * 1000)
        s.close()
    p.terminate()
    p.wait()
    times.sort()
    print(f"{count} sequential connects: median {times[count // 2]:.3f} ms, "
          f"p99 {times[int(count * 0.99) - 1]:.3f} ms, max {times[-1]:.3f} ms")

    port = free_port()
    p = start(sim, port, nofile=40)
    held = [socket.create_connection((ADDRESS, port)) for _ in range(80)]
    time.sleep(0.5)
    before, t = cpu_seconds(p.pid), time.monotonic()
    time.sleep(3)
    used = cpu_seconds(p.pid) - before
    print(f"at the descriptor limit (40, 80 connections held): {100 * used / (time.monotonic() - t):.1f} % CPU "
          f"over 3 s")
    for s in held:
        s.close()
    p.terminate()
    print("simulator said:", p.communicate()[0].decode().strip().splitlines()[:1])


if __name__ == "__main__":
    main()
