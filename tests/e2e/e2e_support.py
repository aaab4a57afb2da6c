"""Runs the real zovrel-cli ($ZOVREL_CLI) against the device simulator; with $ZOVREL_WINE_RUN
(scripts/wine-run) the .exe runs under Wine and the simulator's pty becomes a COM port."""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from harness import WINE_RUN, ComPort, Sim, wait_line  # noqa: E402

CLI = os.environ.get("ZOVREL_CLI", "")
UNDER_WINE = bool(WINE_RUN)


def windows_path(path):
    """How a program under Wine names a Linux path (the Z: drive is the root)."""
    return "Z:" + path.replace("/", "\\") if UNDER_WINE else path


def cli_command(data_root, *args):
    return ([WINE_RUN] if UNDER_WINE else []) + [CLI, "--data-root", windows_path(data_root), *args]


class Cli:
    """One zovrel-cli process left running; its stdout lines are collected as they come."""

    def __init__(self, data_root, *args):
        self.proc = subprocess.Popen(cli_command(data_root, *args), stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL)
        self.lines = []
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for raw in self.proc.stdout:
            self.lines.append(raw.decode("utf-8").rstrip("\r\n"))

    def wait_line(self, text, timeout=20.0, after=0):
        return wait_line(lambda: self.lines, text, after, timeout)

    def stop(self, timeout=30):
        """Sends Ctrl+C as a user would; returns the exit code."""
        self.proc.send_signal(signal.SIGINT)
        code = self.proc.wait(timeout)
        self._reader.join(5)
        self.proc.stdout.close()
        return code


def run_cli(data_root, *args, timeout=300):
    """Runs zovrel-cli to its end: (exit code, stdout lines, stderr text)."""
    done = subprocess.run(cli_command(data_root, *args), capture_output=True, timeout=timeout)
    return (done.returncode, [l.decode("utf-8") for l in done.stdout.splitlines()],
            done.stderr.decode("utf-8", "replace"))


class E2ETest(unittest.TestCase):
    """A simulator on a fresh pty, its port as the program names it, and a data root."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="zovrel-e2e-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.root, self.port = os.path.join(self.dir, "root"), os.path.join(self.dir, "tty")
        self.sim = Sim("--link", self.port, "--reply-timeout-ms", "1000", "--no-wire-delay")
        self.addCleanup(self.sim.close)
        if UNDER_WINE:
            self.com = ComPort(self.sim.path)
            self.addCleanup(self.com.close)
            self.port = self.com.name

    def listen(self):
        cli = Cli(self.root, "--port", self.port, "listen")
        self.addCleanup(lambda: cli.proc.poll() is None and cli.proc.kill())
        cli.wait_line("串口已打开: %s @ 2000000 bps" % self.port, timeout=60)
        return cli

    def send_cli(self, *what, timeout=300):
        code, lines, err = run_cli(self.root, "--port", self.port, "send", *what, timeout=timeout)
        self.assertEqual(code, 0, err)
        return lines, err

    def device_sends(self, **what):
        result = self.sim.cmd(cmd="send", wait=True, timeout=600, **what).get("result")
        self.assertTrue(result and result["ok"], result)
        return result

    def device_got(self, after):
        """The next item the device received after event `after`: (its event, its bytes)."""
        done = self.sim.wait_for(lambda e: e["ev"] == "transfer_done" and e["dir"] == "in",
                                 timeout=30, after=after)
        with open(done["path"], "rb") as f:
            return done, f.read()

    def write_file(self, name, data):
        with open(os.path.join(self.dir, name), "wb") as f:
            f.write(data)
        return f.name
