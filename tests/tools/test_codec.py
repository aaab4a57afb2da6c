"""The simulator's codec against the byte-exact frames the program must produce and accept."""

import struct
import unittest

import simtools  # noqa: F401  (puts the simulator on the import path)
from zovrel_device import codec
from zovrel_device.scanner import FrameScanner


def h(text):
    return bytes.fromhex(text.replace(",", " "))


class KnownFrames(unittest.TestCase):
    def test_checksum(self):
        self.assertEqual(codec.checksum(b"abc"), 0x12E)
        self.assertEqual(codec.checksum(b""), 0)

    def test_checksum_weights_wrap_every_32_positions_and_continue_across_pieces(self):
        data = bytes(range(256)) * 5
        scalar = sum(b + (b & 7) * (i & 31) for i, b in enumerate(data)) & 0xFFFFFFFF
        self.assertEqual(codec.checksum(data), scalar)
        first = codec.checksum(data[:77])
        self.assertEqual(codec.checksum(data[77:], position=77, start=first), scalar)

    def test_frames(self):
        cases = {
            "DEVICE_QUERY sn 1": (codec.build_frame(6, codec.DEVICE_QUERY, 1),
                                  "57 AB 06 01 00 00 00 06 00 00 00 02 00 00 00 00 00 63 01 00 00"),
            "START_REQUEST sn 0": (codec.build_frame(6, codec.START_REQUEST, 0),
                                   "57 AB 06 00 00 00 00 06 00 00 00 01 00 00 00 00 00 53 01 00 00"),
            "success reply": (codec.build_general_reply(6, 5, 0, 3),
                              "57 AB 06 05 00 00 00 08 00 00 00 00 00 02 00 00 00 00 03 88 01 00 00"),
            "failure reply": (codec.build_general_reply(6, 7, 1, 3),
                              "57 AB 06 07 00 00 00 08 00 00 00 00 00 02 00 00 00 01 03 A2 01 00 00"),
            "DEVICE_QUERY_RSP": (codec.build_device_query_rsp(6, 0, 10304),
                                 "57 AB 06 00 00 00 00 0C 00 00 00 82 00 06 00 00 00 40 28 00 00 00 00"
                                 " 93 02 00 00"),
        }
        for name, (built, want) in cases.items():
            with self.subTest(name):
                self.assertEqual(built, h(want))
                frame = codec.parse_frame(built + b"\x00\x57")  # trailing bytes are not its own
                self.assertIsNotNone(frame)
                self.assertEqual(frame.raw, built)

    def test_descriptor_and_middle_body(self):
        abc = codec.build_descriptor(codec.DATA_TEXT, b"abc")
        self.assertEqual(abc, h("34 00, 00 00") + bytes(30) + h(
            "BF 00, 11 00, 00 00, 37 00 00 00, 2E 01 00 00, 09 02 00 00"))
        empty = codec.build_descriptor(codec.DATA_TEXT, b"")
        self.assertEqual(struct.unpack_from("<III", empty, 40), (52, 0, 0x16A))
        self.assertEqual(codec.build_middle_body(b"abc", 0),
                         h("02, 00 00 00 00, 02 00 00 00, 61 62 63, 2E 01 00 00"))

    def test_chunk_size_from_max_packet(self):
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
        self.assertIsNone(codec.parse_frame(good[:16]))
        big = codec.build_frame(6, 4, 0, bytes(65537))
        self.assertIsNone(codec.parse_frame(big))
        self.assertIsNotNone(codec.parse_frame(codec.build_frame(6, 4, 0, bytes(65536))))

    def test_weighted_sum_blind_spot_is_real(self):
        # 0x08 -> 0x01 at a position with weight 7 keeps the sum: the codec must
        # agree with the program here, not be "stricter".
        frame = bytearray(codec.build_frame(6, 4, 0, bytes(40)))
        frame[39] = 0x08
        frame[-4:] = struct.pack("<I", codec.checksum(frame[:-4]))
        frame[39] = 0x01
        self.assertIsNotNone(codec.parse_frame(bytes(frame)))

    def test_first_packet(self):
        desc = codec.build_descriptor(codec.DATA_FILE, b"x" * 10, "名" * 20)
        self.assertEqual(desc[33], 0)  # cut at 29 bytes even inside a character
        flag, d, why = codec.parse_first_packet(b"\x01" + desc)
        self.assertIsNone(why)
        self.assertEqual(d.name_bytes, ("名" * 20).encode()[:29])
        self.assertEqual(d.payload_size, 10)
        self.assertIsNotNone(codec.parse_first_packet(b"\x01" + desc[:51])[2])

        def resealed(change):
            d = bytearray(desc)
            change(d)
            d[48:52] = struct.pack("<I", codec.checksum(d[:48]))
            return codec.parse_descriptor(bytes(d))[0]

        self.assertIsNone(resealed(lambda d: d.__setitem__(slice(0, 2), b"\x35\x00")))
        self.assertIsNone(resealed(lambda d: d.__setitem__(slice(0, 2), b"\x03\x00")))
        self.assertIsNone(resealed(lambda d: d.__setitem__(slice(40, 44), b"\x33\x00\x00\x00")))
        self.assertIsNotNone(resealed(lambda d: d.__setitem__(slice(34, 38), b"\x00\x00\x99\x00")))
        tampered = bytearray(desc)
        tampered[10] ^= 1
        self.assertIsNone(codec.parse_descriptor(bytes(tampered))[0])

    def test_middle_and_echo_bodies(self):
        m = codec.parse_middle(codec.build_middle_body(b"hello", 100))
        self.assertEqual((m.start, m.end, m.data, m.pkg_crc), (100, 104, b"hello",
                                                                 codec.checksum(b"hello")))
        no_trailer = codec.parse_middle(b"\x03" + bytes(8) + b"abcdef")
        self.assertEqual((no_trailer.data, no_trailer.pkg_crc), (b"abcdef", None))
        self.assertIsNone(codec.parse_middle(bytes(8)))
        self.assertEqual(codec.parse_echo_body(codec.build_echo_body(b"v" * 40)), b"v" * 40)
        self.assertIsNone(codec.parse_echo_body(codec.build_echo_body(b"v" * 41)))
        self.assertIsNone(codec.parse_echo_body(codec.build_echo_body(b"v") + b"x"))
        self.assertIsNone(codec.parse_echo_body(b"\x14\x00\x00\x00\x00"))


