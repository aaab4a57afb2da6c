"""What the whole-program runs, the package tests, scripts/run and the benchmarks share: waits, an
X display with a window manager, windows, clicks and the X clipboard (xdotool, xclip), a COM port
of a Wine prefix for a pty, the device simulator, and zovrel.exe in a "portable" folder of its
own."""

import glob
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

SOURCE = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
TOOLS = os.path.join(SOURCE, "tools")
sys.path.insert(0, TOOLS)  # the simulator's codec, for tests that speak the protocol themselves

# Set when the programs under test are Windows builds (scripts/wine-run runs them).
WINE_RUN = os.environ.get("ZOVREL_WINE_RUN", "")
WINE_SCRIPT = WINE_RUN or os.path.join(SOURCE, "scripts", "wine-run")
SERIALCOMM = r"HKLM\HARDWARE\DEVICEMAP\SERIALCOMM"
MAIN_TITLE = r"^zovrel( - .+)?$"
SCREEN = (1280, 1024)
QUIET = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def poll(what, timeout, interval=0.05, message=None):
    """Calls `what` until it returns something true; that value, or AssertionError (its text
    `message`, or what `message()` gives then)."""
    deadline = time.monotonic() + timeout
    while True:
        value = what()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise AssertionError((message() if callable(message) else message) or
                                 "timed out waiting for %s" % getattr(what, "__name__", what))
        time.sleep(interval)


def wait_line(lines, text, after=0, timeout=20):
    """The index of the first line of `lines()` from `after` on that contains `text`."""
    def find():
        got = lines()
        return next((i + 1 for i in range(after, len(got)) if text in got[i]), 0)
    return poll(find, timeout, 0.02, lambda: "no line %r; last lines: %s" % (
        text, lines()[-20:])) - 1


def end_process(proc):
    """Ends one started process: SIGTERM, then SIGKILL after 10 seconds."""
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def read_text(path):
    """A file the program wrote: UTF-16 with its mark, else UTF-8."""
    with open(path, "rb") as f:
        data = f.read()
    if data.startswith(b"\xff\xfe"):
        return data[2:].decode("utf-16-le", "replace")
    return data.decode("utf-8-sig", "replace")


# --- the X display ---
def window_manager_running(env=None):
    m = re.search(r"window id # (0x[0-9a-f]+)", subprocess.run(
        ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=env, capture_output=True, text=True,
        timeout=30).stdout)
    # A window manager that ended may leave the property behind.
    return bool(m) and subprocess.run(["xprop", "-id", m.group(1), "_NET_WM_NAME"], env=env,
                                      capture_output=True, timeout=30).returncode == 0


def start_window_manager(env=None):
    """openbox on the display unless a window manager runs there (Wine stalls on every hidden
    window without one); the process started, or None. Tried three times: it may give up early."""
    if window_manager_running(env):
        return None
    for _ in range(3):
        proc = subprocess.Popen(["openbox", "--sm-disable"], env=env, stdin=subprocess.DEVNULL,
                                **QUIET)
        try:
            poll(lambda: proc.poll() is not None or window_manager_running(env), 60, 0.1)
        except AssertionError:
            pass
        if proc.poll() is None and window_manager_running(env):
            return proc
        end_process(proc)
    raise RuntimeError("openbox did not start on %s" % (env or os.environ).get("DISPLAY"))


def copy_text(text, env=None, target=()):
    """Another program copies: xclip owns the X clipboard (Wine's follows it) in the background
    until something else is copied."""
    subprocess.run(["xclip", "-selection", "clipboard", *target, "-i"], env=env,
                   input=text.encode("utf-8"), timeout=10, **QUIET)


