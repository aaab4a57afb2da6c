#!/usr/bin/env python3
"""Resident memory of zovrel-cli sending a big file (native build): idle, over the checksum pass
and the first chunks, then cancelled with Ctrl+C. Prints figures; asserts nothing.

  bench/send_memory.py --cli build/native/src/cli/zovrel-cli [--size 1073741824] [--chunks 50]

Idle is `listen` on the same simulated device for a few seconds. Both runs go under
/usr/bin/time -v, whose "Maximum resident set size" is the figure; VmRSS is also sampled every
20 ms to tell the checksum pass (before the first MIDDLE_PACKET) from the chunks. The file is
sparse: its zeros cost the disk nothing, and the program reads every byte of it all the same.
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def child_of(pid):
    """The program that /usr/bin/time started."""
    for _ in range(500):
        try:
            with open("/proc/%d/task/%d/children" % (pid, pid)) as f:
                children = f.read().split()
            if children:
                return int(children[0])
        except OSError:
            pass
        time.sleep(0.01)
    raise RuntimeError("the program did not start")


def rss_kib(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def max_rss_kib(time_output):
    found = re.search(r"Maximum resident set size \(kbytes\): (\d+)", time_output)
    return int(found.group(1)) if found else 0


def run(cli, root, port, args, stop_when):
    """Runs zovrel-cli under /usr/bin/time -v; sends it SIGINT once stop_when(stdout lines) is
    true. Returns (time's maximum RSS, RSS samples as (phase, KiB), stdout lines)."""
    run.pass_seconds = 0.0
    proc = subprocess.Popen(["/usr/bin/time", "-v", cli, "--data-root", root, "--port", port] +
                            args, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    program = child_of(proc.pid)
    lines, samples, stopped = [], [], threading.Event()
    err = []
    threading.Thread(target=lambda: err.append(proc.stderr.read().decode("utf-8", "replace")),
                     daemon=True).start()

    def sample():
        while proc.poll() is None:
            phase = "chunks" if any("MIDDLE_PACKET" in l for l in lines) else "before"
            samples.append((phase, rss_kib(program)))
            time.sleep(0.02)

    threading.Thread(target=sample, daemon=True).start()
    begun = time.monotonic()
    for raw in proc.stdout:
        lines.append(raw.decode("utf-8", "replace").rstrip("\n"))
        if "TRANS START_REQUEST" in lines[-1] and not run.pass_seconds:
            run.pass_seconds = time.monotonic() - begun
        if not stopped.is_set() and stop_when(lines):
            stopped.set()
            os.kill(program, signal.SIGINT)
    proc.wait(timeout=120)
    time.sleep(0.1)
    return max_rss_kib("".join(err)), samples, lines, "".join(err)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", required=True, help="the native zovrel-cli")
    parser.add_argument("--size", type=int, default=1 << 30, help="bytes in the file")
    parser.add_argument("--chunks", type=int, default=50, help="chunks sent before Ctrl+C")
    parser.add_argument("--idle-seconds", type=int, default=3)
    options = parser.parse_args()
    sys.path.insert(0, os.path.join(HERE, "..", "tests", "tools"))
    from simtools import Sim

    cli = os.path.abspath(options.cli)
    work = tempfile.mkdtemp(prefix="zovrel-send-memory-")
    sim = None
    try:
        link = os.path.join(work, "tty")
        sim = Sim("--link", link, "--out", os.path.join(work, "device-got"))
        root = os.path.join(work, "root")
        os.mkdir(root)
        big = os.path.join(work, "big.bin")
        with open(big, "wb") as f:
            f.truncate(options.size)

        idle, _, _, _ = run(cli, root, link, ["listen", "--seconds", str(options.idle_seconds)],
                            lambda lines: False)
        started = time.monotonic()
        peak, samples, lines, err = run(
            cli, root, link, ["send", "--file", big],
            lambda ls: sum("TRANS MIDDLE_PACKET" in l for l in ls) >= options.chunks)
        took = time.monotonic() - started
        chunks = sum("TRANS MIDDLE_PACKET" in l for l in lines)
        before = max([k for phase, k in samples if phase == "before"] or [0])
        during = max([k for phase, k in samples if phase == "chunks"] or [0])
        cancelled = "已取消发送" in err

        print("zovrel-cli native, file of %d bytes, %d chunks sent, then Ctrl+C (%s), %.1f s"
              % (options.size, chunks, "cancelled" if cancelled else "NOT CANCELLED", took))
        print("maximum RSS (/usr/bin/time -v): idle (listen %d s) %d KiB, send %d KiB:"
              " %+d KiB (%.1f MiB) over idle" % (options.idle_seconds, idle, peak, peak - idle,
                                                 (peak - idle) / 1024.0))
        print("sampled VmRSS: checksum pass and handshake up to %d KiB, chunks up to %d KiB;"
              " start to START_REQUEST (mostly the checksum pass) %.1f s"
              % (before, during, run.pass_seconds))
        return 0
    finally:
        if sim:
            sim.close()
        shutil.rmtree(work, True)


if __name__ == "__main__":
    sys.exit(main())
