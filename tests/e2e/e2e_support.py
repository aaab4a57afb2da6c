"""Runs the real zovrel-cli (natively, or the .exe under Wine) against the device simulator.

Environment: ZOVREL_CLI is the binary; ZOVREL_WINE_RUN, when set, is scripts/wine-run and the
simulator's pty is mapped to a COM port of the Wine prefix."""

import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tools"))
from simtools import Sim  # noqa: E402

CLI = os.environ.get("ZOVREL_CLI", "")
WINE_RUN = os.environ.get("ZOVREL_WINE_RUN", "")
UNDER_WINE = bool(WINE_RUN)


def wine_prefix():
    return os.environ.get("WINEPREFIX") or os.path.join(os.path.dirname(WINE_RUN), "..",
                                                        "build", "wine")


def windows_path(path):
    """How a program under Wine names a Linux path (the Z: drive is the root)."""
    return "Z:" + path.replace("/", "\\") if UNDER_WINE else path


class ComPort:
    """A COM name of the Wine prefix whose device is the simulator's current pty slave.

    Wine opens the dosdevices link and lists the SERIALCOMM value; the link must name the slave
    itself, so after a replug it is pointed at the new one."""

    def __init__(self, slave):
        dosdevices = os.path.join(wine_prefix(), "dosdevices")
        os.makedirs(dosdevices, exist_ok=True)
        for n in range(60, 250):
            link = os.path.join(dosdevices, "com%d" % n)
            try:
                os.symlink(slave, link)
            except FileExistsError:
                continue
            self.number, self.link = n, link
            break
        else:
            raise RuntimeError("no free COM name in the Wine prefix")
        self.name = "COM%d" % self.number
        self.value = "\\Device\\ZovrelE2E%d" % self.number
        self._reg("add", r"HKLM\HARDWARE\DEVICEMAP\SERIALCOMM", "/v", self.value, "/t",
                  "REG_SZ", "/d", self.name, "/f")

    def retarget(self, slave):
        temporary = self.link + ".new"
        if os.path.lexists(temporary):
            os.unlink(temporary)
        os.symlink(slave, temporary)
        os.replace(temporary, self.link)

    def close(self):
        if os.path.lexists(self.link):
            os.unlink(self.link)
        self._reg("delete", r"HKLM\HARDWARE\DEVICEMAP\SERIALCOMM", "/v", self.value, "/f")

    @staticmethod
    def _reg(*args):
        subprocess.run([WINE_RUN, "reg", *args], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=120, check=False)


class Cli:
    """One zovrel-cli process; its stdout lines are collected as they come."""

    def __init__(self, data_root, *args):
        cmd = ([WINE_RUN] if UNDER_WINE else []) + [CLI, "--data-root", windows_path(data_root)]
        self.proc = subprocess.Popen(cmd + list(args), stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE)
        self.lines = []
        self.stderr = b""
        self._cv = threading.Condition()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        self._err_reader = threading.Thread(target=self._read_err, daemon=True)
        self._err_reader.start()

    def _read(self):
        for raw in self.proc.stdout:
            with self._cv:
                self.lines.append(raw.decode("utf-8").rstrip("\r\n"))
                self._cv.notify_all()

    def _read_err(self):
        self.stderr = self.proc.stderr.read()

    def wait_line(self, pred, timeout=20.0, after=0):
        """The index of the first line from `after` on that matches (a text: contains it)."""
        test = (lambda l: pred in l) if isinstance(pred, str) else pred
        deadline = time.monotonic() + timeout
        with self._cv:
            while True:
                for i in range(after, len(self.lines)):
                    if test(self.lines[i]):
                        return i
                left = deadline - time.monotonic()
                if left <= 0:
                    raise AssertionError("no line %r; last lines: %s" % (pred, self.lines[-25:]))
                self._cv.wait(min(left, 0.2))

    def has(self, text):
        with self._cv:
            return any(text in l for l in self.lines)

    def stop(self, timeout=30):
        """Ctrl+C, as a user would; returns the exit code."""
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGINT)
        return self.wait(timeout)

    def wait(self, timeout=60):
        try:
            code = self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise
        self._reader.join(5)
        self._err_reader.join(5)
        self.proc.stdout.close()
        self.proc.stderr.close()
        return code


def run_cli(data_root, *args, timeout=300):
    """Runs zovrel-cli to its end: (exit code, stdout lines, stderr text)."""
    cli = Cli(data_root, *args)
    code = cli.wait(timeout)
    return code, cli.lines, cli.stderr.decode("utf-8", "replace")


class E2ETest(unittest.TestCase):
    """A simulator on a fresh pty, its port as the program names it, and a data root."""

    sim_args = ("--no-wire-delay",)

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="zovrel-e2e-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.root = os.path.join(self.dir, "root")
        self.out = os.path.join(self.dir, "device-got")
        self.link = os.path.join(self.dir, "tty")
        self.sim = Sim("--link", self.link, "--out", self.out, "--reply-timeout-ms", "1000",
                       *self.sim_args)
        self.addCleanup(self.sim.close)
        if UNDER_WINE:
            self.com = ComPort(self.sim.path)
            self.addCleanup(self.com.close)
            self.port = self.com.name
        else:
            self.port = self.link

    def replugged(self, after_event):
        """Waits for the simulator's replug and points the COM port at the new pty."""
        event = self.sim.wait_for(lambda e: e["ev"] == "replug", timeout=20, after=after_event)
        if UNDER_WINE:
            self.com.retarget(event["path"])
        return event

    def listen(self):
        cli = Cli(self.root, "--port", self.port, "listen")
        self.addCleanup(lambda: cli.proc.poll() is None and cli.proc.kill())
        cli.wait_line("串口已打开: %s @ 2000000 bps" % self.port, timeout=60)
        return cli

    def write_file(self, name, data):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def received_file(self, name):
        day_folders = os.path.join(self.root, "files")
        found = [os.path.join(day_folders, d, name) for d in os.listdir(day_folders)
                 if os.path.exists(os.path.join(day_folders, d, name))]
        self.assertEqual(len(found), 1, "expected one %s under %s" % (name, day_folders))
        return found[0]

    def history(self):
        code, lines, err = run_cli(self.root, "history")
        self.assertEqual(code, 0, err)
        return [l.split("\t") for l in lines]