# --- Wine ---
class ComPort:
    """A COM name of a Wine prefix for a pty slave: Wine opens the dosdevices link, which must
    name the slave itself, and lists the SERIALCOMM value. `for_new_server` also records it
    where a Wine server started later finds it."""

    PORTS = r"HKLM\Software\Wine\Ports"

    def __init__(self, slave, prefix=None, wine_run=None, for_new_server=False):
        self.wine_run = wine_run or WINE_SCRIPT
        prefix = prefix or os.environ.get("WINEPREFIX") or os.path.join(SOURCE, "build", "wine")
        self.env = dict(os.environ, WINEPREFIX=prefix)
        os.makedirs(os.path.join(prefix, "dosdevices"), exist_ok=True)
        for n in range(40, 250):
            self.link = os.path.join(prefix, "dosdevices", "com%d" % n)
            try:
                os.symlink(slave, self.link)
                break
            except FileExistsError:
                pass
        else:
            raise RuntimeError("no free COM name in the Wine prefix")
        self.name, self.value = "COM%d" % n, "\\Device\\ZovrelTest%d" % n
        self.ports_value = for_new_server
        if for_new_server:
            self._reg("add", self.PORTS, "/v", self.name, "/t", "REG_SZ", "/d", slave)
        self._reg("add", SERIALCOMM, "/v", self.value, "/t", "REG_SZ", "/d", self.name)

    def close(self):
        if os.path.lexists(self.link):
            os.unlink(self.link)
        self._reg("delete", SERIALCOMM, "/v", self.value)
        if self.ports_value:
            self._reg("delete", self.PORTS, "/v", self.name)

    def _reg(self, *args):
        subprocess.run([self.wine_run, "reg", *args, "/f"], env=self.env, stdin=subprocess.DEVNULL,
                       timeout=120, check=False, **QUIET)


