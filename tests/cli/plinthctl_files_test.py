"""plinthctl on files, as a user runs it: the worked examples, the table and
JSON views, check, and every kind of bad input, which must give one clear
message, exit 1 and leave an existing output file as it was.
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
EMPTY = ref.encode({"master": {"ip": "192.168.1.10"}})  # the worked example; its bytes: core_tests


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

    def test_worked_example_table_and_check(self):
        one = {"master": {"ip": "192.168.1.10"}, "slaves": [{"node": "1", "moduleId": "99", "ipAddress": "192.168.1.1",
               "name": "S1", "description": "first", "inputWords": "2", "outputWords": "4", "paramWords": "1",
               "macAddress": "020000000001"}]}  # show --json is compared by random_configs
        r = run("build", "-", "-o", self.path("one.bin"), stdin=json.dumps(one))
        self.assertEqual((r.returncode, self.read("one.bin")), (0, ref.encode(one)), r.stderr)
        table = run("show", self.path("one.bin")).stdout.splitlines()
        self.assertTrue("Node" in table[2] and "Description" in table[2])
        self.assertEqual(table[3].split(), ["1", "unknown", "192.168.1.1", "020000000001", "99", "S1", "2/4/1",
                                            "first"])
        r = run("check", self.path("one.bin"))
        self.assertEqual((r.returncode, len(r.stdout.splitlines()), "1 slave" in r.stdout), (0, 1, True))
        self.assertEqual([run(*a).returncode != 0 for a in ([], ["build", "x.json"], ["frobnicate"], ["--help"])],
                         [True, True, True, False])

    def test_bad_inputs_end_in_one_clear_message_and_the_old_output_stays(self):
        def slave(**fields):
            return {"slaves": [{"node": "3", **fields}]}
        wide = {"slaves": [{"node": str(n), "inputWords": "65535", "outputWords": "131070", "paramWords": "65535"}
                           for n in range(1, 301)]}
        cases = [(b"{\"master\": ", None, "not valid JSON"), ([], None, "expected a JSON object"),
                 ({"master": {"ipp": "1.2.3.4"}}, None, 'unknown key "ipp"'),
                 ({"slaves": [{"nodes": "1"}]}, None, 'slaves[0]: unknown key "nodes"'),
                 ({"slaves": [{"node": 1}]}, None, "slaves[0].node: expected a string"),
                 ({"master": {"fileWord1": 70000}}, None, "fileWord1"),
                 ({"master": {"advancedSettings": -1}}, None, "advancedSettings"),
                 ({"master": {"saveUnknownSlaves": "yes"}}, None, "saveUnknownSlaves"),
                 ({"slaves": {}}, None, "slaves: expected an array"), ({"slaves": [{}] * 301}, None, "at most 300"),
                 ("/missing.json", None, "missing.json"),
                 ("/dev/zero", None, "/dev/zero: not a regular file"), ("/", None, "not a regular file"),
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
        out = self.path("out.bin", EMPTY)
        for value, memory, message in cases:
            with self.subTest(message):
                path = isinstance(value, str) and value.startswith("/")
                stdin = value.decode() if isinstance(value, bytes) else value if isinstance(value, str) else \
                    json.dumps(value)
                r = run("build", value if path else "-", "-o", out, memory=None if sanitized else memory,
                        stdin=None if path else stdin)
                self.assertEqual((r.returncode, message in r.stderr, len(r.stderr) < 400), (1, True, True), r.stderr)
                self.assertEqual(self.read("out.bin"), EMPTY)
        # Outputs: the system's reason after the message; a dangling link is written through, a loop refused.
        for link, to in (("dangling.bin", "made.bin"), ("loop1", "loop2"), ("loop2", "loop1")):
            os.symlink(to, self.path(link))
        for target, status, message in [("no/dir/x.bin", 1, "fopen failed to write! (No such file or directory)"),
                                        ("", 1, "fopen failed to write! (Is a directory)"),
                                        ("loop1", 1, "(Too many levels of symbolic links)"), ("dangling.bin", 0, "")]:
            r = run("build", self.path("ok.json", {}), "-o", self.path(target))
            self.assertEqual((r.returncode, message in r.stderr), (status, True), r.stderr)
        self.assertTrue(os.path.islink(self.path("dangling.bin")) and os.path.isfile(self.path("made.bin")))

    def test_broken_files_are_reported(self):
        broken = bytearray(EMPTY)
        broken[40] ^= 1
        # A file can hold addresses that are none: check names their rows.
        odd = ref.encode({"slaves": [{"node": "3", "ipAddress": "999.1.1.1"}, {"node": "4", "ipAddress": "1.2.3.4"}]})
        cases = {"checksum.bin": (bytes(broken), "checksum error"), "tiny.bin": (b"\x04\0\0\0\0", "size not valid"),
                 "cut.bin": (EMPTY[:50], "Input file corrupted!"), "empty.bin": (b"", "empty"),
                 "absent.bin": (None, "absent.bin"),
                 "odd.bin": (odd, "slave 1 (node 3): IP address 999.1.1.1 is not four numbers 0 to 255")}
        for name, (content, message) in cases.items():
            self.path(name, content)
            for command in (["check"],) + ((["show"], ["show", "--json"]) if name != "odd.bin" else ()):
                with self.subTest(name=name, command=command):
                    r = run(command[0], self.path(name), *command[1:])
                    self.assertEqual((r.returncode, r.stdout), (1, ""))
                    self.assertIn(message, r.stderr)
        self.assertEqual(run("check", self.path("odd.bin")).stderr.count("IP address"), 1)


if __name__ == "__main__":
    PLINTHCTL = sys.argv.pop(1)
    unittest.main(verbosity=1)
