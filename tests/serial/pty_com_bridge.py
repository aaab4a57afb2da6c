#!/usr/bin/env python3
"""usage: pty_com_bridge.py PROGRAM [WINE_RUN]: runs PROGRAM with ZOVREL_TEST_PORT naming a pty
(under Wine a COM name) and plays a device echoing all but three markers: it answers whether the
line is raw 8N1 at 2000000, stops reading for a while (so writes to it stall) and then drops what
it was sent, and closes the pty like a pulled adapter."""
import os
import select
import subprocess
import sys
import termios as t
import threading

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from harness import ComPort  # noqa: E402

UNPLUG_MARKER = b"<<zovrel-test-unplug>>"
LINE_MARKER = b"<<zovrel-test-line?>>"
HOLD_MARKER = b"<<zovrel-test-hold>>"
HOLD_SECONDS = 1.0


def line_ok(fd):
    iflag, oflag, cflag, lflag, ispeed, ospeed, _ = t.tcgetattr(fd)
    return (ispeed == ospeed == t.B2000000
            and cflag & (t.CSIZE | t.PARENB | t.CSTOPB | t.CRTSCTS) == t.CS8
            and not iflag & (t.IXON | t.IXOFF | t.ISTRIP | t.ICRNL | t.INLCR)
            and not lflag & (t.ICANON | t.ECHO | t.ISIG) and not oflag & t.OPOST)


def play_device(master, slave, stop):
    tail = b""
    try:
        while not stop.is_set():
            if not select.select([master], [], [], 0.1)[0]:
                continue
            data = os.read(master, 65536)
            tail = (tail + data)[-2 * len(UNPLUG_MARKER):]
            if UNPLUG_MARKER in tail:
                return
            if HOLD_MARKER in tail:
                stop.wait(HOLD_SECONDS)
                while select.select([master], [], [], 0.3)[0]:
                    os.read(master, 65536)
                tail = b""
                continue
            if LINE_MARKER in tail:
                tail, data = b"", b"LINE-OK\n" if line_ok(slave) else b"LINE-BAD\n"
            while data:
                data = data[os.write(master, data):]
    finally:
        os.close(master)
        os.close(slave)


def main(program, wine_run=None):
    # Holding the slave open spares the master EIO while the program closes and reopens the port.
    master, slave = os.openpty()
    port, com = os.ttyname(slave), None
    if wine_run:
        com = ComPort(port, wine_run=wine_run, for_new_server=True)
        port = com.name
    stop = threading.Event()
    device = threading.Thread(target=play_device, args=(master, slave, stop), daemon=True)
    device.start()
    try:
        command = [wine_run, program] if wine_run else [program]
        return subprocess.run(command, env=dict(os.environ, ZOVREL_TEST_PORT=port)).returncode
    finally:
        stop.set()
        device.join(timeout=2)
        if com:
            com.close()


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
