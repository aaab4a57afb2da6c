#!/usr/bin/env python3
"""Transfer speed and reply latency of the real zovrel-cli against the device simulator, with the
line emulated at 2000000 baud 8N1. Prints figures; asserts nothing.

  bench/e2e_throughput.py --cli build/native/src/cli/zovrel-cli
  bench/e2e_throughput.py --cli build/win64/src/cli/zovrel-cli.exe --wine-run scripts/wine-run

Receiving: the simulator sends a file and its next chunk as soon as it has the reply. Sending:
zovrel-cli send, whose every frame waits 150 ms first; the bound for one chunk of 10240 bytes is
150 ms + its time on the wire. The whole send, from the first byte of START_REQUEST to the last
of FINISH_PACKET, has a lower ceiling: the chunks' bound plus four paced handshake frames
(START_REQUEST, DEVICE_QUERY, FIRST_PACKET, FINISH_PACKET).
"""

import argparse
import os
import shutil
import statistics
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
LINE_RATE = 200000  # bytes per second at 2000000 baud, 10 bits a byte
CHUNK = 10240
FRAME_OVERHEAD = 21
CHUNK_WIRE_BYTES = FRAME_OVERHEAD + 9 + CHUNK + 4  # frame overhead, chunk head, data, checksum
FIRST_PACKET_WIRE_BYTES = FRAME_OVERHEAD + 105  # the body carries the transfer descriptor
PACING_S = 0.150


def wire_s(frame_bytes):
    return frame_bytes * 10 / 2000000


def whole_send_ceiling(size):
    """Bytes per second of a whole send when nothing but pacing and the wire take time: every
    frame after START_REQUEST waits 150 ms, then takes its time on the wire."""
    seconds = wire_s(FRAME_OVERHEAD)  # START_REQUEST itself
    for wire in (FRAME_OVERHEAD, FIRST_PACKET_WIRE_BYTES, FRAME_OVERHEAD):  # query, first, finish
        seconds += PACING_S + wire_s(wire)
    for at in range(0, size, CHUNK):
        seconds += PACING_S + wire_s(CHUNK_WIRE_BYTES - CHUNK + min(CHUNK, size - at))
    return size / seconds


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(fraction * (len(ordered) - 1))))]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", required=True, help="zovrel-cli or zovrel-cli.exe")
    parser.add_argument("--wine-run", default="", help="scripts/wine-run for the .exe")
    parser.add_argument("--size", type=int, default=2 * 1024 * 1024, help="bytes each way")
    options = parser.parse_args()

    os.environ["ZOVREL_CLI"] = os.path.abspath(options.cli)
    if options.wine_run:
        os.environ["ZOVREL_WINE_RUN"] = os.path.abspath(options.wine_run)
    sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
    import e2e_support
    from e2e_support import Cli, ComPort, run_cli
    from harness import Sim

    work = tempfile.mkdtemp(prefix="zovrel-bench-")
    sim = None
    com = None
    try:
        root = os.path.join(work, "root")
        link = os.path.join(work, "tty")
        sim = Sim("--link", link, "--out", os.path.join(work, "device-got"), "--heartbeat", "5")
        port = link
        if e2e_support.UNDER_WINE:
            com = ComPort(sim.path)
            port = com.name
        payload = os.urandom(options.size)
        source = os.path.join(work, "payload.bin")
        with open(source, "wb") as f:
            f.write(payload)

        # Device -> program.
        cli = Cli(root, "--port", port, "listen")
        cli.wait_line("串口已打开: %s @ 2000000 bps" % port, timeout=60)
        answer = sim.cmd(cmd="send", kind="file", path=source, wait=True, timeout=600)
        result = answer["result"]
        cli.wait_line("FINISH_PACKET OK: kind=files", timeout=60)
        cli.stop()
        if not result.get("ok"):
            print("receive failed:", result)
            return 1
        receive_whole = options.size * 1e6 / result["duration_us"]
        receive_data = result["bytes_per_s"]
        latencies = [e["reply_latency_us"] for e in sim.events
                     if e["ev"] == "frame" and e.get("dir") == "rx" and e.get("ch") == 6
                     and "reply_latency_us" in e]

        # Program -> device.
        mark = len(sim.events)
        code, _, err = run_cli(root, "--port", port, "send", "--file", e2e_support.windows_path(source),
                               timeout=900)
        if code != 0:
            print("send failed:", err)
            return 1
        done = sim.wait_for(lambda e: e["ev"] == "transfer_done" and e["dir"] == "in",
                            after=mark, timeout=60)
        with open(done["path"], "rb") as f:
            intact = f.read() == payload
        send_whole = options.size * 1e6 / done["duration_us"]
        send_data = done.get("bytes_per_s", 0)
        chunk_bound = CHUNK / (PACING_S + wire_s(CHUNK_WIRE_BYTES))
        sent = [e for e in sim.events[mark:]
                if e["ev"] == "frame" and e.get("dir") == "rx" and e.get("ch") == 6]
        start = next(e for e in sent if e.get("type") == "START_REQUEST")
        finish = [e for e in sent if e.get("type") == "FINISH_PACKET"][-1]
        send_all = options.size * 1e6 / (finish["last_us"] - start["first_us"])
        ceiling = whole_send_ceiling(options.size)

        build = "win64 under Wine" if e2e_support.UNDER_WINE else "native"
        print("zovrel-cli %s, %d bytes each way, wire emulated at 2000000 baud" % (build,
                                                                                    options.size))
        print("receive (device -> program): %8.0f B/s whole transfer, %8.0f B/s chunks only;"
              " %.1f%% / %.1f%% of the line rate" % (receive_whole, receive_data,
                                                     100 * receive_whole / LINE_RATE,
                                                     100 * receive_data / LINE_RATE))
        print("send    (program -> device): %8.0f B/s whole transfer, %8.0f B/s chunks only;"
              " %.1f%% of the line rate, %.1f%% / %.1f%% of the pacing bound (%.0f B/s)%s" % (
                  send_whole, send_data, 100 * send_whole / LINE_RATE,
                  100 * send_whole / chunk_bound, 100 * send_data / chunk_bound, chunk_bound,
                  "" if intact else "  (CONTENT DIFFERS)"))
        print("send, START_REQUEST to FINISH_PACKET: %8.0f B/s, %.1f%% of its ceiling (%.0f B/s:"
              " the pacing bound with the four paced handshake frames)" % (
                  send_all, 100 * send_all / ceiling, ceiling))
        if latencies:
            print("reply latency over %d replies: median %.2f ms, p99 %.2f ms, max %.2f ms" % (
                len(latencies), statistics.median(latencies) / 1000,
                percentile(latencies, 0.99) / 1000, max(latencies) / 1000))
        return 0
    finally:
        if sim:
            sim.close()
        if com:
            com.close()
        shutil.rmtree(work, True)


if __name__ == "__main__":
    sys.exit(main())