# --- the device ---
class Sim:
    """One device simulator (tools/zovrel-device) under control; its JSON events are collected as
    they come. What it receives goes to the folder `out` unless the arguments name another."""

    def __init__(self, *args):
        self.dir = tempfile.mkdtemp(prefix="zovrel-sim-")
        control, self.out = os.path.join(self.dir, "ctl"), os.path.join(self.dir, "out")
        os.mkdir(self.out)
        self.proc = subprocess.Popen([sys.executable, os.path.join(TOOLS, "zovrel-device"), "--out",
                                      self.out, *args, "--control", control],
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.events = []
        threading.Thread(target=self._read, daemon=True).start()
        self.path = self.wait_for(lambda e: e["ev"] == "ready")["path"]
        self._sock = socket.socket(socket.AF_UNIX)
        while self._sock.connect_ex(control) and self.proc.poll() is None:
            time.sleep(0.01)  # the control socket comes just after "ready"
        self._ctl = self._sock.makefile("rwb")

    def _read(self):
        for raw in self.proc.stdout:
            self.events.append(json.loads(raw))

    def wait_for(self, pred, timeout=10.0, after=0):
        """The first event from index `after` on that `pred` accepts."""
        return poll(lambda: next((e for e in self.events[after:] if pred(e)), None), timeout, 0.01,
                    lambda: "no such event; got: %s" % [e["ev"] for e in self.events][-30:])

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


# --- a desktop for zovrel.exe ---
class Desktop:
    """Xvfb + openbox on a free display (or the one given) and a Wine server of its own for the
    prefix, started on that display (Wine's clipboard bridge and tray live in its first desktop
    process)."""

    def __init__(self, prefix, display=None, shots=None):
        self.prefix, self.shots = prefix, 0
        self.shots_folder = shots or os.environ.get("ZOVREL_E2E_SCREENSHOTS") or os.path.join(
            SOURCE, "build", "screenshots", "e2e")
        self._procs = []
        self.wine_run = WINE_SCRIPT
        self.display = display or self._start_display()
        os.environ["WINEPREFIX"] = prefix  # for the COM ports mapped meanwhile
        self.env = dict(os.environ, DISPLAY=self.display, WINEDEBUG="-all", LANG="C.UTF-8")
        self.env.pop("ZOVREL_DPI", None)
        try:
            subprocess.run([os.path.join(SOURCE, "scripts", "wine-prefix")], env=self.env,
                           stdout=subprocess.DEVNULL, check=True, timeout=300)
            for flag in ("-k", "-w", "-p"):
                subprocess.run(["wineserver", flag], env=self.env, stdin=subprocess.DEVNULL,
                               timeout=60, **QUIET)
            # The first program starts Wine's desktop process (tray, clipboard) on this display.
            self.wine("cmd", "/c", "exit")
            shutil.rmtree(self.shots_folder, ignore_errors=True)
        except BaseException:
            self.close()
            raise

    def _start_display(self):
        for n in range(140, 200):
            if os.path.exists("/tmp/.X11-unix/X%d" % n) or os.path.exists("/tmp/.X%d-lock" % n):
                continue
            env = dict(os.environ, DISPLAY=":%d" % n)
            xvfb = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", "%dx%d" % SCREEN + "x24",
                                     "-nolisten", "tcp"], env=env, **QUIET)
            try:
                poll(lambda: xvfb.poll() is not None or subprocess.run(
                    ["xprop", "-root"], env=env, **QUIET).returncode == 0, 30, 0.1)
            except AssertionError:
                pass
            if xvfb.poll() is not None:  # another server took the number meanwhile
                continue
            self._procs.append(xvfb)
            try:
                self._procs.append(start_window_manager(env))
            except RuntimeError:
                self.close_display()
                raise
            return ":%d" % n
        raise RuntimeError("no free X display")

    def close(self):
        subprocess.run(["wineserver", "-k"], env=getattr(self, "env", None),
                       stderr=subprocess.DEVNULL, timeout=60)
        self.close_display()

    def close_display(self):
        for proc in reversed(self._procs):
            if proc is not None:
                end_process(proc)
        self._procs = []

    # --- running things on this desktop ---
    def wine(self, *args, timeout=120):
        return subprocess.run([self.wine_run, *args], env=self.env, stdin=subprocess.DEVNULL,
                              timeout=timeout, **QUIET).returncode

    def run(self, *args, timeout=30, check=True, input=None):
        return subprocess.run(args, env=self.env, capture_output=True, timeout=timeout,
                              check=check, input=input).stdout.decode("utf-8", "replace")

    def xdotool(self, *args, check=True):
        return self.run("xdotool", *args, check=check)

    def windows(self, pattern, visible=True):
        """Ids of the X windows whose name matches `pattern`."""
        return [int(w) for w in self.xdotool("search", *(["--onlyvisible"] if visible else []),
                                             "--name", pattern, check=False).split()]

    def click(self, x, y, button=1, double=False):
        self.xdotool("mousemove", "--sync", str(x), str(y))
        self.xdotool("click", *(["--repeat", "2", "--delay", "80"] if double else []), str(button))

    def key(self, *keys):
        self.xdotool("key", "--delay", "30", *keys)

    def activate(self, window):
        self.xdotool("windowactivate", "--sync", str(window), check=False)

    def stacking(self):
        """The managed windows from bottom to top."""
        out = self.run("xprop", "-root", "_NET_CLIENT_LIST_STACKING")
        return [int(w, 16) for w in re.findall(r"0x[0-9a-f]+", out.split("#", 1)[-1])]

    def screenshot(self, name):
        """The screen as <shots>/<nn>-<name>.png once two captures agree (painting done)."""
        os.makedirs(self.shots_folder, exist_ok=True)
        self.shots += 1
        path = os.path.join(self.shots_folder, "%02d-%s.png" % (self.shots, name))
        previous = None
        for _ in range(20):
            image = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"],
                                   env=self.env, capture_output=True, timeout=30).stdout
            if image == previous:
                break
            previous = image
            time.sleep(0.05)
        self.run("convert", "ppm:-", path, input=previous)
        return path

    # --- the X clipboard ---
    def copy_text(self, text, target=()):
        copy_text(text, self.env, target)

    def clear_clipboard(self):
        """An owner offering only an unknown type empties Wine's clipboard too (no owner at all
        would leave Wine what it took over last)."""
        self.copy_text("-", ("-t", "application/x-zovrel-nothing"))
        poll(lambda: "text" not in self.run("xclip", "-selection", "clipboard", "-o", "-t",
                                            "TARGETS", check=False), 10,
             message="the X clipboard kept its text")

    def clipboard_text(self):
        return self.run("xclip", "-selection", "clipboard", "-o", timeout=10, check=False)

    # --- Wine's tray (no panel here: Wine shows the icons in its own window) ---
    def tray_window(self):
        return (self.windows("^Wine System Tray$") or [None])[0]

    def tray_click(self, button=1):
        tray = poll(self.tray_window, 10, message="no Wine System Tray window")
        self.xdotool("mousemove", "--sync", "--window", str(tray), "8", "10")
        self.xdotool("click", str(button))

    def popup_windows(self, program="zovrel.exe"):
        """Mapped unnamed top-level windows of a program (menus, drop-down lists):
        [(id, x, y, width, height)]."""
        found = []
        for m in re.finditer(r"^\s*(0x[0-9a-f]+) \(has no name\): \(\"%s\".*\)\s+(\d+)x(\d+)"
                             r"([+-]\d+)([+-]\d+)" % re.escape(program),
                             self.run("xwininfo", "-root", "-children"), re.M):
            wid, w, h, x, y = int(m[1], 16), *map(int, m.groups()[1:])
            if "IsViewable" in self.run("xwininfo", "-id", str(wid), check=False):
                found.append((wid, x, y, w, h))
        return found


