"""Whole simulator runs: two simulators on one pty, or a test playing the program."""

import errno
import json
import os
import select
import shutil
import struct
import tempfile
import time
import unittest

from simtools import Port, Sim
from zovrel_device import codec

FAST = ["--reply-timeout-ms", "500", "--heartbeat", "0"]


class TwoSimulators(unittest.TestCase):
    """A sends (as the device would to the program); B answers and stores."""

    def start(self, a_args=(), b_args=()):
        self.a = Sim(*FAST, *a_args)
        self.addCleanup(self.a.close)
        self.b = Sim("--device", self.a.path, "--heartbeat", "0", "--out",
                     os.path.join(self.a.dir, "out"), *b_args)
        self.addCleanup(self.b.close)
        self.addCleanup(shutil.rmtree, self.a.dir, True)

    def test_text_and_file_arrive_whole(self):
        self.start(b_args=["--max-packet", "200"])
        answer = self.a.cmd(cmd="send", kind="text", text="你好, zovrel", wait=True)
        self.assertTrue(answer["result"]["ok"], answer)
        got = self.b.wait_for(lambda e: e["ev"] == "transfer_done")
        self.assertEqual(got["text"], "你好, zovrel")
        with open(got["path"], encoding="utf-8") as f:
            self.assertEqual(f.read(), "你好, zovrel")

        src = os.path.join(self.a.dir, "photo 1.bin")
        content = os.urandom(5000)
        with open(src, "wb") as f:
            f.write(content)
        result = self.a.cmd(cmd="send", kind="file", path=src, wait=True)["result"]
        self.assertTrue(result["ok"], result)
        self.assertEqual((result["chunk"], result["chunks"]), (136, 37))
        got = self.b.wait_for(lambda e: e["ev"] == "transfer_done" and e["id"] == 2)
        with open(got["path"], "rb") as f:
            self.assertEqual(f.read(), content)
        self.assertEqual(os.path.basename(got["path"]), "photo 1.bin")
        with open(got["sidecar"], encoding="utf-8") as f:
            meta = json.load(f)
        self.assertEqual((meta["type_name"], meta["size"], meta["anomalies"]), ("file", 5000, []))

        # Chunks follow on: 37 MIDDLE_PACKETs, start = previous end + 1.
        middles = self.a.of("frame", dir="tx", type="MIDDLE_PACKET")[1:]
        self.assertEqual([m["start"] for m in middles], list(range(0, 5000, 136)))
        replies = self.a.of("frame", dir="rx", type="GENERAL_REPLY")
        self.assertTrue(replies and all("reply_latency_us" in r for r in replies))

    def test_line_pacing_is_two_megabaud(self):
        self.start()
        self.a.cmd(cmd="send", kind="file", size=30000, name="big.bin", wait=True)
        frame = self.a.of("frame", dir="tx", type="MIDDLE_PACKET")[0]
        self.assertEqual(frame["last_us"] - frame["first_us"], frame["wire"] * 5)
        # The receiving side sees the bytes arrive no faster than the line carries them.
        received = self.b.of("frame", dir="rx", type="MIDDLE_PACKET")[0]
        self.assertGreaterEqual(received["last_us"] - received["first_us"], received["wire"] * 5)
        self.assertGreaterEqual(received["first_us"], frame["first_us"])

    def test_noise_flipped_bits_and_lost_answers_are_survived(self):
        self.start()
        self.a.cmd(cmd="fault", kind="noise", bytes=40, false_start=True, type="MIDDLE_PACKET",
                   count=3)
        self.a.cmd(cmd="fault", kind="flip", type="MIDDLE_PACKET", nth=2)
        self.b.cmd(cmd="fault", kind="drop", type="FIRST_PACKET")
        result = self.a.cmd(cmd="send", kind="file", size=25000, name="r.bin", wait=True)["result"]
        self.assertTrue(result["ok"], result)
        # At least the lost answer and the spoiled chunk (more only if the host is slow).
        self.assertGreaterEqual(result["retransmits"], 2)
        resent = [e["type"] for e in self.a.of("frame", dir="tx") if e.get("retransmit")]
        self.assertIn("FIRST_PACKET", resent)
        self.assertIn("MIDDLE_PACKET", resent)
        got = self.b.wait_for(lambda e: e["ev"] == "transfer_done")
        self.assertEqual(got["size"], 25000)
        skipped = sum(e["bytes"] for e in self.b.of("noise"))
        flipped = self.a.of("fault", kind="flip")[0]
        # Every noise byte and the whole spoiled frame were dropped by B.
        self.assertEqual(skipped, 3 * 40 + 10253 + 21)
        self.assertEqual(len(flipped["flips"]), 1)

    def test_refused_chunks(self):
        self.start()
        self.b.cmd(cmd="fault", kind="fail_chunk", nth=1, count=2, code=7)
        ok = self.a.cmd(cmd="send", kind="text", text="x" * 100, wait=True)["result"]
        self.assertTrue(ok["ok"], ok)
        self.assertEqual(len(self.b.of("fault", kind="fail_chunk")), 2)
        self.b.cmd(cmd="fault", kind="fail_chunk", nth=1, count=4, code=9)
        bad = self.a.cmd(cmd="send", kind="text", text="y", wait=True)["result"]
        self.assertFalse(bad["ok"])
        self.assertIn("rsp_code=9", bad["reason"])

    def test_heartbeat_comes_back(self):
        self.start(b_args=["--answer-echo"])
        self.a.cmd(cmd="heartbeat", period=0.1)
        self.a.wait_for(lambda e: e["ev"] == "echo_ok")
        self.a.cmd(cmd="silence", on=True)
        # A malformed TLV must come back unchanged all the same.
        sn = self.a.cmd(cmd="echo", body_hex="1400" + "29000000" + "00" * 41)["sn"]
        self.a.wait_for(lambda e: e["ev"] == "echo_ok" and e["sn"] == sn)
        quiet_from = len(self.a.events)
        time.sleep(0.4)
        self.assertFalse([e for e in self.a.events[quiet_from:]
                          if e["ev"] == "frame" and e["type"] == "PERIPHERAL_ECHO"])
        self.assertFalse(self.a.of("echo_mismatch") or self.a.of("echo_lost"))


