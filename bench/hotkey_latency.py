#!/usr/bin/env python3
"""zovrel.exe under Wine: the time from the send hotkey to the first frame of the send on the
line (the device's START_REQUEST as the simulated device reads it), with the main window hidden
and a window of another Wine program in front (under Wine a hotkey fires only while a Wine
window has the X focus). The time starts just before `xdotool key` is run, so it includes
starting that process and the X server's trip to Wine.

usage: bench/hotkey_latency.py --exe build/win64/src/ui/zovrel.exe
       --helper build/win64/tests/e2e/desktop_helper.exe [--runs 20] [--prefix DIR]

Runs on a virtual display of its own, in the Wine prefix build/wine-bench unless --prefix."""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(SOURCE, "tests", "support"))
from harness import ComPort, Desktop, Program, Sim, poll  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--helper", required=True)
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--prefix", default=os.path.join(SOURCE, "build", "wine-bench"))
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="zovrel-bench-")
    desktop = Desktop(os.path.abspath(args.prefix), shots=os.path.join(work, "shots"))
    sim = port = prog = stand_in = None
    try:
        sim = Sim("--link", os.path.join(work, "tty"))
        port = ComPort(sim.path, desktop.prefix)
        prog = Program(desktop, os.path.join(work, "zovrel"), os.path.abspath(args.exe))
        prog.write_settings(UartComPort=port.name)
        prog.start()
        window = prog.wait_title("zovrel")
        prog.wait_log("串口已打开: %s @ 2000000 bps" % port.name, timeout=60)
        desktop.copy_text("hotkey latency")
        prog.wait_history(1)
        stand_in = subprocess.Popen([desktop.wine_run, os.path.abspath(args.helper), "stand-in",
                                     "another program"], env=desktop.env,
                                    stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)
        assert stand_in.stdout.readline().strip() == b"ready"
        other = poll(lambda: desktop.windows("^another program$"), 10)[0]
        desktop.activate(window)
        desktop.key("Escape")
        poll(lambda: window not in desktop.windows("^zovrel"), 10)

        times = []
        for _ in range(args.runs):
            desktop.activate(other)
            time.sleep(0.3)  # the focus settled; nothing else is under way
            mark = len(sim.events)
            start_us = time.monotonic_ns() // 1000
            desktop.key("ctrl+alt+s")
            # The send's first frame; the heartbeat's answers come in between.
            first = sim.wait_for(lambda e: e["ev"] == "frame" and e["dir"] == "rx"
                                 and e["type"] == "START_REQUEST", 30, mark)
            times.append((first["t_us"] - start_us) / 1000)
            sim.wait_for(lambda e: e["ev"] == "transfer_done" and e["dir"] == "in", 30, mark)
        print("  each: " + " ".join("%.0f" % t for t in times))
        print("send hotkey to the first frame on the line, window hidden: median %.1f ms "
              "(min %.1f, max %.1f, %d presses)" % (statistics.median(times), min(times),
                                                   max(times), len(times)))
        started = time.monotonic()
        desktop.xdotool("key", "shift")
        print("  of which starting xdotool for one key: about %.1f ms"
              % ((time.monotonic() - started) * 1000))
    finally:
        if stand_in is not None:
            stand_in.kill()
            stand_in.wait()
            stand_in.stdout.close()
        if prog is not None:
            prog.kill()
        if port is not None:
            port.close()
        if sim is not None:
            sim.close()
        desktop.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
