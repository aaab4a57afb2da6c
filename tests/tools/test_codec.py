"""The simulator's codec against the byte-exact frames the program must produce and accept."""

import os
import struct
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import harness  # noqa: E402,F401  (puts the simulator on the import path)
from zovrel_device import codec  # noqa: E402
from zovrel_device.scanner import FrameScanner  # noqa: E402


class Codec(unittest.TestCase):
    def test_checksum_weights_wrap_every_32_positions_and_continue_across_pieces(self):
        data = bytes(range(256)) * 5
        scalar = sum(b + (b & 7) * (i & 31) for i, b in enumerate(data)) & 0xFFFFFFFF
        self.assertEqual(codec.checksum(data), scalar)
        self.assertEqual(codec.checksum(data[77:], position=77, start=codec.checksum(data[:77])),
                         scalar)

    def test_known_frames_and_bodies(self):
        frame, reply = codec.build_frame, codec.build_general_reply
        rsp = codec.build_device_query_rsp
        for built, want in (  # after magic and channel: sn, length, type, payload size and checksum
                (frame(6, codec.DEVICE_QUERY, 1), "01000000 06000000 0200 00000000 63010000"),
                (frame(6, codec.START_REQUEST, 0), "00000000 06000000 0100 00000000 53010000"),
                (reply(6, 5, 0, 3), "05000000 08000000 0000 02000000 0003 88010000"),
                (reply(6, 7, 1, 3), "07000000 08000000 0000 02000000 0103 A2010000"),
                (rsp(6, 0, 10304), "00000000 0C000000 8200 06000000 402800000000 93020000")):
            self.assertEqual(built, bytes.fromhex("57AB 06" + want))
            self.assertEqual(codec.parse_frame(built + b"\x00\x57").raw, built)  # not its bytes
        self.assertEqual(codec.build_descriptor(codec.DATA_TEXT, b"abc"), bytes.fromhex(
            "3400 0000" + "00" * 30 + "BF00 1100 0000 37000000 2E010000 09020000"))
        self.assertEqual(codec.build_middle_body(b"abc", 0),
                         bytes.fromhex("02 00000000 02000000 616263 2E010000"))

    def test_frame_rejections(self):
        good = codec.build_frame(6, codec.FIRST_PACKET, 9, b"payload")
        for i in range(len(good)):
            spoiled = good[:i] + bytes([good[i] ^ 0x10]) + good[i + 1 :]
            self.assertIsNone(codec.parse_frame(spoiled), "byte %d" % i)
        self.assertIsNone(codec.parse_frame(good[:-1]))
        self.assertIsNone(codec.parse_frame(codec.build_frame(6, 4, 0, bytes(65537))))
        self.assertIsNotNone(codec.parse_frame(codec.build_frame(6, 4, 0, bytes(65536))))
        # 0x08 -> 0x01 at weight 7 keeps the sum: the codec is as lax as the program, no more.
        frame = codec.build_frame(6, 4, 0, bytes(22) + b"\x08" + bytes(17))
        self.assertIsNotNone(codec.parse_frame(frame[:39] + b"\x01" + frame[40:]))

    def test_descriptor_middle_and_echo_bodies(self):
        desc = codec.build_descriptor(codec.DATA_FILE, b"x" * 10, "名" * 20)
        _, d, why = codec.parse_first_packet(b"\x01" + desc)
        # The name is cut at 29 bytes, even inside a character.
        self.assertEqual((why, desc[33], d.name_bytes, d.payload_size),
                         (None, 0, ("名" * 20).encode()[:29], 10))
        self.assertIsNotNone(codec.parse_first_packet(b"\x01" + desc[:51])[2])
        self.assertIsNone(codec.parse_descriptor(desc[:10] + b"?" + desc[11:])[0])
        # Resealed changes: the descriptor's size, a total below it, a field no check covers.
        for at, value, valid in ((0, b"\x35\x00", False), (0, b"\x03\x00", False),
                                 (40, b"\x33\x00\x00\x00", False), (34, b"\x00\x00\x99\x00", True)):
            changed = bytearray(desc)
            changed[at : at + len(value)] = value
            changed[48:52] = struct.pack("<I", codec.checksum(changed[:48]))
            self.assertEqual(codec.parse_descriptor(bytes(changed))[0] is not None, valid, at)
        m = codec.parse_middle(codec.build_middle_body(b"hello", 100))
        self.assertEqual((m.start, m.end, m.data, m.pkg_crc),
                         (100, 104, b"hello", codec.checksum(b"hello")))
        self.assertEqual(codec.parse_echo_body(codec.build_echo_body(b"v" * 40)), b"v" * 40)
        self.assertIsNone(codec.parse_echo_body(codec.build_echo_body(b"v" * 41)))

    def test_torn_joined_and_noisy_streams(self):
        a, b = codec.build_frame(6, codec.START_REQUEST, 1), codec.build_general_reply(6, 2, 0, 3)
        s = FrameScanner()
        self.assertEqual([f.raw for byte in a for _, f, _ in s.feed(bytes([byte]))], [a])
        self.assertEqual([(off, f.raw) for off, f, _ in s.feed(b"\x40" * 10 + a + b"\x57" + b)],
                         [(len(a) + 10, a), (2 * len(a) + 11, b)])
        self.assertEqual(s.skipped, 11)


if __name__ == "__main__":
    unittest.main()
