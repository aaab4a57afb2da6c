"""Whole-program runs: zovrel-cli against the device simulator over a real (virtual) serial line."""

import os
import re
import threading
import unittest

from e2e_support import E2ETest, run_cli
from zovrel_device import codec

CHUNK = 10240
# Sending is paced at 150 ms a chunk, so 5 MiB take about 80 s; CMake lets the slower builds
# send less through the same path.
PROGRAM_SEND_BYTES = int(os.environ.get("ZOVREL_E2E_SEND_BYTES", 5 << 20))
LOG_LINE = re.compile(r"^(串口已打开: .+ @ 2000000 bps|串口已重新连接|串口连接断开|串口已关闭|"
                      r"串口打开失败: .+|\d\d:\d\d:\d\d\.\d\d\d (SYS|TX|RX) \S.*)$")


class DeviceToProgram(E2ETest):
    def test_text_image_and_a_5_mib_file_arrive_intact_with_their_log_lines(self):
        cli = self.listen()
        text = "你好，世界 zovrel ✓\r\n第二行"
        utf8, big = text.encode("utf-8"), os.urandom(5 << 20)
        image = b"\x89PNG\r\n\x1a\n" + os.urandom(150000)
        self.device_sends(kind="text", text=text)
        self.device_sends(kind="image", path=self.write_file("shot.png", image))
        self.device_sends(kind="file", path=self.write_file("big file.bin", big))
        cli.wait_line("FINISH_PACKET OK: kind=files size=%d" % len(big), timeout=60)
        self.assertEqual(cli.stop(), 0)
        log = "\n".join(cli.lines)
        for kind, data in (("text", utf8), ("image", image)):
            self.assertIn("SYS FIRST_PACKET ok data_type=%s total=%d payload=%d" % (
                kind, 52 + len(data), len(data)), log)
            self.assertIn("SYS FINISH_PACKET OK: kind=%s size=%d" % (kind, len(data)), log)
        for expected in ('kind=text size=%d path=""' % len(utf8), "SYS FIRST_PACKET file opened "
                         "path=", "SYS FINISH_PACKET checksum method=file_handle",
                         "SYS FINISH_PACKET file closed after checksum"):
            self.assertIn(expected, log)
        self.assertEqual(log.count("match=yes"), 3)
        self.assertEqual(cli.lines[-1], "串口已关闭")
        self.assertTrue(self.received("big file.bin")[1] == big, "the received file differs")

        # Text and image became history entries, newest first, their content kept whole.
        code, lines, err = run_cli(self.root, "history")
        history = [l.split("\t") for l in lines]
        self.assertEqual([row[2] for row in history], ["files", "image", "text"], err)
        self.assertEqual(history[2][5], "你好，世界 zovrel ✓ 第二行")
        for row, ext, content in ((history[2], ".txt", utf8), (history[1], ".png", image)):
            with open(os.path.join(self.root, "history", row[1] + ext), "rb") as f:
                self.assertTrue(f.read() == content, ext)
        # A history entry goes back to the device as it came.
        mark = len(self.sim.events)
        self.send_cli("--entry", "2")
        self.assertEqual(self.device_got(mark)[0]["text"], text)


class ProgramToDevice(E2ETest):
    slow = True  # paced by the program: runs beside the others

    def test_text_image_and_a_big_file_arrive_byte_for_byte_in_order(self):
        text = "发送到设备的文字 ✓ zovrel\n" * 3
        image = b"\x89PNG\r\n\x1a\n" + os.urandom(25000)
        big = os.urandom(PROGRAM_SEND_BYTES)
        for what, value, name, data in (
                ("--text", text, None, text.encode("utf-8")),
                ("--image", self.write_file("pic.png", image), "pic.png", image),
                ("--file", self.write_file("big.bin", big), "big.bin", big)):
            mark = len(self.sim.events)
            code, lines, err = run_cli(self.root, "--port", self.port, "send", what, value,
                                       timeout=900)
            self.assertEqual(code, 0, err)
            self.assertIn("100%", err)
            self.assertEqual(lines[-1], "串口已关闭")
            self.assertEqual([l for l in lines if not LOG_LINE.match(l)], [])
            done, got = self.device_got(mark)
            self.assertTrue(got == data, "the device received other bytes for " + what)
            if name:
                self.assertEqual(done["name"], name)
            # The frames and their sn values as the device saw them.
            chunks = (len(data) + CHUNK - 1) // CHUNK
            self.assertEqual([(e["type"], e["sn"]) for e in self.sim.events[mark:]
                              if e["ev"] == "frame" and e["dir"] == "rx" and e["ch"] == 6],
                             [("START_REQUEST", 0), ("DEVICE_QUERY", 0), ("FIRST_PACKET", 1)] +
                             [("MIDDLE_PACKET", 2 + i) for i in range(chunks)] +
                             [("FINISH_PACKET", 2 + chunks)])


