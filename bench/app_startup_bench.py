#!/usr/bin/env python3
"""zovrel.exe under Wine: start-up to the main window shown, with an empty history and with a
full one (30 images of 10 MiB: as the previous version wrote it, without stored fingerprints, and
as the program leaves it once it has stored them), the resident memory in each case, and the
idle CPU over 60 s
with the port open and the device's heartbeat coming in (the program's own process, the Wine
server and Wine's other processes, from /proc).

usage: bench/app_startup_bench.py --exe build/win64/src/ui/zovrel.exe [--runs 5] [--idle 60]
       [--idle-only | --no-idle]

Runs on a virtual display of its own, in the Wine prefix build/wine-bench."""

import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(SOURCE, "tests", "support"))
from harness import MAIN_TITLE, SCREEN, ComPort, Desktop, Program, Sim, poll  # noqa: E402

TICKS = os.sysconf("SC_CLK_TCK")
IMAGE_BYTES = 10 << 20


def make_full_history(folder, image):
    """30 image entries of 10 MiB each, as the history store saves them."""
    os.makedirs(folder, exist_ok=True)
    size = os.path.getsize(image)
    for n in range(1, 31):
        shutil.copyfile(image, os.path.join(folder, "%d.png" % n))
        with open(os.path.join(folder, "%d.meta" % n), "w") as f:
            f.write("[Entry]\r\nKind=1\r\nDataSize=%d\r\nTimeHigh=31000000\r\nTimeLow=%d\r\n"
                    "ImageFileName=picture%d.png\r\n" % (size, n, n))
    with open(os.path.join(folder, "index.ini"), "w") as f:
        f.write("[Meta]\r\nCount=30\r\nNextId=30\r\nCurrentId=30\r\nOrder=%s\r\n"
                % ",".join(str(n) for n in range(30, 0, -1)))


def make_image(path):
    """A PNG of random pixels of at least 10 MiB (random bytes do not compress)."""
    side = 1880
    raw = path + ".rgb"
    with open(raw, "wb") as f:
        f.write(os.urandom(side * side * 3))
    subprocess.run(["convert", "-size", "%dx%d" % (side, side), "-depth", "8", "rgb:" + raw,
                    "-define", "png:compression-level=1", path], check=True)
    os.unlink(raw)
    if os.path.getsize(path) < IMAGE_BYTES:
        raise RuntimeError("the image came out smaller than 10 MiB")
    return path


def linux_pid(name):
    """The pid of the Linux process running a Windows program (its command line names it)."""
    out = subprocess.run(["pgrep", "-f", name], capture_output=True, text=True).stdout.split()
    return int(out[0]) if out else None


