"""The simulator's codec against the byte-exact frames the program must produce and accept."""

import struct
import unittest

import simtools  # noqa: F401  (puts the simulator on the import path)
from zovrel_device import codec
from zovrel_device.scanner import FrameScanner


def h(text):
    return bytes.fromhex(text.replace(",", " "))


class KnownBytes(unittest.TestCase):
    def test_checksum_weights_wrap_every_32_positions_and_continue_across_pieces(self):
        self.assertEqual(codec.checksum(b"abc"), 0x12E)
        data = bytes(range(256)) * 5
        scalar = sum(b + (b & 7) * (i & 31) for i, b in enumerate(data)) & 0xFFFFFFFF
        self.assertEqual(codec.checksum(data), scalar)
        first = codec.checksum(data[:77])
        self.assertEqual(codec.checksum(data[77:], position=77, start=first), scalar)

    def test_frames_and_bodies(self):
        frame, reply = codec.build_frame, codec.build_general_reply
        vectors = [  # magic, channel, sn, length, type, payload size, payload, checksum
            (frame(6, codec.DEVICE_QUERY, 1), "57AB 06 01000000 06000000 0200 00000000 63010000"),
            (frame(6, codec.START_REQUEST, 0), "57AB 06 00000000 06000000 0100 00000000 53010000"),
            (reply(6, 5, 0, 3), "57AB 06 05000000 08000000 0000 02000000 0003 88010000"),
            (reply(6, 7, 1, 3), "57AB 06 07000000 08000000 0000 02000000 0103 A2010000"),
            (codec.build_device_query_rsp(6, 0, 10304),
             "57AB 06 00000000 0C000000 8200 06000000 402800000000 93020000")]
        for built, want in vectors:
            self.assertEqual(built, h(want))
            self.assertEqual(codec.parse_frame(built + b"\x00\x57").raw, built)  # not its bytes
        self.assertEqual(codec.build_descriptor(codec.DATA_TEXT, b"abc"), h("3400 0000") + bytes(30)
                         + h("BF00 1100 0000 37000000 2E010000 09020000"))
        empty = codec.build_descriptor(codec.DATA_TEXT, b"")
        self.assertEqual(struct.unpack_from("<III", empty, 40), (52, 0, 0x16A))
        self.assertEqual(codec.build_middle_body(b"abc", 0),
                         h("02, 00 00 00 00, 02 00 00 00, 61 62 63, 2E 01 00 00"))
        for mp, chunk in ((10304, 10240), (4160, 4096), (64, 64), (65, 1), (0, 10240),
                          (1 << 31, 10240)):
            self.assertEqual(codec.chunk_size_from_device(mp), chunk, mp)


class Validation(unittest.TestCase):
    def test_frame_rejections(self):
        good = codec.build_frame(6, codec.FIRST_PACKET, 9, b"payload")
        for i in range(len(good)):
            spoiled = bytearray(good)
            spoiled[i] ^= 0x10
            self.assertIsNone(codec.parse_frame(bytes(spoiled)), "byte %d" % i)
        self.assertIsNone(codec.parse_frame(good[:-1]))
        self.assertIsNone(codec.parse_frame(codec.build_frame(6, 4, 0, bytes(65537))))
        self.assertIsNotNone(codec.parse_frame(codec.build_frame(6, 4, 0, bytes(65536))))
        # 0x08 -> 0x01 where the weight is 7 keeps the sum: the codec must agree with the
        # program here, not be stricter.
        frame = bytearray(codec.build_frame(6, 4, 0, bytes(40)))
        frame[39] = 0x08
        frame[-4:] = struct.pack("<I", codec.checksum(frame[:-4]))
        frame[39] = 0x01
        self.assertIsNotNone(codec.parse_frame(bytes(frame)))

    def test_first_packet_descriptor(self):
        desc = codec.build_descriptor(codec.DATA_FILE, b"x" * 10, "名" * 20)
        self.assertEqual(desc[33], 0)  # cut at 29 bytes even inside a character
        _, d, why = codec.parse_first_packet(b"\x01" + desc)
        self.assertEqual((why, d.name_bytes, d.payload_size),
                         (None, ("名" * 20).encode()[:29], 10))
        self.assertIsNotNone(codec.parse_first_packet(b"\x01" + desc[:51])[2])
        # Resealed changes: the descriptor's size, a total below it, a field no check covers.
        for at, value, valid in ((0, b"\x35\x00", False), (0, b"\x03\x00", False),
                                 (40, b"\x33\x00\x00\x00", False), (34, b"\x00\x00\x99\x00", True)):
            changed = bytearray(desc)
            changed[at : at + len(value)] = value
            changed[48:52] = struct.pack("<I", codec.checksum(changed[:48]))
            self.assertEqual(codec.parse_descriptor(bytes(changed))[0] is not None, valid, at)
        desc = bytearray(desc)
        desc[10] ^= 1
        self.assertIsNone(codec.parse_descriptor(bytes(desc))[0])

    def test_middle_and_echo_bodies(self):
        m = codec.parse_middle(codec.build_middle_body(b"hello", 100))
        self.assertEqual((m.start, m.end, m.data, m.pkg_crc),
                         (100, 104, b"hello", codec.checksum(b"hello")))
        no_trailer = codec.parse_middle(b"\x03" + bytes(8) + b"abcdef")
        self.assertEqual((no_trailer.data, no_trailer.pkg_crc), (b"abcdef", None))
        self.assertIsNone(codec.parse_middle(bytes(8)))
        self.assertEqual(codec.parse_echo_body(codec.build_echo_body(b"v" * 40)), b"v" * 40)
        self.assertIsNone(codec.parse_echo_body(codec.build_echo_body(b"v" * 41)))


class Reassembly(unittest.TestCase):
    def test_torn_joined_and_noisy_streams(self):
        a, b = codec.build_frame(6, codec.START_REQUEST, 1), codec.build_general_reply(6, 2, 0, 3)
        s = FrameScanner()
        self.assertEqual([f.raw for byte in a for _, f, _ in s.feed(bytes([byte]))], [a])
        got = s.feed(b"\x40" * 10 + a + b"\x57" + b)
        self.assertEqual([(off, f.raw) for off, f, _ in got],
                         [(len(a) + 10, a), (2 * len(a) + 11, b)])
        self.assertEqual(s.skipped, 11)
        s = FrameScanner()
        self.assertEqual(s.feed(bytes(40)), [])
        self.assertLessEqual(s.position - s.base, 1)


if __name__ == "__main__":
    unittest.main()