class Faults(E2ETest):
    def test_noise_and_a_bit_flipped_on_the_wire_are_survived(self):
        cli = self.listen()
        self.sim.cmd(cmd="fault", kind="noise", bytes=40, false_start=True, type="MIDDLE_PACKET",
                     count=3)
        self.sim.cmd(cmd="fault", kind="flip", type="MIDDLE_PACKET", nth=2)
        data = os.urandom(6 * CHUNK + 77)
        result = self.device_sends(kind="file", path=self.write_file("n.bin", data))
        cli.wait_line("FINISH_PACKET OK: kind=files")
        self.assertEqual(cli.stop(), 0)
        self.assertEqual(self.received("n.bin")[1], data)
        # The flip spoils the frame's own checksum: the program drops it unanswered and the
        # device's resend after its time-out goes through.
        self.assertGreaterEqual(result["retransmits"], 1)
        self.assertEqual([e for e in self.sim.of("frame", dir="rx", type="GENERAL_REPLY")
                          if e.get("rsp_code") != 0], [])
        # Noise and the spoiled frame leave no trace in the log.
        self.assertEqual([l for l in cli.lines if not LOG_LINE.match(l)], [])

    def test_a_chunk_that_fails_its_own_checksum_is_refused_then_repaired(self):
        cli = self.listen()
        data = os.urandom(3000)
        first = codec.build_middle_body(data[:2000], 0)
        spoiled = bytearray(first)
        spoiled[9 + 500] ^= 0x10  # a data bit, after the chunk checksum was computed
        descriptor = codec.build_descriptor(codec.DATA_FILE, data, "repair.bin")
        for sn, (ftype, payload, code) in enumerate((
                ("START_REQUEST", b"", 0),
                ("FIRST_PACKET", codec.build_first_packet_body(descriptor), 0),
                ("MIDDLE_PACKET", bytes(spoiled), 1), ("MIDDLE_PACKET", first, 0),
                ("MIDDLE_PACKET", codec.build_middle_body(data[2000:], 2000), 0),
                ("FINISH_PACKET", b"", 0)), 100):
            self.sim.cmd(cmd="frame", type=ftype, sn=sn, payload_hex=payload.hex())
            reply = self.sim.wait_for(lambda e: e["ev"] == "frame" and e["dir"] == "rx" and
                                      e["sn"] == sn and e["type"] == "GENERAL_REPLY")
            self.assertEqual(reply["rsp_code"], code, ftype)
        cli.wait_line("FINISH_PACKET OK: kind=files")
        self.assertEqual(cli.stop(), 0)
        self.assertIn("SYS MIDDLE_PACKET pkg_crc mismatch", "\n".join(cli.lines))
        self.assertEqual(self.received("repair.bin")[1], data)

    def test_lost_and_refused_answers_to_the_program_are_recovered(self):
        self.sim.cmd(cmd="fault", kind="drop", type="MIDDLE_PACKET", nth=2, what="reply")
        self.sim.cmd(cmd="fault", kind="fail_chunk", nth=4, code=1)
        data = os.urandom(4 * CHUNK)
        lines = self.send_cli("--file", self.write_file("d.bin", data), timeout=120)
        # The lost answer costs one time-out; the refused chunk is sent again at once.
        self.assertIn("SYS TRANS timeout state=3 sn=3 retry=1/10", "\n".join(lines))
        sent = [e["sn"] for e in self.sim.of("frame", dir="rx", type="MIDDLE_PACKET")]
        self.assertEqual(sent, [2, 3, 3, 4, 4, 5])
        self.assertEqual(self.device_got(0)[1], data)


