"""Simulator runs the e2e tests cannot make: two simulators on one pty (the wire's pace), and a
test playing the program with transfers and echoes the program never sends."""

import os
import shutil
import struct
import tempfile
import unittest

from simtools import Port, Sim
from zovrel_device import codec


class TwoSimulators(unittest.TestCase):
    def test_the_wire_runs_at_two_megabaud(self):
        a = Sim("--reply-timeout-ms", "500", "--heartbeat", "0")
        self.addCleanup(a.close)
        b = Sim("--device", a.path, "--heartbeat", "0", "--out", os.path.join(a.dir, "out"))
        self.addCleanup(b.close)
        result = a.cmd(cmd="send", kind="file", size=30000, name="big.bin", wait=True)["result"]
        self.assertTrue(result["ok"], result)
        self.assertEqual(b.wait_for(lambda e: e["ev"] == "transfer_done")["size"], 30000)
        # 2000000 baud 8N1 is 5 us a byte, and the receiver sees them no faster.
        sent = a.of("frame", dir="tx", type="MIDDLE_PACKET")[0]
        self.assertEqual(sent["last_us"] - sent["first_us"], sent["wire"] * 5)
        got = b.of("frame", dir="rx", type="MIDDLE_PACKET")[0]
        self.assertGreaterEqual(got["last_us"] - got["first_us"], got["wire"] * 5)
        self.assertGreaterEqual(got["first_us"], sent["first_us"])


class ScriptedProgram(unittest.TestCase):
    """The test opens the simulator's pty and speaks as the program."""

    def setUp(self):
        self.out = tempfile.mkdtemp(prefix="zovrel-out-")
        self.addCleanup(shutil.rmtree, self.out, True)
        self.sim = Sim("--heartbeat", "0", "--max-packet", "4160", "--out", self.out)
        self.addCleanup(self.sim.close)
        self.port = Port(self.sim.path)
        self.addCleanup(os.close, self.port.fd)

    def codes(self, *frames):
        """Sends each (type, sn, body) and returns the rsp_code of each GENERAL_REPLY."""
        codes = []
        for ftype, sn, body in frames:
            reply = self.port.ask(codec.build_frame(6, ftype, sn, body), (codec.GENERAL_REPLY,))
            self.assertEqual((reply.channel, reply.sn, reply.payload[1] in (2, 3)), (6, sn, True))
            codes.append(reply.payload[0])
        return codes

    def test_receiving_a_file_with_a_bad_chunk_under_an_unsafe_name(self):
        data = os.urandom(9000)
        desc = codec.build_descriptor(codec.DATA_FILE, data, "dir\\sub\\a.txt")
        self.assertEqual(self.codes((codec.START_REQUEST, 0, b"")), [0])
        rsp = self.port.ask(codec.build_frame(6, codec.DEVICE_QUERY, 0), (codec.DEVICE_QUERY_RSP,))
        self.assertEqual((rsp.sn, rsp.payload), (0, bytes.fromhex("40 10 00 00 00 00")))
        bad = bytearray(codec.build_middle_body(data[:4096], 0))
        bad[20] ^= 1
        chunks = [(codec.MIDDLE_PACKET, 2 + i, codec.build_middle_body(data[at : at + 4096], at))
                  for i, at in enumerate(range(0, 9000, 4096))]
        self.assertEqual(self.codes((codec.FIRST_PACKET, 1, codec.build_first_packet_body(desc)),
                                    (codec.MIDDLE_PACKET, 2, bytes(bad)), *chunks,
                                    (codec.FINISH_PACKET, 5, b"")), [0, 1, 0, 0, 0, 0])
        done = self.sim.wait_for(lambda e: e["ev"] == "transfer_done")
        self.assertEqual(done["path"], os.path.join(self.out, "a.txt"))
        with open(done["path"], "rb") as f:
            self.assertEqual(f.read(), data)
        # Our answer to FINISH_PACKET got lost: the repeat is answered the same way.
        self.assertEqual(self.codes((codec.FINISH_PACKET, 5, b"")), [0])

    def test_transfers_that_must_fail(self):
        mismatched = bytearray(codec.build_descriptor(codec.DATA_TEXT, b"abc"))
        mismatched[44:48] = struct.pack("<I", 0x12F)  # mcAdd does not match the data
        mismatched[48:52] = struct.pack("<I", codec.checksum(mismatched[:48]))
        short = codec.build_descriptor(codec.DATA_TEXT, b"abcdef")
        first, middle, finish = codec.FIRST_PACKET, codec.MIDDLE_PACKET, codec.FINISH_PACKET
        self.assertEqual(self.codes(
            (middle, 1, codec.build_middle_body(b"x", 0)), (first, 2, b"\x01" + bytes(52)),
            (first, 3, b"\x01" + bytes(mismatched)),
            (middle, 4, codec.build_middle_body(b"abc", 0)), (finish, 5, b""),
            # Missing data, and data beyond the announced size.
            (first, 6, b"\x01" + short), (middle, 7, codec.build_middle_body(b"def", 3)),
            (middle, 8, codec.build_middle_body(b"ef!", 4)), (finish, 9, b"")),
            [1, 1, 0, 0, 1, 0, 0, 1, 1])
        failures = self.sim.of("transfer_failed")
        self.assertIn("checksum mismatch", failures[0]["reason"])
        self.assertIn("incomplete", failures[1]["reason"])
        self.assertEqual(os.listdir(self.out), [])

    def test_echo_is_checked_byte_for_byte(self):
        for changed in (False, True):
            self.sim.cmd(cmd="echo")
            echo = self.port.ask(b"", (codec.PERIPHERAL_ECHO,))
            self.assertEqual(echo.channel, 3)
            payload = echo.payload[:-1] + b"?" if changed else echo.payload
            os.write(self.port.fd, codec.build_frame(3, codec.PERIPHERAL_ECHO, echo.sn, payload))
            ev = "echo_mismatch" if changed else "echo_ok"
            self.sim.wait_for(lambda e: e["ev"] == ev and e["sn"] == echo.sn)


if __name__ == "__main__":
    unittest.main()