class ScriptedProgram(unittest.TestCase):
    """The test opens the simulator's pty and speaks as the program."""

    def setUp(self):
        self.out = tempfile.mkdtemp(prefix="zovrel-out-")
        self.sim = Sim("--heartbeat", "0", "--max-packet", "4160", "--out", self.out)
        self.sim.cmd(cmd="status")  # control answers once the line is up
        self.port = Port(self.sim.path)
        self.addCleanup(shutil.rmtree, self.sim.dir, True)
        self.addCleanup(self.sim.close)
        self.addCleanup(self.port.close)
        self.addCleanup(shutil.rmtree, self.out, True)

    def ask(self, ftype, sn, body=b""):
        self.port.send(codec.build_frame(6, ftype, sn, body))
        reply = self.port.next_frame(want=(codec.GENERAL_REPLY, codec.DEVICE_QUERY_RSP))
        self.assertEqual((reply.channel, reply.sn), (6, sn))
        return reply

    def code(self, ftype, sn, body=b""):
        reply = self.ask(ftype, sn, body)
        self.assertEqual(reply.type, codec.GENERAL_REPLY)
        self.assertIn(reply.payload[1], (2, 3))
        return reply.payload[0]

    def test_receiving_a_file_with_a_bad_chunk(self):
        data = os.urandom(9000)
        desc = codec.build_descriptor(codec.DATA_FILE, data, "dir\\sub\\a.txt")
        self.assertEqual(self.code(codec.START_REQUEST, 0), 0)
        rsp = self.ask(codec.DEVICE_QUERY, 0)
        self.assertEqual((rsp.type, rsp.payload), (codec.DEVICE_QUERY_RSP, h("40 10 00 00 00 00")))
        self.assertEqual(self.code(codec.FIRST_PACKET, 1, codec.build_first_packet_body(desc)), 0)
        body = bytearray(codec.build_middle_body(data[:4096], 0))
        body[20] ^= 1
        self.assertEqual(self.code(codec.MIDDLE_PACKET, 2, bytes(body)), 1)
        for i, start in enumerate(range(0, 9000, 4096)):
            piece = data[start : start + 4096]
            self.assertEqual(self.code(codec.MIDDLE_PACKET, 2 + i,
                                       codec.build_middle_body(piece, start)), 0)
        self.assertEqual(self.code(codec.FINISH_PACKET, 5), 0)
        done = self.sim.wait_for(lambda e: e["ev"] == "transfer_done")
        self.assertEqual(done["path"], os.path.join(self.out, "a.txt"))
        with open(done["path"], "rb") as f:
            self.assertEqual(f.read(), data)
        self.assertEqual(done["repeats"], 0)
        self.assertEqual(len(self.sim.of("chunk_bad")), 1)
        # Our answer to FINISH_PACKET got lost: the repeat is answered the same way.
        self.assertEqual(self.code(codec.FINISH_PACKET, 5), 0)

    def test_transfers_that_must_fail(self):
        self.assertEqual(self.code(codec.MIDDLE_PACKET, 1, codec.build_middle_body(b"x", 0)), 1)
        self.assertEqual(self.code(codec.FIRST_PACKET, 2, b"\x01" + bytes(52)), 1)
        # A descriptor whose mcAdd does not match the data.
        desc = bytearray(codec.build_descriptor(codec.DATA_TEXT, b"abc"))
        desc[44:48] = struct.pack("<I", 0x12F)
        desc[48:52] = struct.pack("<I", codec.checksum(desc[:48]))
        self.assertEqual(self.code(codec.FIRST_PACKET, 3, b"\x01" + bytes(desc)), 0)
        self.assertEqual(self.code(codec.MIDDLE_PACKET, 4, codec.build_middle_body(b"abc", 0)), 0)
        self.assertEqual(self.code(codec.FINISH_PACKET, 5), 1)
        # Missing data, and data beyond the announced size.
        desc = codec.build_descriptor(codec.DATA_TEXT, b"abcdef")
        self.assertEqual(self.code(codec.FIRST_PACKET, 6, b"\x01" + desc), 0)
        self.assertEqual(self.code(codec.MIDDLE_PACKET, 7, codec.build_middle_body(b"def", 3)), 0)
        self.assertEqual(self.code(codec.MIDDLE_PACKET, 8, codec.build_middle_body(b"ef!", 4)), 1)
        self.assertEqual(self.code(codec.FINISH_PACKET, 9), 1)
        failures = self.sim.of("transfer_failed")
        self.assertIn("checksum mismatch", failures[0]["reason"])
        self.assertIn("incomplete", failures[1]["reason"])
        self.assertEqual(os.listdir(self.out), [])

    def test_echo_is_checked_byte_for_byte(self):
        self.sim.cmd(cmd="echo")
        echo = self.port.next_frame(want=(codec.PERIPHERAL_ECHO,))
        self.assertEqual(echo.channel, 3)
        self.assertIsNotNone(codec.parse_echo_body(echo.payload))
        self.port.send(echo.raw)
        self.sim.wait_for(lambda e: e["ev"] == "echo_ok" and e["sn"] == echo.sn)
        self.sim.cmd(cmd="echo")
        echo = self.port.next_frame(want=(codec.PERIPHERAL_ECHO,))
        changed = echo.payload[:-1] + b"?"
        self.port.send(codec.build_frame(3, codec.PERIPHERAL_ECHO, echo.sn, changed))
        self.sim.wait_for(lambda e: e["ev"] == "echo_mismatch" and e["sn"] == echo.sn)

    def test_unplug_and_replug_keep_the_link(self):
        link = os.path.join(self.out, "tty")
        sim = Sim("--heartbeat", "0", "--link", link)
        self.addCleanup(sim.close)
        self.assertEqual(os.path.realpath(link), sim.path)
        port = Port(link)
        self.addCleanup(port.close)
        sim.cmd(cmd="unplug")
        self.assertFalse(os.path.lexists(link))
        # The program's open port hangs up as a pulled USB adapter would.
        poller = select.poll()
        poller.register(port.fd)
        self.assertTrue(poller.poll(1000)[0][1] & select.POLLHUP)
        self.assertEqual(os.read(port.fd, 10), b"")
        with self.assertRaises(OSError) as caught:
            os.write(port.fd, b"x")
        self.assertEqual(caught.exception.errno, errno.EIO)
        new_path = sim.cmd(cmd="replug")["path"]
        self.assertEqual(os.path.realpath(link), new_path)
        again = Port(link)
        self.addCleanup(again.close)
        again.send(codec.build_frame(6, codec.START_REQUEST, 4))
        self.assertEqual(again.next_frame().payload[0], 0)


def h(text):
    return bytes.fromhex(text)


if __name__ == "__main__":
    unittest.main()
