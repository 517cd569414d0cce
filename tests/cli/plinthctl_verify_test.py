"""plinthctl verify against plinth-sim modules on loopback, one module for each result (match, silent, refusing,
status exception, other module ID, other word counts, other MAC, unhealthy, one not in the list for the sweep),
through --json and the exit status; the three report files parsed back; a plant that matches, bad usage and an
interrupted check. Usage: plinthctl_verify_test.py PLINTHCTL PLINTH_SIM"""

import csv
import html.parser
import io
import json
import os
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import reference_writer as ref  # noqa: E402

# Names may be any bytes in a file; the writer takes them as they are.
ref.cstr = lambda t: (t if isinstance(t, bytes) else t.encode()).split(b"\0")[0] + b"\0"

PLINTHCTL = PLINTH_SIM = None
NET = f"127.{100 + os.getpid() % 100}.77"  # a /24 of this process's own, as the scan tests have


def ip(host):
    return f"{NET}.{host}"


def mac(host):
    return f"02000000{host:04x}"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


SLAVES = [  # node: list values; the module at the node's host is set up to differ as named
    {"node": "2", "moduleId": "1217", "macAddress": mac(2)},  # match
    {"node": "3", "moduleId": "1217"},  # accepts nothing: silent
    {"node": "4", "moduleId": "1217"},  # nothing listens: refused
    {"node": "5", "moduleId": "1217"},  # the status block gives exception 04
    {"node": "6", "moduleId": "1217"},  # module 1218 (4/4 words)
    {"node": "7", "moduleId": "1217"},  # 8/2 words
    {"node": "8", "moduleId": "1217", "macAddress": mac(99)},  # another unit
    {"node": "9", "moduleId": "99", "inputWords": "2", "outputWords": "2", "name": b"\xffbad\xfe <b>&amp;",
     "description": "=cmd|' /C calc'!A0, \"quoted\"\nnext"},  # unhealthy; a name that is no UTF-8 nor HTML, a
    # description a spreadsheet would run, with a comma, quotes and a line break
    {"node": "11", "moduleId": "704"},  # no address: not checkable
]
MODULES = [f"ip={ip(2)},id=1217,mac={mac(2)}", f"ip={ip(3)},fault=no-accept", f"ip={ip(5)},fault=status-exception",
           f"ip={ip(6)},id=1218", f"ip={ip(7)},id=1217,in=8,out=2", f"ip={ip(8)},id=1217,mac={mac(8)}",
           f"ip={ip(9)},id=99,in=2,out=2,health=0001,error=0010,errors=3", f"ip={ip(10)},id=704,mac={mac(10)}"]
EXPECTED = {  # node: result, [(finding, expected, found, reason)]
    "2": ("match", []),
    "3": ("differs", [("missing", None, None, "no answer within 1000 ms")]),
    "4": ("differs", [("missing", None, None, "refused")]),
    "5": ("differs", [("noStatus", None, None, "status block: exception code 04 (server device failure)")]),
    "6": ("differs", [("otherModule", "1217", "1218", None), ("otherWordCounts", "16/4", "4/4", None)]),
    "7": ("differs", [("otherWordCounts", "16/4", "8/2", None)]),
    "8": ("differs", [("otherUnit", mac(99), mac(8), None)]),
    "9": ("differs", [("unhealthy", None, "health 0001, last error 0010, 3 errors", None)]),
    "11": ("notCheckable", [("notCheckable", None, None, "no IP address")]),
}
SUMMARY = ("1 match, 2 missing, 1 no status, 1 other module, 2 other word counts, 1 other unit, 1 unhealthy, "
           "1 not checkable, 1 not in the list")


class Sim:
    def __init__(self, port, modules):
        args = [PLINTH_SIM, "--port", str(port)] + [a for m in modules for a in ("--module", m)]
        self.process = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        for _ in modules:  # one line per module once all listen
            line = self.process.stdout.readline()
            assert line.startswith("module "), line

    def stop(self):
        self.process.terminate()
        self.process.communicate(timeout=10)


class HtmlRows(html.parser.HTMLParser):
    """The cells of every row of the results table."""
    def __init__(self):
        super().__init__()
        self.rows, self.table, self.cell = [], None, None

    def handle_starttag(self, tag, attrs):
        if tag == "table":
            self.table = dict(attrs).get("class")
        elif tag == "tr" and self.table == "results":
            self.rows.append([])  # the heading row stays empty: its cells are th
        elif tag == "td" and self.table == "results":
            self.cell = ""

    def handle_endtag(self, tag):
        if tag == "td" and self.cell is not None:
            self.rows[-1].append(self.cell)
            self.cell = None

    def handle_data(self, data):
        if self.cell is not None:
            self.cell += data


