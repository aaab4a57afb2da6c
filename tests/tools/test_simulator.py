"""The simulator against a test playing the program, with a transfer the program never sends."""

import os
import sys
import tty
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from harness import Sim  # noqa: E402
from zovrel_device import codec  # noqa: E402
from zovrel_device.codec import FINISH_PACKET, FIRST_PACKET, MIDDLE_PACKET  # noqa: E402


class ScriptedProgram(unittest.TestCase):
    def test_receiving_a_file_with_a_bad_chunk_under_an_unsafe_name(self):
        sim = Sim("--heartbeat", "0", "--max-packet", "4160")
        self.addCleanup(sim.close)
        fd = os.open(sim.path, os.O_RDWR | os.O_NOCTTY)
        self.addCleanup(os.close, fd)
        tty.setraw(fd)
        data = os.urandom(9000)
        first = codec.build_first_packet_body(
            codec.build_descriptor(codec.DATA_FILE, data, "dir\\sub\\a.txt"))
        chunks = [codec.build_middle_body(data[at : at + 4096], at) for at in (0, 4096, 8192)]
        bad = chunks[0][:20] + bytes([chunks[0][20] ^ 1]) + chunks[0][21:]
        # The answer to FINISH_PACKET got lost: the repeat is answered the same way.
        frames = [(codec.START_REQUEST, 0, b""), (FIRST_PACKET, 1, first), (MIDDLE_PACKET, 2, bad),
                  *[(MIDDLE_PACKET, 2 + i, c) for i, c in enumerate(chunks)],
                  (FINISH_PACKET, 5, b""), (FINISH_PACKET, 5, b"")]
        for kind, sn, body in frames:
            os.write(fd, codec.build_frame(6, kind, sn, body))
        replies = lambda: [e for e in sim.events if e["ev"] == "frame"  # noqa: E731
                           and e["dir"] == "tx" and e["type"] == "GENERAL_REPLY"]
        sim.wait_for(lambda e: len(replies()) == len(frames))
        self.assertEqual([(r["ch"], r["sn"], r["app_id"], r["rsp_code"]) for r in replies()],
                         [(6, sn, 2, code) for (_, sn, _), code in
                          zip(frames, [0, 0, 1, 0, 0, 0, 0, 0])])
        done = sim.wait_for(lambda e: e["ev"] == "transfer_done")
        self.assertEqual(done["path"], os.path.join(sim.out, "a.txt"))
        with open(done["path"], "rb") as f:
            self.assertEqual(f.read(), data)


if __name__ == "__main__":
    unittest.main()