class Link(E2ETest):
    def test_unplug_and_replug_while_idle(self):
        cli = self.listen()
        back = self.unplug_and_replug(cli, 1500)
        # The reopened line carries transfers again.
        self.device_sends(kind="text", text="再次连接")
        cli.wait_line("FINISH_PACKET OK: kind=text", after=back)
        self.assertEqual(cli.stop(), 0)

    def test_a_transfer_cut_by_an_unplug_leaves_no_partial_file(self):
        cli = self.listen()
        self.sim.cmd(cmd="send", kind="file", path=self.write_file("cut.bin", bytes(400 * CHUNK)))
        self.sim.wait_for(lambda e: len(self.sim.of("frame", dir="tx", type="MIDDLE_PACKET"))
                          >= 5, timeout=30)
        back = self.unplug_and_replug(cli, 1000)
        partial = self.received("cut.bin")[0]
        # The device gives its broken transfer up; the program's session stays open meanwhile.
        self.sim.cmd(cmd="cancel")
        self.sim.wait_for(lambda e: e["ev"] == "transfer_failed", timeout=30)
        self.sim.cmd(cmd="sleep", ms=200)  # the failed send ends just after its event
        self.device_sends(kind="text", text="之后")
        cli.wait_line("FINISH_PACKET OK: kind=text", after=back)
        self.assertIn("SYS ResetSession discard file path=", "\n".join(cli.lines))
        self.assertFalse(os.path.exists(partial))
        self.assertEqual(cli.stop(), 0)


class Heartbeat(E2ETest):
    sim_args = ("--no-wire-delay", "--heartbeat", "0")
    slow = True  # waits out the echo time-out: runs beside the others

    def test_echoes_keep_the_link_and_their_absence_reconnects_it(self):
        cli = self.listen()
        self.sim.cmd(cmd="heartbeat", period=5)  # from now on, so none is sent into the void
        # Echoes at 0, 5, 10 and 15 s: the 10 s echo time-out must not fire meanwhile.
        self.sim.wait_for(lambda e: len(self.sim.of("echo_ok")) >= 4, timeout=30)
        self.assertEqual([l for l in cli.lines if "串口连接断开" in l or "ECHO 超时" in l], [])
        self.assertEqual(self.sim.of("echo_lost") + self.sim.of("echo_mismatch"), [])

        lines = len(cli.lines)
        self.sim.cmd(cmd="silence", on=True)
        timeout = cli.wait_line("ECHO 超时", after=lines, timeout=30)
        match = re.search(r"SYS ECHO 超时 (\d+)s · 重连串口 · (.+)$", cli.lines[timeout])
        self.assertTrue(match and int(match.group(1)) >= 10, cli.lines[timeout])
        self.assertEqual(match.group(2), self.port)
        cli.wait_line("串口已重新连接", after=cli.wait_line("串口连接断开", after=timeout))
        self.assertEqual(cli.stop(), 0)


class Suite(unittest.TestSuite):
    """Runs the slow cases, which mostly wait, in threads beside the others."""

    def run(self, result, debug=False):
        slow = {t: unittest.TestResult() for t in self if getattr(t, "slow", False)}
        threads = [threading.Thread(target=t.run, args=(r,)) for t, r in slow.items()]
        for thread in threads:
            thread.start()
        for t in self:
            if t not in slow:
                t.run(result)
        for thread, (t, r) in zip(threads, slow.items()):
            thread.join()
            result.startTest(t)
            for _, trace in r.errors + r.failures:  # already formatted
                result.addFailure(t, (AssertionError, AssertionError(trace), None))
            if r.wasSuccessful():
                result.addSuccess(t)
            result.stopTest(t)
        return result


def load_tests(loader, tests, pattern):
    return Suite(t for group in tests for t in group)


if __name__ == "__main__":
    unittest.main()