def cpu_ticks(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime + stime


def thread_ticks(pid):
    """tid -> CPU ticks of every thread of a process."""
    found = {}
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/stat" % (pid, tid)) as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        found[int(tid)] = int(fields[11]) + int(fields[12])
    return found


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def wine_processes(prefix):
    """pid -> name of every process of this prefix's Wine session (by its environment)."""
    found = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/environ" % entry, "rb") as f:
                env = f.read().split(b"\0")
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                cmd = f.read().split(b"\0")[0].decode("utf-8", "replace")
        except OSError:
            continue
        if ("WINEPREFIX=%s" % prefix).encode() in env or (
                "wineserver" in cmd and b"WINEPREFIX=" + prefix.encode() in env):
            found[int(entry)] = os.path.basename(cmd.replace("\\", "/"))
    return found


def start_once(desktop, folder, exe, history=None):
    """Seconds from the process start to the main window shown, and the program."""
    prog = Program(desktop, folder, exe)
    # With a port chosen the window opens on the history page and paints the rows' thumbnails
    # (without one it opens on the port settings); this port does not exist, so none is opened.
    prog.write_settings(UartComPort="COM9")
    if history:
        shutil.rmtree(os.path.join(folder, "history"), ignore_errors=True)
        shutil.copytree(history, os.path.join(folder, "history"))
        # 300 MB just copied would still be on its way to the disk, and the program's first
        # flush of a file of its own would wait for all of it.
        os.sync()
    # Away from where the window opens: a pointer resting on a row would open its preview.
    desktop.xdotool("mousemove", "--sync", str(SCREEN[0] - 1), str(SCREEN[1] - 1))
    started = time.monotonic()
    prog.start()
    poll(lambda: desktop.windows(MAIN_TITLE), 120, 0.01)
    return time.monotonic() - started, prog


def keep_stored_fingerprints(desktop, folder, exe, full, stored):
    """The full history as the program leaves it once it has stored every fingerprint."""
    _, prog = start_once(desktop, folder, exe, full)
    history = os.path.join(folder, "history")

    def all_stored():
        for n in range(1, 31):
            with open(os.path.join(history, "%d.meta" % n), encoding="utf-8",
                      errors="replace") as f:
                if "Fingerprint=" not in f.read():
                    return False
        return True
    poll(all_stored, 120, 0.2)
    stop(desktop, prog)
    shutil.copytree(history, stored)


def settle(pid, timeout=30):
    """Waits until the process has used less than 20 ms of CPU in a second: the first paint
    and the thumbnails of the visible rows, decoded off the window's thread, are done."""
    end = time.monotonic() + timeout
    before = cpu_ticks(pid)
    while time.monotonic() < end:
        time.sleep(1)
        now = cpu_ticks(pid)
        if (now - before) * 1000 // TICKS < 20:
            return
        before = now


def show_preview(desktop, pid):
    """Rests the pointer on the first row's image, so its preview opens, and lets it settle."""
    window = desktop.windows(MAIN_TITLE)[0]
    info = desktop.run("xwininfo", "-id", str(window))
    left, top = (int(re.search(r"Absolute upper-left %s:\s*(-?\d+)" % axis, info).group(1))
                 for axis in "XY")
    # The first row's content area: below the list's top (60) and the row's header line (28).
    desktop.xdotool("mousemove", "--sync", str(left + 120), str(top + 60 + 28 + 30))
    time.sleep(0.5)
    settle(pid)


def stop(desktop, prog):
    prog.kill()
    # The killed process's windows go with it; the next start must not find it running.
    poll(lambda: not desktop.windows(MAIN_TITLE, visible=False), 30)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--idle", type=int, default=60)
    parser.add_argument("--idle-only", action="store_true",
                        help="measure the idle CPU only, without the start-up runs")
    parser.add_argument("--no-idle", action="store_true",
                        help="the start-up runs only, without the idle CPU")
    args = parser.parse_args()
    exe = os.path.abspath(args.exe)
    work = tempfile.mkdtemp(prefix="zovrel-bench-")
    prefix = os.path.join(SOURCE, "build", "wine-bench")
    desktop = Desktop(prefix, shots=os.path.join(work, "shots"))
    try:
        started = time.monotonic()
        desktop.wine("cmd", "/c", "exit")
        floor = time.monotonic() - started
        print("Wine's own floor (cmd /c exit): %.2f s" % floor)

        cases = []
        if not args.idle_only:
            full = os.path.join(work, "full-history")
            make_full_history(full, make_image(os.path.join(work, "noise.png")))
            stored = os.path.join(work, "full-history-stored")
            cases = [("empty history", None),
                     ("30 x 10 MiB images, written by the previous version", full),
                     ("30 x 10 MiB images, fingerprints stored", stored)]
        for label, history in cases:
            times, rss, preview = [], [], []
            for run in range(args.runs):
                folder = os.path.join(work, "run-%d" % run)
                if history == stored and not os.path.exists(stored):
                    keep_stored_fingerprints(desktop, folder, exe, full, stored)
                seconds, prog = start_once(desktop, folder, exe, history)
                times.append(seconds)
                pid = linux_pid(prog.exe)
                if pid:
                    settle(pid)
                rss.append(rss_kib(pid) if pid else 0)
                if pid and history:
                    show_preview(desktop, pid)
                    preview.append(rss_kib(pid) - rss[-1])
                stop(desktop, prog)
            print("start-up to main window shown, %s: median %.2f s (min %.2f, max %.2f, "
                  "%d runs); resident memory median %.0f MiB" % (
                      label, statistics.median(times), min(times), max(times), args.runs,
                      statistics.median(rss) / 1024))
            if preview:
                print("  with the first row's preview shown: median +%.1f MiB" % (
                    statistics.median(preview) / 1024))

        if args.no_idle:
            return
        # Idle: the port open, the device's heartbeat every 5 s, nothing else happening.
        sim = Sim("--link", os.path.join(work, "tty"))
        port = ComPort(sim.path, desktop.prefix)
        try:
            prog = Program(desktop, os.path.join(work, "idle"), exe)
            prog.write_settings(UartComPort=port.name)
            # Away from the window: while the pointer rests on a window that asked for its
            # leaving, Wine asks the X server where the pointer is every 400 ms (Windows has no
            # such poll), which would be counted as the program's idle work.
            desktop.xdotool("mousemove", "--sync", str(SCREEN[0] - 1), str(SCREEN[1] - 1))
            prog.start()
            prog.wait_title("zovrel")
            prog.wait_log("串口已打开: %s @ 2000000 bps" % port.name, timeout=60)
            time.sleep(10)  # settle: start-up work and the first heartbeats are done
            pids = wine_processes(prefix)
            before = {pid: cpu_ticks(pid) for pid in pids if os.path.exists("/proc/%d" % pid)}
            own_threads = thread_ticks(linux_pid(prog.exe))
            echoes = len(prog.log())
            time.sleep(args.idle)
            after = {pid: cpu_ticks(pid) for pid in before if os.path.exists("/proc/%d" % pid)}
            heartbeats = sum("PERIPHERAL ECHO" in line for line in prog.log()[echoes:])
            own = linux_pid(prog.exe)
            print("idle over %d s with the port open (%d heartbeats answered), %% of one core:"
                  % (args.idle, heartbeats))
            for pid in sorted(after, key=lambda p: (p != own, pids[p])):
                share = (after[pid] - before[pid]) / TICKS / args.idle * 100
                note = {own: "   <- zovrel.exe", sim.proc.pid: "   <- the simulated device"}
                print("  %-22s %6.3f %%%s" % (pids[pid], share, note.get(pid, "")))
            threads = thread_ticks(own)
            print("  zovrel.exe by thread: user-interface thread %.3f %%, other threads "
                  "(serial reader) %.3f %%" % (
                      (threads[own] - own_threads[own]) / TICKS / args.idle * 100,
                      sum(threads[t] - own_threads.get(t, 0) for t in threads if t != own) /
                      TICKS / args.idle * 100))
            print("  resident memory of zovrel.exe while idle: %.0f MiB" % (rss_kib(own) / 1024))
            stop(desktop, prog)
        finally:
            port.close()
            sim.close()
    finally:
        desktop.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