class Program:
    """zovrel.exe in a folder of its own (portable mode) on a desktop."""

    def __init__(self, desktop, folder, exe):
        self.desktop, self.folder, self.proc = desktop, folder, None
        self.exe = os.path.join(folder, "zovrel.exe")
        os.makedirs(folder, exist_ok=True)
        shutil.copy2(exe, self.exe)
        for extra in glob.glob(os.path.join(os.path.dirname(exe), "version")):
            shutil.copy2(extra, folder)
        open(os.path.join(folder, "portable"), "w").close()

    def start(self):
        self.proc = self.launch()
        return self.proc

    def launch(self):
        """One more start of the program (a second instance when one runs)."""
        return subprocess.Popen([self.desktop.wine_run, self.exe], env=self.desktop.env,
                                stdin=subprocess.DEVNULL, **QUIET)

    def wait_exit(self, timeout=30):
        return self.proc.wait(timeout)

    def kill(self):
        if self.proc is not None and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(10)

    # --- its main window ---
    def title(self, window):
        return self.desktop.xdotool("getwindowname", str(window)).strip()

    def wait_title(self, title, timeout=60):
        def titles():
            return {w: self.title(w) for w in self.desktop.windows(MAIN_TITLE)}
        try:
            return poll(lambda: [w for w, t in titles().items() if t == title], timeout)[0]
        except AssertionError:
            raise AssertionError("no main window titled %r; windows: %s; process: %s" % (
                title, titles(), self.proc and self.proc.poll())) from None

    # --- its files ---
    def write_settings(self, **values):
        lines = ["[Settings]"] + ["%s=%s" % kv for kv in values.items()]
        with open(os.path.join(self.folder, "zovrel.ini"), "w", encoding="utf-8") as f:
            f.write("\r\n".join(lines) + "\r\n")

    def log(self):
        paths = sorted(glob.glob(os.path.join(self.folder, "logs", "*.log")))
        return "".join(read_text(path) for path in paths).splitlines()

    def wait_log(self, text, after=0, timeout=20):
        return wait_line(self.log, text, after, timeout)

    def history(self):
        """[(id, kind, text)] newest first, as saved in the history folder."""
        def read(name):
            path = os.path.join(self.folder, "history", name)
            return read_text(path) if os.path.exists(path) else ""
        order = re.search(r"^Order=(.*)$", read("index.ini"), re.M)
        entries = []
        for piece in filter(None, (p.strip() for p in (order[1] if order else "").split(","))):
            kind = re.search(r"^Kind=(\d+)", read(piece + ".meta"), re.M)
            if read(piece + ".meta"):
                entries.append((int(piece), int(kind[1]) if kind else 0, read(piece + ".txt")))
        return entries

    def wait_history(self, count, timeout=20):
        return poll(lambda: len(self.history()) == count and self.history(), timeout,
                    message="expected %d history entries, have %s" % (count, self.history()))
