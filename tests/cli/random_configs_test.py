"""Random configurations: plinthctl build must write exactly the bytes of the independent reference
writer, and show --json read back what the file holds. Usage: random_configs_test.py PLINTHCTL [COUNT] [SEED]"""

import json
import os
import random
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import reference_writer as ref  # noqa: E402

NUMBER_TEXTS = ["", "0", "1", " 12", "-3", "12x", "x12", "+7", "254", "255", "65535", "65536", "70000",
                "99999999999", "-99999999999", "  -0", "\t5"]
IDS = [str(i) for i in ref.CATALOG] + ["99", "0", "", "abc", " 704", "704x", "-1", "66240", "1217 "]
WORDS = ["0", "1", "2", "4", "7", "-1", "3x", " 2", "", "abc", "16", "40"]


def random_text(rng):
    kind = rng.random()
    alphabet = "äöü€漢字 " if kind < 0.3 else "abcdefghijklmnopqrstuvwxyz0123456789 -_/."
    return "" if kind < 0.2 else "x" * rng.choice([190, 191, 8200, 9000]) if 0.3 <= kind < 0.35 else \
        "".join(rng.choice(alphabet) for _ in range(rng.randint(1, 40)))


def random_mac(rng):
    kind = rng.random()
    digits = "".join(rng.choice("0123456789abcdefABCDEF") for _ in range(rng.randint(1, 16)))
    pos = rng.randrange(len(digits))
    return "" if kind < 0.3 else ":".join(digits[i:i + 2] for i in range(0, len(digits), 2)) if kind < 0.4 else \
        digits[:pos] + rng.choice("xyz. ") + digits[pos + 1:] if kind < 0.5 else digits


def random_ip(rng):  # build refuses what is no address
    return rng.choice(["", "0.0.0.0", "010.001.0.9"]) if rng.random() < 0.15 else \
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
    return {"master": {"ip": ".".join(map(str, octets)) if any(octets) else "", "fileWord1": master.get("fileWord1", 50),
                       "fileWord2": master.get("fileWord2", 0) | 0x30,
                       "advancedSettings": master.get("advancedSettings", 0)}, "slaves": slaves}


def main():
    plinthctl, count = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 200
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 20261205)
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        for case in range(count):
            src, out = os.path.join(tmp, f"{case}.json"), os.path.join(tmp, f"{case}.bin")
            config = random_config(rng, rng.choice([0, 1, 2, 3, 5, 10, 300]) if case > 1 else [0, 300][case])
            with open(src, "w", encoding="utf-8") as f:
                json.dump(config, f, ensure_ascii=False)
            build = subprocess.run([plinthctl, "build", src, "-o", out], capture_output=True, text=True)
            written = open(out, "rb").read() if build.returncode == 0 else build.stderr
            show = subprocess.run([plinthctl, "show", out, "--json"], capture_output=True, text=True)
            got = json.loads(show.stdout) if show.returncode == 0 else None
            for what, have, want in (("bytes", written, ref.encode(config)), ("show", got, expected_show(config))):
                if have != want:
                    print(f"case {case}: {what} differ: {str(have)[:1500]}\nwant {str(want)[:1500]}")
                    print(json.dumps(config)[:2000])
                    failures += 1
                    break
    print(f"{count - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
