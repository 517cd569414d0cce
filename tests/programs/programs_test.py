"""The three programs' command lines as a newcomer meets them: a word that is no command, plinth's --help and its
start without a display, the reason and hint when plinthctl bootp cannot bind its port, and bash completion of
commands, options and file names (every option --help shows, no more).
Usage: programs_test.py PLINTHCTL PLINTH_SIM COMPLETION_DIR [PLINTH]"""

import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

PLINTHCTL = PLINTH_SIM = COMPLETIONS = PLINTH = None


def run(*args, env=None, user=None):
    return subprocess.run([str(a) for a in args], capture_output=True, text=True, timeout=30, env=env, user=user,
                          group=user, extra_groups=[] if user else None)


def long_options(*command):
    """The long options that --help lists."""
    return {m.group(1) for line in run(*command, "--help").stdout.splitlines()
            if (m := re.match(r"^\s+(?:-\w,)?(--[a-z][a-z-]*)", line))}


class Programs(unittest.TestCase):
    def test_plinthctl_names_a_word_that_is_no_command(self):
        r = run(PLINTHCTL, "frob", "x.bin")
        self.assertEqual((r.returncode, r.stdout), (2, ""))
        self.assertEqual(r.stderr, 'plinthctl: "frob" is not a command; plinthctl --help lists the commands\n')

    def test_plinth_help_and_no_display(self):
        if not PLINTH:
            self.skipTest("built without the window")
        r = run(PLINTH, "--help")
        self.assertEqual((r.returncode, r.stdout.splitlines()[0]), (0, "Usage: plinth [FILE.bin]"))
        bare = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        r = run(PLINTH, "plant.bin", env=bare)
        self.assertEqual((r.returncode, r.stdout), (1, ""))
        for hint in ("no display", "DISPLAY", "plinthctl", "scripts/start.sh"):
            self.assertIn(hint, r.stderr)

    def test_bootp_says_why_it_cannot_bind(self):
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as taken:
            taken.bind(("127.0.0.1", 0))
            port = taken.getsockname()[1]
            r = run(PLINTHCTL, "bootp", "--bind", "127.0.0.1", "--server-port", port, "--reply", "127.0.0.1",
                    "--client-port", port)
        self.assertEqual(r.returncode, 1)
        self.assertEqual(r.stderr.splitlines(), [
            "bind failed!", f"bootp: cannot bind UDP port {port} on 127.0.0.1: Address already in use",
            "Another BOOTP or DHCP server (or another plinthctl bootp) serves that port: stop it first."])
        # Port 67 without the right to bind it: as nobody (root may bind it), unless the system lets anyone.
        if int(Path("/proc/sys/net/ipv4/ip_unprivileged_port_start").read_text()) <= 67:
            return
        with tempfile.TemporaryDirectory() as folder:
            program = PLINTHCTL
            if os.geteuid() == 0:
                os.chmod(folder, 0o755)
                program = shutil.copy(PLINTHCTL, folder)  # without any capability the original may have
            r = run(program, "bootp", "--bind", "127.0.0.1", "--reply", "127.0.0.1", "--client-port", "6868",
                    user=65534 if os.geteuid() == 0 else None)
        self.assertEqual(r.returncode, 1, r.stdout)
        self.assertIn("bootp: cannot bind UDP port 67 on 127.0.0.1: Permission denied\n", r.stderr)
        self.assertIn(f"sudo setcap cap_net_bind_service=+ep {program}", r.stderr)

    def complete(self, script, function, words, cwd):
        """COMPREPLY for the command line words, the last one being completed."""
        quoted = " ".join("'" + w.replace("'", "'\\''") + "'" for w in words)
        r = subprocess.run(["bash", "--norc", "-c", f'source "$0"; COMP_WORDS=({quoted}); COMP_CWORD={len(words) - 1}; '
                            f'{function}; printf "%s\\n" "${{COMPREPLY[@]}}"', str(Path(COMPLETIONS).resolve() / script)],
                           capture_output=True, text=True, cwd=cwd, timeout=30)
        self.assertEqual(r.stderr, "")
        return sorted(filter(None, r.stdout.splitlines()))

    def test_bash_completion(self):
        with tempfile.TemporaryDirectory() as folder:
            for name in ("plant.bin", "other.bin", "plant.json", "notes.txt"):
                Path(folder, name).touch()
            Path(folder, "sub").mkdir()
            ctl = lambda *words: self.complete("plinthctl", "_plinthctl", ["plinthctl", *words], folder)  # noqa: E731
            help_text = run(PLINTHCTL, "--help").stdout
            commands = sorted(re.findall(r"^  ([a-z]+) ", help_text.split("Subcommands:")[1], re.M))
            self.assertEqual(ctl(""), commands)
            self.assertEqual(ctl("s"), ["scan", "show", "status"])
            self.assertEqual(set(ctl("-")), long_options(PLINTHCTL))
            for command in commands:
                with self.subTest(command=command):
                    self.assertEqual({o for o in ctl(command, "-") if o.startswith("--")},
                                     long_options(PLINTHCTL, command))
            for words, files in ((("show", ""), ["other.bin", "plant.bin", "sub"]), (("check", "p"), ["plant.bin"]),
                                 (("build", ""), ["plant.json", "sub"]), (("build", "x.json", "-o", ""),
                                                                          ["other.bin", "plant.bin", "sub"]),
                                 (("scan", "10.0.0.1", "--config", "o"), ["other.bin"]), (("status", ""), []),
                                 (("scan", "--port", ""), [])):
                with self.subTest(words=words):
                    self.assertEqual(ctl(*words), files)
            sim = lambda *words: self.complete("plinth-sim", "_plinth_sim", ["plinth-sim", *words], folder)  # noqa
            self.assertEqual(set(sim("-")), long_options(PLINTH_SIM))
            self.assertEqual(sim("--module", "id=704,ma"), ["id=704,mac="])
            self.assertEqual(sim("--port", ""), [])


if __name__ == "__main__":
    PLINTHCTL, PLINTH_SIM, COMPLETIONS = sys.argv[1:4]
    PLINTH = sys.argv[4] if len(sys.argv) > 4 else None
    del sys.argv[1:]
    unittest.main(verbosity=1)
