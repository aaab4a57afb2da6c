"""Helpers shared by the simulator and e2e tests: run a simulator, read its events, talk to it."""

import json
import os
import select
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import tty

TOOLS = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", "tools"))
if TOOLS not in sys.path:
    sys.path.insert(0, TOOLS)
from zovrel_device.scanner import FrameScanner  # noqa: E402


class Sim:
    """One simulator process under control; its JSON events are collected as they come."""

    def __init__(self, *args):
        self.dir = tempfile.mkdtemp(prefix="zovrel-sim-")
        control = os.path.join(self.dir, "ctl")
        self.proc = subprocess.Popen([sys.executable, os.path.join(TOOLS, "zovrel-device"), *args,
                                      "--control", control],
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.events = []
        self._cv = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()
        self.path = self.wait_for(lambda e: e["ev"] == "ready")["path"]
        deadline = time.monotonic() + 5
        while not os.path.exists(control) and time.monotonic() < deadline:
            time.sleep(0.01)
        self._sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self._sock.connect(control)
        self._ctl = self._sock.makefile("rwb")

    def _read(self):
        for raw in self.proc.stdout:
            with self._cv:
                self.events.append(json.loads(raw))
                self._cv.notify_all()

    def wait_for(self, pred, timeout=10.0, after=0):
        deadline = time.monotonic() + timeout
        with self._cv:
            while True:
                for e in self.events[after:]:
                    if pred(e):
                        return e
                left = deadline - time.monotonic()
                if left <= 0:
                    raise AssertionError("no such event; got: %s" % [
                        e["ev"] for e in self.events][-30:])
                self._cv.wait(min(left, 0.1))

    def of(self, ev, **match):
        return [e for e in self.events if e["ev"] == ev
                and all(e.get(k) == v for k, v in match.items())]

    def cmd(self, **command):
        self._ctl.write(json.dumps(command).encode("utf-8") + b"\n")
        self._ctl.flush()
        return json.loads(self._ctl.readline())

    def close(self):
        try:
            self.cmd(cmd="quit")
            self.proc.wait(5)
        except (OSError, ValueError, subprocess.TimeoutExpired):
            self.proc.kill()
            self.proc.wait()
        self.proc.stdout.close()
        self._ctl.close()
        self._sock.close()
        shutil.rmtree(self.dir, True)


class Port:
    """The program's end of the line (raw, as the program opens it), scripted by a test."""

    def __init__(self, path):
        self.fd = os.open(path, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.fd)
        self.scanner, self.frames = FrameScanner(), []

    def ask(self, data, want, timeout=3.0):
        """Writes `data`; returns the next frame of a type in `want` (others are skipped)."""
        os.write(self.fd, data)
        deadline = time.monotonic() + timeout
        while True:
            while self.frames:
                f = self.frames.pop(0)
                if f.type in want:
                    return f
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.fd], [], [], left)[0]:
                raise AssertionError("no frame within %.1f s" % timeout)
            self.frames += [f for _, f, _ in self.scanner.feed(os.read(self.fd, 65536))]