class PlinthctlVerify(unittest.TestCase):
    def setUp(self):
        self.dir = Path(self.enterContext(tempfile.TemporaryDirectory()))
        self.port = free_port()

    def plant(self, slaves, name="plant.bin", master=ip(1)):
        path = self.dir / name
        path.write_bytes(ref.encode({"master": {"ip": master},
                                     "slaves": [{"ipAddress": ip(int(s["node"])) if s["node"] != "11" else "", **s}
                                                for s in slaves]}))
        return path

    def verify(self, *args, **kw):
        return subprocess.run([PLINTHCTL, "verify", *map(str, args), "--port", str(self.port)], capture_output=True,
                              timeout=60, **kw)

    def test_each_result_through_json_and_exit_status_and_the_reports_read_back(self):
        plant = self.plant(SLAVES)
        sim = Sim(self.port, MODULES)
        try:
            reports = [self.dir / f"report.{ext}" for ext in ("json", "csv", "html")]
            r = self.verify(plant, "--json", "--sweep", *[a for p in reports for a in ("--report", p)])
            lines = self.verify(plant)
        finally:
            sim.stop()
        self.assertEqual(r.returncode, 1, r.stderr)
        doc = json.loads(r.stdout)
        got = {s["node"]: (s["result"], [(f["kind"], f.get("expected"), f.get("found"), f.get("reason"))
                                         for f in s["findings"]]) for s in doc["slaves"]}
        self.assertEqual(got, EXPECTED)
        self.assertEqual([s["row"] for s in doc["slaves"]], list(range(1, len(SLAVES) + 1)))
        self.assertEqual(doc["summary"]["text"], SUMMARY)
        match, unhealthy = doc["slaves"][0], doc["slaves"][7]
        self.assertEqual((match["found"]["macAddress"], match["found"]["health"], unhealthy["name"]),
                         (mac(2), "8000", "\ufffdbad\ufffd <b>&amp;"))
        [swept] = doc["notInList"]
        self.assertEqual((swept["node"], swept["ipAddress"], swept["moduleId"], swept["macAddress"], swept["result"],
                          swept["found"]["inputWords"]), ("10", ip(10), "704", mac(10), "notInList", "8"))
        content = plant.read_bytes()
        self.assertEqual((doc["formatVersion"], doc["file"]["path"], doc["file"]["size"], doc["file"]["checksum"]),
                         (1, str(plant), len(content), "%04X" % struct.unpack("<I", content[-4:])[0]))
        self.assertEqual(doc["network"], {"master": ip(1), "network": f"{NET}.0/24", "port": self.port, "sweep": True,
                                          "parallel": 16})
        # The same record in every format.
        self.assertEqual(json.loads(reports[0].read_text()), doc)
        rows = list(csv.DictReader(io.StringIO(reports[1].read_text(encoding="utf-8"), newline="")))
        self.assertEqual([(c["node"], c["result"]) for c in rows],
                         [(n, e[0]) for n, e in EXPECTED.items()] + [("10", "notInList")])
        self.assertEqual((rows[4]["expectedModuleId"], rows[4]["foundModuleId"], rows[7]["name"], rows[7]["description"],
                          rows[0]["checksum"], rows[9]["foundModuleId"]),
                         ("1217", "1218", "\ufffdbad\ufffd <b>&amp;", "'=cmd|' /C calc'!A0, \"quoted\"\nnext",
                          doc["file"]["checksum"], "704"))
        page = HtmlRows()
        page.feed(reports[2].read_bytes().decode("utf-8"))
        rows = [row for row in page.rows if row]
        self.assertEqual([row[1] for row in rows], [s["node"] for s in SLAVES] + ["10"])
        self.assertEqual([row[3] for row in rows[:2]], ["\u2714 match", "\u2718 missing (no answer within 1000 ms)"])
        self.assertEqual(rows[7][6], "\ufffdbad\ufffd <b>&amp;")
        # Without --json: one line per slave, then the summary.
        out = lines.stdout.decode().splitlines()
        self.assertEqual((lines.returncode, out[-1], out[4].split()),
                         (1, SUMMARY.replace(", 1 not in the list", ""),
                          ["6", ip(6), "other", "module", "(expected", "1217,", "found", "1218);", "other", "word",
                           "counts", "(expected", "16/4,", "found", "4/4)"]))

    def test_a_matching_plant_bad_usage_and_an_interrupted_check(self):
        sim = Sim(self.port, [MODULES[0]] + [f"ip={ip(h)},fault=no-accept" for h in range(20, 30)])
        try:
            r = self.verify(self.plant(SLAVES[:1]), "--parallel", "1")
            self.assertEqual((r.returncode, r.stdout.decode().splitlines()[-1]), (0, "1 match"), r.stderr)
            # Ten silent modules one at a time take ten seconds: SIGINT ends the check at once, nothing written.
            silent = self.plant([{"node": str(h)} for h in range(20, 30)], "silent.bin")
            check = subprocess.Popen([PLINTHCTL, "verify", silent, "--port", str(self.port), "--parallel", "1",
                                      "--report", self.dir / "cut.json"], stderr=subprocess.PIPE)
            time.sleep(0.5)
            check.send_signal(signal.SIGINT)
            start = time.monotonic()
            _, err = check.communicate(timeout=10)
            self.assertEqual((check.returncode, err.decode(), (self.dir / "cut.json").exists()),
                             (130, "verify: interrupted; nothing written\n", False))
            self.assertLess(time.monotonic() - start, 1.0)
        finally:
            sim.stop()
        (self.dir / "unreadable.bin").write_bytes(b"\x04\0\0\0\0")
        nomaster = self.plant(SLAVES[:1], "nomaster.bin", master="")
        for args, message in ((["absent.bin"], "absent.bin: cannot open"),
                              ([self.dir / "unreadable.bin"], "not a configuration file"),
                              ([nomaster, "--sweep"], "master address '' is not a dotted IPv4 address"),
                              ([nomaster, "--report", self.dir / "r.txt"], "must end in .json, .csv or .html"),
                              ([nomaster, "--report", self.dir / "no" / "r.json"], "cannot write in"),
                              ([nomaster, "--parallel", "0"], "--parallel"), ([nomaster, "--json", "--csv"], "excludes")):
            with self.subTest(args=args):
                r = self.verify(*args)
                self.assertEqual((r.returncode, r.stdout), (2, b""))
                self.assertIn(message, r.stderr.decode())


if __name__ == "__main__":
    PLINTHCTL, PLINTH_SIM = sys.argv.pop(1), sys.argv.pop(1)
    unittest.main()
