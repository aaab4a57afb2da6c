"""Helpers shared by the simulator tests: run a simulator, read its events, talk to it."""

import json
import os
import queue
import socket
import subprocess
import sys
import tempfile
import threading
import time
import tty

TOOLS = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", "tools"))
LAUNCHER = os.path.join(TOOLS, "zovrel-device")
if TOOLS not in sys.path:
    sys.path.insert(0, TOOLS)


class Sim:
    """One simulator process; its JSON events are collected as they come."""

    def __init__(self, *args, control=True):
        self.dir = tempfile.mkdtemp(prefix="zovrel-sim-")
        self.control_path = os.path.join(self.dir, "ctl") if control else None
        cmd = [sys.executable, LAUNCHER] + list(args)
        if control:
            cmd += ["--control", self.control_path]
        self.proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.events = []
        self._cv = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()
        self.ready = self.wait_for(lambda e: e["ev"] == "ready")
        if control:
            deadline = time.monotonic() + 5
            while not os.path.exists(self.control_path) and time.monotonic() < deadline:
                time.sleep(0.01)
            self._sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            self._sock.connect(self.control_path)
            self._ctl = self._sock.makefile("rwb")

    @property
    def path(self):
        return self.ready["path"]

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
        if self.proc.poll() is None:
            try:
                self.cmd(cmd="quit")
            except (OSError, ValueError, AttributeError):
                self.proc.terminate()
        try:
            self.proc.wait(5)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        self.proc.stdout.close()
        self.proc.stderr.close()
        if self.control_path:
            try:
                self._ctl.close()
                self._sock.close()
            except OSError:
                pass


def open_port(path):
    """Opens a pty slave the way the program does: raw, read/write."""
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY)
    tty.setraw(fd)
    return fd


class Port:
    """The program's end of the line, scripted by a test."""

    def __init__(self, path):
        from zovrel_device.scanner import FrameScanner
        self.fd = open_port(path)
        self.scanner = FrameScanner()
        self.frames = queue.Queue()

    def send(self, data):
        os.write(self.fd, data)

    def next_frame(self, timeout=3.0, want=None):
        """The next frame (of a type in `want`, others skipped)."""
        import select
        deadline = time.monotonic() + timeout
        while True:
            while not self.frames.empty():
                f = self.frames.get()
                if want is None or f.type in want:
                    return f
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError("no frame within %.1f s" % timeout)
            r, _, _ = select.select([self.fd], [], [], left)
            if r:
                for _, frame, _ in self.scanner.feed(os.read(self.fd, 65536)):
                    self.frames.put(frame)

    def close(self):
        os.close(self.fd)
