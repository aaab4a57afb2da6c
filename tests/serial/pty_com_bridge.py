#!/usr/bin/env python3
"""Runs a Windows test program under Wine against a COM port that is really a Linux pty.

The bridge creates a pty, maps a free COM name of the Wine prefix to its slave side (the
dosdevices link Wine opens, plus the SERIALCOMM entry Wine's mount manager would write), passes
the name to the program in ZOVREL_TEST_COM and plays an echoing device on the master side. Two
markers change that: on the line marker it answers with the pty's line settings as Windows set
them ("LINE-OK" or "LINE-BAD <what>"), on the unplug marker it closes the pty, as a pulled USB
adapter would.

usage: pty_com_bridge.py --wine-run scripts/wine-run -- program.exe [args...]
"""
import argparse
import os
import select
import subprocess
import sys
import termios
import threading

UNPLUG_MARKER = b"<<zovrel-test-unplug>>"
LINE_MARKER = b"<<zovrel-test-line?>>"


def line_report(fd):
    """What the pty's line settings are, as the Windows side configured them."""
    iflag, oflag, cflag, lflag, ispeed, ospeed, _ = termios.tcgetattr(fd)
    faults = []
    if ispeed != termios.B2000000 or ospeed != termios.B2000000:
        faults.append("speed")
    if cflag & termios.CSIZE != termios.CS8:
        faults.append("size")
    if cflag & (termios.PARENB | termios.CSTOPB):
        faults.append("parity/stop")
    if cflag & termios.CRTSCTS:
        faults.append("rtscts")
    if iflag & (termios.IXON | termios.IXOFF | termios.ISTRIP | termios.ICRNL | termios.INLCR):
        faults.append("input processing")
    if lflag & (termios.ICANON | termios.ECHO | termios.ISIG):
        faults.append("canonical/echo")
    if oflag & termios.OPOST:
        faults.append("output processing")
    return b"LINE-OK\n" if not faults else ("LINE-BAD " + ",".join(faults) + "\n").encode()


def wine_prefix(wine_run):
    prefix = os.environ.get("WINEPREFIX")
    if prefix:
        return prefix
    return os.path.join(os.path.dirname(os.path.abspath(wine_run)), "..", "build", "wine")


def reg(wine_run, *args):
    subprocess.run([wine_run, "reg", *args], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False, timeout=120)


class EchoDevice(threading.Thread):
    def __init__(self, master, slave):
        super().__init__(daemon=True)
        self.master = master
        self.slave = slave
        self.stop = threading.Event()
        self.unplugged = False

    def run(self):
        tail = b""
        while not self.stop.is_set():
            ready, _, _ = select.select([self.master], [], [], 0.1)
            if not ready:
                continue
            try:
                data = os.read(self.master, 65536)
            except OSError:
                continue  # no one holds the slave side open right now
            tail = (tail + data)[-len(UNPLUG_MARKER) * 2:]
            if UNPLUG_MARKER in tail:
                self.unplug()
                return
            if LINE_MARKER in tail:
                tail = b""
                data = line_report(self.slave)
            view = memoryview(data)
            while view:
                written = os.write(self.master, view)
                view = view[written:]

    def unplug(self):
        if not self.unplugged:
            self.unplugged = True
            os.close(self.master)
            os.close(self.slave)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    options = parser.parse_args()
    command = [c for c in options.command if c != "--"]
    if not command:
        parser.error("no program to run")

    dosdevices = os.path.join(wine_prefix(options.wine_run), "dosdevices")
    os.makedirs(dosdevices, exist_ok=True)

    # The bridge keeps a slave descriptor of its own, so the master side never reads EIO in the
    # moments between the program closing and reopening the port.
    master, slave = os.openpty()
    slave_path = os.ttyname(slave)

    number, link = None, None
    for n in range(40, 240):
        candidate = os.path.join(dosdevices, "com%d" % n)
        try:
            os.symlink(slave_path, candidate)
        except FileExistsError:
            continue
        number, link = n, candidate
        break
    if link is None:
        print("pty_com_bridge: no free COM name", file=sys.stderr)
        return 1
    com = "COM%d" % number
    device_value = "\\Device\\ZovrelBridge%d" % number

    device = EchoDevice(master, slave)
    try:
        reg(options.wine_run, "add", r"HKLM\HARDWARE\DEVICEMAP\SERIALCOMM", "/v", device_value,
            "/t", "REG_SZ", "/d", com, "/f")
        print("pty_com_bridge: %s -> %s" % (com, slave_path), flush=True)
        device.start()
        env = dict(os.environ, ZOVREL_TEST_COM=com)
        if command[0].lower().endswith(".exe"):
            command = [options.wine_run] + command
        return subprocess.run(command, env=env, check=False).returncode
    finally:
        device.stop.set()
        device.join(timeout=2)
        device.unplug()
        os.unlink(link)
        reg(options.wine_run, "delete", r"HKLM\HARDWARE\DEVICEMAP\SERIALCOMM", "/v",
            device_value, "/f")


if __name__ == "__main__":
    sys.exit(main())
