"""plinthctl on files, as a user runs it: random configurations written exactly as the independent reference writer
writes them and read back by show --json; the table view and check; bad input, which gets one clear message, exit 1
and leaves an existing output file as it was. Usage: plinthctl_files_test.py PLINTHCTL
(PLINTH_RANDOM_COUNT and PLINTH_RANDOM_SEED choose how many random configurations, from which seed)."""

import json
import os
import random
import resource
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import reference_writer as ref  # noqa: E402

PLINTHCTL = None
COUNT, SEED = int(os.environ.get("PLINTH_RANDOM_COUNT", 300)), int(os.environ.get("PLINTH_RANDOM_SEED", 20261205))
EMPTY = ref.encode({"master": {"ip": "192.168.1.10"}})  # the worked example; its bytes: core_tests
NUMBER_TEXTS = ["", "0", "1", " 12", "-3", "12x", "x12", "+7", "254", "255", "65535", "65536", "70000",
                "99999999999", "-99999999999", "  -0", "\t5"]
IDS = [str(i) for i in ref.CATALOG] + ["99", "0", "", " 704", "1217 ", "65535"]  # build refuses other texts
WORDS = ["0", "1", "2", "4", "7", " 2", "", "16", "40", "+3"]


def random_text(rng):
    kind = rng.random()
    alphabet = "äöü€漢字 " if kind < 0.3 else "abcdefghijklmnopqrstuvwxyz0123456789 -_/."
    return "" if kind < 0.2 else "x" * rng.choice([190, 191, 8200, 9000]) if 0.3 <= kind < 0.35 else \
        "".join(rng.choice(alphabet) for _ in range(rng.randint(1, 40)))


def random_mac(rng):  # build refuses what is not 12 hex digits
    digits = "".join(rng.choice("0123456789abcdefABCDEF") for _ in range(12))
    return rng.choice(["", digits, ":".join(digits[i:i + 2] for i in range(0, 12, 2)),
                       "-".join(digits[i:i + 2] for i in range(0, 12, 2))])


def random_ip(rng):  # build refuses what is no address (the cases of bad input)
    return rng.choice(["", "0.0.0.0", "10.1.0.9"]) if rng.random() < 0.15 else \
        ".".join(str(rng.randint(0, 255)) for _ in range(4))


def random_config(rng, count):
    master = {key: make() for key, p, make in (
        ("ip", 0.8, lambda: random_ip(rng)), ("board", 0.5, lambda: rng.choice(NUMBER_TEXTS)),
        ("fileWord1", 0.5, lambda: rng.randint(0, 65535)), ("fileWord2", 0.5, lambda: rng.randint(0, 65535)),
        ("advancedSettings", 0.5, lambda: rng.randint(0, 65535)),
        ("saveUnknownSlaves", 0.5, lambda: rng.random() < 0.5)) if rng.random() < p}
    makers = (("node", lambda: rng.choice(NUMBER_TEXTS)),
              ("status", lambda: rng.choice(["unknown", "ok", "bootp", "assigned"])),
              ("ipAddress", lambda: random_ip(rng)), ("macAddress", lambda: random_mac(rng)),
              ("moduleId", lambda: rng.choice(IDS)), ("name", lambda: random_text(rng)),
              ("description", lambda: random_text(rng)), ("inputWords", lambda: rng.choice(WORDS)),
              ("outputWords", lambda: rng.choice(WORDS)), ("paramWords", lambda: rng.choice(WORDS)))
    slaves = [{key: make() for key, make in makers if rng.random() < 0.85} for _ in range(count)]
    # Nodes as the window reads them, each once; build refuses the rest.
    for slave, node in zip(slaves, rng.sample(range(1, 255), min(count, 254))):
        slave["node"] = rng.choice(["{}", " {}", "+{}", "{} ", "\t{}"]).format(node)
    for slave in slaves[254:] + [s for s in slaves if rng.random() < 0.1]:
        slave.pop("node", None)
    if any("node" not in s for s in slaves):
        master["saveUnknownSlaves"] = False  # it would write them as node 0
    return {"master": master, "slaves": slaves}


def expected_show(config):
    """What reading the written file must give back."""
    master = config.get("master", {})
    octets = [o & 0xFFFF for o in ref.scan_dotted(master.get("ip", ""))]
    slaves = []
    for s in (ref.show_row({**ref.DEFAULT_SLAVE, **s}) for s in config.get("slaves", [])):
        if s["node"] == "" and not master.get("saveUnknownSlaves", False):
            continue
        i, p, o = (ref.scan_d(s[k]) for k in ("inputWords", "paramWords", "outputWords"))
        ins, params, outs = (v & 0xFFFF if v > 0 else 0 for v in (i, p, o - p))
        slaves.append({
            "node": str(ref.scan_d(s["node"]) & 0xFFFF), "status": "unknown",
            "ipAddress": ".".join(str(o & 0xFFFF) for o in ref.scan_dotted(s["ipAddress"])),
            "macAddress": s["mac"].hex() if s["mac"] != bytes(6) else "",
            "moduleId": str(ref.scan_d(s["moduleId"]) & 0xFFFF),
            **{k: s[k].encode().split(b"\0")[0].decode() for k in ("name", "description")},
            "inputWords": str(ins), "outputWords": str(outs + params), "paramWords": str(params)})
    return {"formatVersion": 1, "master": {"ip": ".".join(map(str, octets)) if any(octets) else "",
                       "fileWord1": master.get("fileWord1", 50), "fileWord2": master.get("fileWord2", 0) | 0x30,
                       "advancedSettings": master.get("advancedSettings", 0)}, "slaves": slaves}


