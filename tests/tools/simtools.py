"""Runs the device simulator for the simulator and e2e tests: its events, its control socket."""

import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

TOOLS = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", "tools"))
sys.path.insert(0, TOOLS)


class Sim:
    """One simulator process under control; its JSON events are collected as they come. What it
    receives goes to the folder `out` unless the arguments name another."""

    def __init__(self, *args):
        self.dir = tempfile.mkdtemp(prefix="zovrel-sim-")
        control, self.out = os.path.join(self.dir, "ctl"), os.path.join(self.dir, "out")
        os.mkdir(self.out)
        self.proc = subprocess.Popen([sys.executable, os.path.join(TOOLS, "zovrel-device"), "--out",
                                      self.out, *args, "--control", control],
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.events, self._cv = [], threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()
        self.path = self.wait_for(lambda e: e["ev"] == "ready")["path"]
        self._sock = socket.socket(socket.AF_UNIX)
        while self._sock.connect_ex(control) and self.proc.poll() is None:
            time.sleep(0.01)  # the control socket comes just after "ready"
        self._ctl = self._sock.makefile("rwb")

    def _read(self):
        for raw in self.proc.stdout:
            with self._cv:
                self.events.append(json.loads(raw))
                self._cv.notify_all()

    def wait_for(self, pred, timeout=10.0, after=0):
        deadline = time.monotonic() + timeout
        with self._cv:
            while not any(pred(e) for e in self.events[after:]):
                if not self._cv.wait(deadline - time.monotonic()):
                    raise AssertionError("no such event; got: %s" % [
                        e["ev"] for e in self.events][-30:])
            return next(e for e in self.events[after:] if pred(e))

    def of(self, ev, **match):
        return [e for e in self.events if e["ev"] == ev
                and all(e.get(k) == v for k, v in match.items())]

    def cmd(self, **command):
        self._ctl.write(json.dumps(command).encode("utf-8") + b"\n")
        self._ctl.flush()
        return json.loads(self._ctl.readline())

    def close(self):
        self.proc.terminate()  # a quit, as for Ctrl+C
        self.proc.wait(10)
        for f in (self.proc.stdout, self._ctl, self._sock):
            f.close()
        shutil.rmtree(self.dir, True)
