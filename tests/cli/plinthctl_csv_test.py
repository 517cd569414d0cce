"""plinthctl and the slave list as CSV, as a user runs it: random configuration files -> show --csv -> build FILE.csv
--master-from gives the same bytes back, also after a spreadsheet saved the CSV with semicolons, a byte-order mark and
quotes everywhere; a bad row is refused with its row and column and writes nothing. Usage: plinthctl_csv_test.py
PLINTHCTL."""

import csv
import io
import json
import os
import random
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import plinthctl_files_test as files  # noqa: E402

PLINTHCTL = None


def run(*args):
    return subprocess.run([PLINTHCTL, *map(str, args)], capture_output=True, timeout=60)


def as_spreadsheet(text):
    """The CSV as a spreadsheet saves it in a semicolon locale: BOM, every field quoted, CRLF."""
    rows = list(csv.reader(io.StringIO(text.decode("utf-8", "surrogateescape"), newline="")))
    out = io.StringIO(newline="")
    csv.writer(out, delimiter=";", quoting=csv.QUOTE_ALL, lineterminator="\r\n").writerows(rows)
    return b"\xef\xbb\xbf" + out.getvalue().encode("utf-8", "surrogateescape")


class PlinthctlCsv(unittest.TestCase):
    def setUp(self):
        self.dir = Path(self.enterContext(tempfile.TemporaryDirectory()))

    def test_files_go_to_csv_and_back_byte_exact(self):
        rng = random.Random(files.SEED)
        for case in range(40):
            config = files.random_config(rng, rng.choice([0, 1, 3, 10, 300]))
            source, back, again = (self.dir / f"{case}{suffix}.bin" for suffix in ("", "-back", "-again"))
            (self.dir / "in.json").write_text(json.dumps(config))
            if run("build", self.dir / "in.json", "-o", source).returncode != 0:
                continue  # refused input: plinthctl_files covers it
            shown = run("show", source, "--csv")
            self.assertEqual(shown.returncode, 0, shown.stderr)
            (self.dir / "list.csv").write_bytes(shown.stdout)
            (self.dir / "sheet.csv").write_bytes(as_spreadsheet(shown.stdout))
            with self.subTest(case=case):
                for csv_file, out in (("list.csv", back), ("sheet.csv", again)):
                    r = run("build", self.dir / csv_file, "--master-from", source, "-o", out)
                    self.assertEqual(r.returncode, 0, r.stderr)
                    self.assertEqual(out.read_bytes(), source.read_bytes())

    def test_a_bad_row_is_named_and_nothing_is_written(self):
        bad = self.dir / "bad.csv"
        bad.write_bytes(b"name;node;ipAddress\r\nA;1;10.0.0.1\r\nB;2;10.0.0.300\r\n")
        out = self.dir / "out.bin"
        out.write_bytes(b"old")
        r = run("build", bad, "-o", out)
        self.assertEqual((r.returncode, r.stdout, out.read_bytes()), (1, b"", b"old"))
        self.assertEqual(r.stderr.decode(), f"{bad}: row 3, column C (ipAddress): \"10.0.0.300\" is not an IPv4 "
                                             "address (four numbers 0 to 255 joined by dots)\n")


if __name__ == "__main__":
    PLINTHCTL = files.PLINTHCTL = sys.argv.pop(1)
    unittest.main()