def run(*args, stdin=None, memory=None, user=None, program=None):
    limit = (lambda: resource.setrlimit(resource.RLIMIT_AS, (memory, memory))) if memory else None
    return subprocess.run([program or PLINTHCTL, *map(str, args)], capture_output=True, text=True, input=stdin,
                          timeout=60, preexec_fn=limit, user=user, group=user, extra_groups=[] if user else None)


class PlinthctlFiles(unittest.TestCase):
    def setUp(self):
        self.dir = Path(self.enterContext(tempfile.TemporaryDirectory()))

    def file(self, name, content):
        path = self.dir / name
        path.write_bytes(content if isinstance(content, bytes) else json.dumps(content, ensure_ascii=False).encode())
        return path

    def test_random_configs_are_written_as_the_reference_writer_writes_them_and_read_back(self):
        rng = random.Random(SEED)
        for case in range(COUNT):  # the first two with 0 and 300 slaves
            config = random_config(rng, rng.choice([0, 1, 2, 3, 5, 10, 300]) if case > 1 else [0, 300][case])
            out = self.dir / f"{case}.bin"
            build, show = run("build", self.file(f"{case}.json", config), "-o", out), run("show", out, "--json")
            with self.subTest(case=case, config=json.dumps(config)[:2000]):
                self.assertEqual(out.read_bytes() if build.returncode == 0 else build.stderr, ref.encode(config))
                got = json.loads(show.stdout) if show.returncode == 0 else show.stderr
                self.assertEqual(got, expected_show(config))

    def test_show_and_check_on_a_good_file_and_on_broken_files(self):
        one = {"slaves": [{"node": "1", "moduleId": "99", "ipAddress": "192.168.1.1", "name": "S1", "inputWords": "2",
                           "outputWords": "4", "paramWords": "1", "macAddress": "020000000001", "description": "d"}]}
        r = run("build", "-", "-o", self.dir / "one.bin", stdin=json.dumps(one))
        self.assertEqual((r.returncode, (self.dir / "one.bin").read_bytes()), (0, ref.encode(one)), r.stderr)
        row = run("show", self.dir / "one.bin").stdout.splitlines()[3].split()  # under two master lines, the heads
        self.assertEqual(row, ["1", "unknown", "192.168.1.1", "020000000001", "99", "S1", "2/4/1", "d"])
        r = run("check", self.dir / "one.bin")
        self.assertEqual((r.returncode, len(r.stdout.splitlines()), "1 slave" in r.stdout), (0, 1, True))
        self.assertEqual([run(*a).returncode != 0 for a in ([], ["build", "x.json"], ["frobnicate"], ["--help"])],
                         [True, True, True, False])
        # Broken files: exit 1 and nothing on stdout; a file can hold addresses that are none, check names them.
        odd = ref.encode({"slaves": [{"node": "3", "ipAddress": "999.1.1.1"}, {"node": "4", "ipAddress": "1.2.3.4"}]})
        nodes = ref.encode({"master": {"saveUnknownSlaves": True}, "slaves": [
            {"node": n} for n in ("7", "900", "7", "", "254", "7")]})
        twins = ref.encode({"slaves": [{"node": n, "macAddress": mac} for n, mac in
                                       (("3", "02:00:00:00:00:01"), ("4", "020000000002"), ("5", "020000000001"))]})
        cases = {"checksum.bin": (EMPTY[:40] + bytes([EMPTY[40] ^ 1]) + EMPTY[41:], "checksum error"),
                 "tiny.bin": (b"\x04\0\0\0\0", "not a configuration file"),
                 "plant.json": (b'{"master": {}}', "not a configuration file"),
                 "cut.bin": (EMPTY[:50], "Input file corrupted!"),
                 "empty.bin": (b"", "empty"), "absent.bin": (None, "absent.bin"),
                 "odd.bin": (odd, "slave 1 (node 3): IP address 999.1.1.1 is not four numbers 0 to 255"),
                 "nodes.bin": (nodes, "slave 2 (node 900): node 900 is outside the node numbers 1 to 254\n"),
                 "twins.bin": (twins, "MAC address 020000000001 is held by slave 1 (node 3) and slave 3 (node 5)"),
                 "unreadable.bin": (EMPTY, "fopen() failed! (Permission denied)")}
        # Root reads any file: the unreadable one is tried as nobody, with a copy of the program it can run.
        nobody = {"user": 65534, "program": shutil.copy(PLINTHCTL, self.dir)} if os.geteuid() == 0 else {}
        self.dir.chmod(0o755)
        for name, (content, message) in cases.items():
            path = self.file(name, content) if content is not None else self.dir / name
            if name == "unreadable.bin":
                path.chmod(0)
            for command in (["check"],) + ((["show"], ["show", "--json"]) if name not in ("odd.bin", "nodes.bin", "twins.bin") else ()):
                with self.subTest(name=name, command=command):
                    r = run(command[0], path, *command[1:], **(nobody if name == "unreadable.bin" else {}))
                    self.assertEqual((r.returncode, r.stdout), (1, ""))
                    self.assertIn(message, r.stderr)
        self.assertEqual(run("check", self.dir / "odd.bin").stderr.count("IP address"), 1)
        self.assertEqual(run("check", self.dir / "nodes.bin").stderr, "".join(
            f"{self.dir / 'nodes.bin'}: {line}\n" for line in (
                "slave 2 (node 900): node 900 is outside the node numbers 1 to 254",
                "slave 3 (node 7): node 7 is also slave 1 (node 7)'s",
                "slave 4 (node 0): node 0 is outside the node numbers 1 to 254",  # written by saveUnknownSlaves
                "slave 6 (node 7): node 7 is also slave 1 (node 7)'s")))

    def test_bad_inputs_end_in_one_clear_message_and_the_old_output_stays(self):
        def slave(**fields):
            return {"slaves": [{"node": "3", **fields}]}
        wide = {"slaves": [{"node": str(n), "inputWords": "65535", "outputWords": "131070", "paramWords": "65535"}
                           for n in range(1, 255)]}
        # {JSON text, a value written as JSON or a path beginning with "/", memory limit, message}
        cases = [('{"master": ', None, "not valid JSON"), ([], None, "expected a JSON object"),
                 ({"master": {"ipp": "1.2.3.4"}}, None, 'unknown key "ipp"'),
                 ({"formatVersion": 2}, None, "formatVersion: 2 is not a version this program reads"),
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
                     for ip in ("999.1.1.1", "256.0.0.1", "-1.2.3.4", "1.2.3.4.5", "1.2.3", "foo", "127.0.0.011")] + [
                     (slave(macAddress=mac), None, f'slaves[0].macAddress: "{mac}" is not a MAC address')
                     for mac in ("02:00:00:00:00", "0200000000011", "zz-not-a-mac", "02:00:00:00:00:0g")] + [
                     ({"slaves": [{"node": "5"}, {"node": node}]}, None, f'slaves[1].node: "{node}"{why}')
                     for node, why in (("900", " is outside the node numbers 1 to 254"), ("0", " is outside"),
                                       ("12x", " is not a node number"), (" 5", ": node 5 is already slaves[0]'s"))] + [
                     ({"master": {"saveUnknownSlaves": True}, "slaves": [{"node": "1"}, {}]}, None,
                      "slaves[1].node: missing; with saveUnknownSlaves it would be written as node 0")] + [
                     (slave(**{key: text}), None, f'slaves[0].{key}: "{text}" is not a {what}')
                     for key, text, what in (("inputWords", "abc", "word count"), ("outputWords", "-1", "word count"),
                                             ("paramWords", "3x", "word count"), ("moduleId", "7a", "module ID"),
                                             ("moduleId", "66240", "module ID"))]
        binary = Path(PLINTHCTL).read_bytes()
        sanitized = b"__asan_init" in binary or b"__tsan_init" in binary  # shadow memory defeats a memory limit
        out = self.file("out.bin", EMPTY)
        for value, memory, message in cases:
            with self.subTest(message):
                text = value if isinstance(value, str) else json.dumps(value)
                path = text.startswith("/")
                r = run("build", text if path else "-", "-o", out, memory=None if sanitized else memory,
                        stdin=None if path else text)
                self.assertEqual((r.returncode, message in r.stderr, len(r.stderr) < 400), (1, True, True), r.stderr)
                self.assertEqual(out.read_bytes(), EMPTY)
        # Outputs: the system's reason after the message; a dangling link is written through, a loop refused.
        for link, to in (("dangling.bin", "made.bin"), ("loop1", "loop2"), ("loop2", "loop1")):
            (self.dir / link).symlink_to(to)
        for target, status, message in [("no/dir/x.bin", 1, "fopen failed to write! (No such file or directory)"),
                                        ("", 1, "fopen failed to write! (Is a directory)"),
                                        ("loop1", 1, "(Too many levels of symbolic links)"), ("dangling.bin", 0, "")]:
            r = run("build", self.file("ok.json", {}), "-o", self.dir / target)
            self.assertEqual((r.returncode, message in r.stderr), (status, True), r.stderr)
        self.assertTrue((self.dir / "dangling.bin").is_symlink() and (self.dir / "made.bin").is_file())


if __name__ == "__main__":
    PLINTHCTL = sys.argv.pop(1)
    unittest.main(verbosity=1)
