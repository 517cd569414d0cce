"""plinthctl on files, as a user runs it: the worked examples, the table and
JSON views, check, and every kind of bad input, which must give a clear
message, a non-zero exit and leave an existing output file as it was.
Usage: plinthctl_files_test.py PLINTHCTL"""

import json
import os
import resource
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import reference_writer as ref  # noqa: E402

PLINTHCTL = None

EMPTY = bytes.fromhex(
    "5404100100020047656e657269634275735461626c6500382c09000000000a000000000032000500c000a80001000a"
    "00000000000000000030000000000000000000000000005661726e656c0000000026760000")
ONE_SLAVE_JSON = {
    "master": {"ip": "192.168.1.10", "board": "0", "fileWord1": 50, "fileWord2": 0, "advancedSettings": 0},
    "slaves": [{"node": "1", "moduleId": "99", "ipAddress": "192.168.1.1", "name": "S1", "description": "first",
                "inputWords": "2", "outputWords": "4", "paramWords": "1", "macAddress": "020000000001"}]}


def run(*args, stdin=None, memory=None):
    limit = (lambda: resource.setrlimit(resource.RLIMIT_AS, (memory, memory))) if memory else None
    return subprocess.run([PLINTHCTL, *args], capture_output=True, text=True, input=stdin, timeout=60,
                          preexec_fn=limit)


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


    def test_hostile_inputs_end_in_one_clear_message(self):
        def slave(**fields):
            return {"slaves": [{"node": "3", **fields}]}
        wide = {"slaves": [{"node": str(n), "inputWords": "65535", "outputWords": "131070", "paramWords": "65535"}
                           for n in range(1, 301)]}
        cases = [("/dev/zero", None, "/dev/zero: not a regular file"), (self.dir.name, None, "not a regular file"),
                 (" " * (17 << 20), None, "no configuration needs that much"),
                 ("[" + "0," * 7000000 + "0]", 150 << 20, "values; a configuration has far fewer"),
                 (wide, 100 << 20, "slave 3 (node 3): its word values"),
                 (slave(inputWords="70000"), None, "70000 input words do not fit the file"),
                 (slave(name="n" * 2000000), None, "slave 1 (node 3): its name (2000000 bytes)"),
                 ('{"' + "k" * 10000000, None, "not valid JSON"),
                 ({"slaves": [{"k" * 10000000: 1}]}, None, 'unknown key "kkkk')] + [
                     (slave(ipAddress=ip), None, f'slaves[0].ipAddress (node 3): "{ip}" is not an IPv4 address')
                     for ip in ("999.1.1.1", "256.0.0.1", "-1.2.3.4", "1.2.3.4.5", "1.2.3", "foo")]
        with open(PLINTHCTL, "rb") as f:
            sanitized = b"__asan_init" in f.read()  # its shadow memory defeats a memory limit
        for value, memory, message in cases:
            with self.subTest(message):
                path = isinstance(value, str) and value.startswith("/")
                r = run("build", value if path else "-", "-o", self.path("out.bin"), memory=None if sanitized else memory,
                        stdin=None if path else value if isinstance(value, str) else json.dumps(value))
                self.assertEqual((r.returncode, message in r.stderr, len(r.stderr) < 400), (1, True, True), r.stderr)
                self.assertFalse(os.path.exists(self.path("out.bin")))
        # Outputs: the system's reason after the message; a dangling link is written through, a loop refused.
        for link, to in (("dangling.bin", "made.bin"), ("loop1", "loop2"), ("loop2", "loop1")):
            os.symlink(to, self.path(link))
        for out, status, message in [("no/dir/x.bin", 1, "fopen failed to write! (No such file or directory)"),
                                     ("", 1, "fopen failed to write! (Is a directory)"),
                                     ("loop1", 1, "(Too many levels of symbolic links)"), ("dangling.bin", 0, "")]:
            r = run("build", self.path("ok.json", {}), "-o", self.path(out))
            self.assertEqual((r.returncode, message in r.stderr), (status, True), r.stderr)
        self.assertTrue(os.path.islink(self.path("dangling.bin")) and os.path.isfile(self.path("made.bin")))
        # A file can hold addresses that are none: check names their rows.
        with open(self.path("odd.bin"), "wb") as f:
            f.write(ref.encode({"slaves": [{"node": "3", "ipAddress": "999.1.1.1"}, {"node": "4", "ipAddress": "1.2.3.4"}]}))
        r = run("check", self.path("odd.bin"))
        self.assertEqual((r.returncode, r.stdout, r.stderr.count("IP address")), (1, "", 1))
        self.assertIn("slave 1 (node 3): IP address 999.1.1.1 is not four numbers 0 to 255", r.stderr)


if __name__ == "__main__":
    PLINTHCTL = sys.argv.pop(1)
    unittest.main(verbosity=1)
