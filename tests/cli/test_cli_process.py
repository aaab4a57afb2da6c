"""zovrel-cli as a process: usage and exit codes in both builds (what it does on a line is in the
whole-program runs)."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from e2e_support import CLI, WINE_RUN, windows_path  # noqa: E402


def run(*args):
    return subprocess.run(([WINE_RUN] if WINE_RUN else []) + [CLI, *args], capture_output=True,
                          timeout=60)


class CliProcess(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="zovrel-cli-")
        self.addCleanup(shutil.rmtree, self.root, True)

    def test_exit_codes(self):
        for args in ([], ["--port", "X", "listen", "--seconds", "soon"]):
            done = run(*args)
            self.assertEqual((done.returncode, done.stdout), (2, b""), done)
            self.assertIn(b"usage:\n  zovrel-cli [--data-root DIR] ports", done.stderr)
        done = run("--help")
        self.assertEqual(done.returncode, 0)
        self.assertIn(b"--port NAME listen", done.stdout)

        root = windows_path(self.root)
        self.assertEqual(run("--data-root", root, "ports").returncode, 0)
        self.assertEqual(os.listdir(self.root), [])  # listing ports writes nothing
        done = run("--data-root", root, "history")
        self.assertEqual((done.returncode, done.stdout), (0, b""), done)
        # What cannot be sent fails with 1; the text fails at the port, which the log says.
        port = "COM250" if WINE_RUN else os.path.join(self.root, "no-such-tty")
        for args in (["--entry", "3"], ["--image", root + "/no.png"], ["--text", "x"]):
            done = run("--data-root", root, "--port", port, "send", *args)
            self.assertEqual(done.returncode, 1, done)
            self.assertTrue(done.stderr.strip())
        self.assertIn("串口打开失败: " + port, done.stdout.decode("utf-8"))


if __name__ == "__main__":
    unittest.main()