class Reassembly(unittest.TestCase):
    def setUp(self):
        self.a = codec.build_frame(6, codec.START_REQUEST, 1)
        self.b = codec.build_general_reply(6, 2, 0, 3)

    def frames(self, scanner, data):
        return [f.raw for _, f, _ in scanner.feed(data)]

    def test_torn_and_joined_frames(self):
        s = FrameScanner()
        got = []
        for byte in self.a:
            got += self.frames(s, bytes([byte]))
        self.assertEqual(got, [self.a])
        self.assertEqual(self.frames(s, self.a + self.b), [self.a, self.b])

    def test_noise_is_skipped_and_counted(self):
        s = FrameScanner()
        noise = bytes(range(0x40, 0x4A))
        self.assertEqual(self.frames(s, noise + self.a + b"\x57" + self.b), [self.a, self.b])
        self.assertEqual(s.skipped, 11)
        s = FrameScanner()
        self.assertEqual(self.frames(s, bytes(40)), [])
        self.assertLessEqual(s.position - s.base, 1)

    def test_false_starts(self):
        # A plausible header declaring 65536 bytes holds everything until its
        # checksum can be tested; then the real frame inside is found.
        false_start = codec.MAGIC + struct.pack("<BIIHI", 6, 0, 65542, 1, 65536)
        s = FrameScanner()
        self.assertEqual(self.frames(s, false_start + self.a), [])
        filler = bytes(65557 - len(false_start) - len(self.a))
        self.assertEqual(self.frames(s, filler), [self.a])
        # One declaring 65537 is never a candidate.
        too_big = codec.MAGIC + struct.pack("<BIIHI", 6, 0, 65543, 1, 65537)
        self.assertEqual(self.frames(FrameScanner(), too_big + self.a), [self.a])

    def test_offsets_map_frames_to_stream_positions(self):
        s = FrameScanner()
        got = s.feed(b"zz" + self.a + self.b)
        self.assertEqual([off for off, _, _ in got], [2, 2 + len(self.a)])


if __name__ == "__main__":
    unittest.main()
