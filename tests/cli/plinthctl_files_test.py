"""plinthctl on files, as a user runs it: the worked examples, the table and
JSON views, check, and every kind of bad input, which must give a clear
message, a non-zero exit and leave an existing output file as it was.
Usage: plinthctl_files_test.py PLINTHCTL"""

import json
import os
import subprocess
import sys
import tempfile
import unittest

PLINTHCTL = None

EMPTY = bytes.fromhex(
    "5404100100020047656e657269634275735461626c6500382c09000000000a000000000032000500c000a80001000a"
    "00000000000000000030000000000000000000000000005661726e656c0000000026760000")
ONE_SLAVE_JSON = {
    "master": {"ip": "192.168.1.10", "board": "0", "fileWord1": 50, "fileWord2": 0, "advancedSettings": 0},
    "slaves": [{"node": "1", "moduleId": "99", "ipAddress": "192.168.1.1", "name": "S1", "description": "first",
                "inputWords": "2", "outputWords": "4", "paramWords": "1", "macAddress": "020000000001"}]}


def run(*args, stdin=None):
    return subprocess.run([PLINTHCTL, *args], capture_output=True, text=True, input=stdin, timeout=60)


class PlinthctlFiles(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def path(self, name, content=None):
        path = os.path.join(self.dir.name, name)
        if content is not None:
            with open(path, "wb") as f:
                f.write(content if isinstance(content, bytes) else json.dumps(content).encode())
        return path

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def test_worked_examples_build_show_and_check(self):
        r = run("build", self.path("e.json", {"master": {"ip": "192.168.1.10"}}), "-o", self.path("e.bin"))
        self.assertEqual((r.returncode, self.read("e.bin")), (0, EMPTY), r.stderr)
        r = run("build", "-", "-o", self.path("one.bin"), stdin=json.dumps(ONE_SLAVE_JSON))
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(len(self.read("one.bin")), 214)  # its bytes: the reference writer's test
        shown = json.loads(run("show", self.path("one.bin"), "--json").stdout)
        self.assertEqual(shown["master"], {"ip": "192.168.1.10", "fileWord1": 50, "fileWord2": 48,
                                           "advancedSettings": 0})
        self.assertEqual(shown["slaves"], [{"node": "1", "status": "unknown", "ipAddress": "192.168.1.1",
                                            "macAddress": "020000000001", "moduleId": "99", "name": "S1",
                                            "description": "first", "inputWords": "2", "outputWords": "4",
                                            "paramWords": "1"}])
        table = run("show", self.path("one.bin")).stdout.splitlines()
        self.assertTrue("Node" in table[2] and "Description" in table[2])
        self.assertEqual(table[3].split(), ["1", "unknown", "192.168.1.1", "020000000001", "99", "S1", "2/4/1",
                                            "first"])
        r = run("check", self.path("one.bin"))
        self.assertEqual((r.returncode, len(r.stdout.splitlines())), (0, 1))
        self.assertIn("1 slave", r.stdout)

    def test_bad_json_and_unwritable_output_are_refused_and_the_old_output_stays(self):
        out = self.path("out.bin", EMPTY)
        cases = {
            "not json": (b"{\"master\": ", "not valid JSON"),
            "top level": ([], "expected a JSON object"),
            "unknown key": ({"master": {"ipp": "1.2.3.4"}}, 'unknown key "ipp"'),
            "unknown slave key": ({"slaves": [{"nodes": "1"}]}, 'slaves[0]: unknown key "nodes"'),
            "wrong type": ({"slaves": [{"node": 1}]}, "slaves[0].node: expected a string"),
            "word out of range": ({"master": {"fileWord1": 70000}}, "fileWord1"),
            "negative word": ({"master": {"advancedSettings": -1}}, "advancedSettings"),
            "bool": ({"master": {"saveUnknownSlaves": "yes"}}, "saveUnknownSlaves"),
            "slaves not a list": ({"slaves": {}}, "slaves: expected an array"),
            "too many": ({"slaves": [{}] * 301}, "at most 300"),
            "too large to encode": ({"slaves": [{"node": "1", "inputWords": "900000"}]},
                                    "Copy of GenericBusTable failed!"),
        }
        for what, (value, message) in cases.items():
            with self.subTest(what):
                r = run("build", self.path("bad.json", value), "-o", out)
                self.assertNotEqual(r.returncode, 0)
                self.assertIn(message, r.stderr)
                self.assertEqual(self.read("out.bin"), EMPTY)
        src = self.path("ok.json", {})
        for args, message in ((["missing.json", "-o", out], "missing.json"),
                              ([src, "-o", self.path("no/such/dir/out.bin")], "fopen failed to write!"),
                              ([src, "-o", self.dir.name], "")):
            r = run("build", *[a if a.startswith(("/", "-")) else self.path(a) for a in args])
            self.assertNotEqual(r.returncode, 0, args)
            self.assertIn(message, r.stderr)

    def test_broken_files_are_reported(self):
        broken = bytearray(EMPTY)
        broken[40] ^= 1
        cases = {"checksum.bin": (bytes(broken), "checksum error"), "tiny.bin": (b"\x04\0\0\0\0", "size not valid"),
                 "cut.bin": (EMPTY[:50], "Input file corrupted!"), "empty.bin": (b"", "empty"),
                 "absent.bin": (None, "absent.bin")}
        for name, (content, message) in cases.items():
            self.path(name, content)
            for command in (["check"], ["show"], ["show", "--json"]):
                with self.subTest(name=name, command=command):
                    r = run(command[0], self.path(name), *command[1:])
                    self.assertEqual((r.returncode, r.stdout), (1, ""))
                    self.assertIn(message, r.stderr)

    def test_usage_errors(self):
        self.assertEqual([run(*a).returncode != 0 for a in ([], ["build", "x.json"], ["frobnicate"], ["--help"])],
                         [True, True, True, False])


if __name__ == "__main__":
    PLINTHCTL = sys.argv.pop(1)
    unittest.main(verbosity=1)
