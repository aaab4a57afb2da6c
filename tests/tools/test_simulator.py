"""The simulator against a test playing the program, with a transfer the program never sends."""

import os
import select
import sys
import tty
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from harness import Sim  # noqa: E402
from zovrel_device import codec  # noqa: E402
from zovrel_device.codec import FINISH_PACKET, FIRST_PACKET, MIDDLE_PACKET  # noqa: E402
from zovrel_device.scanner import FrameScanner  # noqa: E402


class ScriptedProgram(unittest.TestCase):
    def setUp(self):
        self.sim = Sim("--heartbeat", "0", "--max-packet", "4160")
        self.addCleanup(self.sim.close)
        self.fd = os.open(self.sim.path, os.O_RDWR | os.O_NOCTTY)
        self.addCleanup(os.close, self.fd)
        tty.setraw(self.fd)
        self.incoming = self.frames()

    def frames(self):
        scanner = FrameScanner()
        while select.select([self.fd], [], [], 3)[0]:
            for _, frame, _ in scanner.feed(os.read(self.fd, 65536)):
                yield frame

    def ask(self, data, want):
        os.write(self.fd, data)
        return next(f for f in self.incoming if f.type == want)

    def codes(self, *frames):
        """Sends each (type, sn, body); returns the rsp_code of the GENERAL_REPLY to each."""
        replies = [self.ask(codec.build_frame(6, t, sn, body), codec.GENERAL_REPLY)
                   for t, sn, body in frames]
        self.assertEqual([(r.channel, r.sn, r.payload[1]) for r in replies],
                         [(6, sn, 2) for _, sn, _ in frames])
        return [r.payload[0] for r in replies]

    def test_receiving_a_file_with_a_bad_chunk_under_an_unsafe_name(self):
        data = os.urandom(9000)
        first = codec.build_first_packet_body(
            codec.build_descriptor(codec.DATA_FILE, data, "dir\\sub\\a.txt"))
        chunks = [codec.build_middle_body(data[at : at + 4096], at) for at in (0, 4096, 8192)]
        bad = chunks[0][:20] + bytes([chunks[0][20] ^ 1]) + chunks[0][21:]
        # The answer to FINISH_PACKET got lost: the repeat is answered the same way.
        self.assertEqual(self.codes((codec.START_REQUEST, 0, b""), (FIRST_PACKET, 1, first),
                                    (MIDDLE_PACKET, 2, bad),
                                    *[(MIDDLE_PACKET, 2 + i, c) for i, c in enumerate(chunks)],
                                    (FINISH_PACKET, 5, b""), (FINISH_PACKET, 5, b"")),
                         [0, 0, 1, 0, 0, 0, 0, 0])
        done = self.sim.wait_for(lambda e: e["ev"] == "transfer_done")
        self.assertEqual(done["path"], os.path.join(self.sim.out, "a.txt"))
        with open(done["path"], "rb") as f:
            self.assertEqual(f.read(), data)


if __name__ == "__main__":
    unittest.main()
