"""Whole-program runs: zovrel-cli against the device simulator over a real (virtual) serial line."""

import os
import re
import unittest

from e2e_support import UNDER_WINE, E2ETest, run_cli
from zovrel_device import codec

MIB = 1024 * 1024
# Sending is paced at 150 ms a chunk, so 5 MiB take about 80 s; the Wine run, which already shows
# the same frames on the COM port back end, sends a smaller file to keep the suite short.
PROGRAM_SEND_BYTES = int(os.environ.get("ZOVREL_E2E_SEND_BYTES", 512 * 1024 if UNDER_WINE
                                        else 5 * MIB))
CHUNK = 10240

STATUS_TEXTS = re.compile(
    r"^(串口已打开: .+ @ 2000000 bps|串口已重新连接|串口连接断开|串口已关闭|串口打开失败: .+)$")
PROTOCOL_LINE = re.compile(r"^\d\d:\d\d:\d\d\.\d\d\d (SYS|TX|RX) \S")


def send(sim, timeout=600, **what):
    answer = sim.cmd(cmd="send", wait=True, timeout=timeout, **what)
    if "result" not in answer:
        raise AssertionError("the device did not send: %s" % answer)
    return answer["result"]


class DeviceToProgram(E2ETest):
    def test_text_image_and_a_5_mib_file_arrive_intact_with_their_log_lines(self):
        cli = self.listen()
        text = "你好，世界 zovrel ✓\r\n第二行"
        self.assertTrue(send(self.sim, kind="text", text=text)["ok"])
        image = b"\x89PNG\r\n\x1a\n" + os.urandom(150000)
        result = send(self.sim, kind="image", path=self.write_file("shot.png", image))
        self.assertTrue(result["ok"], result)
        big = os.urandom(5 * MIB)
        result = send(self.sim, kind="file", path=self.write_file("big file.bin", big))
        self.assertTrue(result["ok"], result)
        cli.wait_line("FINISH_PACKET OK: kind=files size=%d" % len(big), timeout=60)
        self.assertEqual(cli.stop(), 0)

        utf8 = text.encode("utf-8")
        for expected in (
                "SYS FIRST_PACKET ok data_type=text total=%d payload=%d" % (52 + len(utf8),
                                                                           len(utf8)),
                "SYS FINISH_PACKET OK: kind=text size=%d path=\"\"" % len(utf8),
                "SYS FIRST_PACKET ok data_type=image total=%d payload=%d" % (52 + len(image),
                                                                            len(image)),
                "SYS FINISH_PACKET OK: kind=image size=%d" % len(image),
                "SYS FIRST_PACKET file opened path=",
                "SYS FINISH_PACKET checksum method=file_handle",
                "SYS FINISH_PACKET file closed after checksum"):
            self.assertTrue(cli.has(expected), expected)
        self.assertEqual(len([l for l in cli.lines if "match=yes" in l]), 3)
        self.assertEqual(cli.lines[-1], "串口已关闭")

        with open(self.received_file("big file.bin"), "rb") as f:
            self.assertTrue(f.read() == big, "the received file differs")
        # Text and image became history entries, newest first, their content kept whole.
        history = self.history()
        self.assertEqual([row[2] for row in history], ["files", "image", "text"])
        self.assertEqual(history[2][5], "你好，世界 zovrel ✓ 第二行")
        folder = os.path.join(self.root, "history")
        with open(os.path.join(folder, history[2][1] + ".txt"), "rb") as f:
            self.assertEqual(f.read(), utf8)
        with open(os.path.join(folder, history[1][1] + ".png"), "rb") as f:
            self.assertTrue(f.read() == image, "the stored image differs")

        # A history entry goes back to the device as it came.
        mark = len(self.sim.events)
        code, _, err = run_cli(self.root, "--port", self.port, "send", "--entry", "2")
        self.assertEqual(code, 0, err)
        done = self.sim.wait_for(lambda e: e["ev"] == "transfer_done" and e["dir"] == "in",
                                 after=mark)
        self.assertEqual(done["text"], text)


class ProgramToDevice(E2ETest):
    def sent_transfers(self):
        """The program's transfer frames as the device saw them, one list per transfer."""
        transfers = []
        for e in self.sim.of("frame", dir="rx", ch=6):
            if e["type"] == "START_REQUEST":
                transfers.append([])
            transfers[-1].append((e["type"], e["sn"]))
        return transfers

    def check_transfer(self, frames, size):
        chunks = (size + CHUNK - 1) // CHUNK
        expected = ([("START_REQUEST", 0), ("DEVICE_QUERY", 0), ("FIRST_PACKET", 1)] +
                    [("MIDDLE_PACKET", 2 + i) for i in range(chunks)] +
                    [("FINISH_PACKET", 2 + chunks)])
        self.assertEqual(frames, expected)

    def send_with_cli(self, *what):
        code, lines, err = run_cli(self.root, "--port", self.port, "send", *what, timeout=900)
        self.assertEqual(code, 0, err)
        self.assertIn("100%", err)
        self.assertEqual(lines[-1], "串口已关闭")
        for line in lines:
            self.assertTrue(STATUS_TEXTS.match(line) or PROTOCOL_LINE.match(line), line)
        return lines

    def received(self, index):
        done = self.sim.wait_for(lambda e: e["ev"] == "transfer_done" and e["dir"] == "in",
                                 timeout=30, after=index)
        with open(done["path"], "rb") as f:
            return done, f.read()

    def test_text_image_and_a_big_file_arrive_byte_for_byte_in_order(self):
        text = "发送到设备的文字 ✓ zovrel\n" * 3
        mark = len(self.sim.events)
        lines = self.send_with_cli("--text", text)
        done, got = self.received(mark)
        self.assertEqual(got, text.encode("utf-8"))
        self.assertTrue(any("SYS TRANS SEND begin type=text" in l for l in lines))

        image = b"\x89PNG\r\n\x1a\n" + os.urandom(25000)
        mark = len(self.sim.events)
        self.send_with_cli("--image", self.write_file("pic.png", image))
        done, got = self.received(mark)
        self.assertEqual((done["name"], got == image), ("pic.png", True))

        big = os.urandom(PROGRAM_SEND_BYTES)
        mark = len(self.sim.events)
        self.send_with_cli("--file", self.write_file("big.bin", big))
        done, got = self.received(mark)
        self.assertEqual(done["name"], "big.bin")
        self.assertTrue(got == big, "the device received other bytes")

        transfers = self.sent_transfers()
        self.assertEqual(len(transfers), 3)
        for frames, size in zip(transfers, (len(text.encode("utf-8")), len(image), len(big))):
            self.check_transfer(frames, size)


class Faults(E2ETest):
    def test_noise_and_a_bit_flipped_on_the_wire_are_survived(self):
        cli = self.listen()
        self.sim.cmd(cmd="fault", kind="noise", bytes=40, false_start=True, type="MIDDLE_PACKET",
                     count=3)
        self.sim.cmd(cmd="fault", kind="flip", type="MIDDLE_PACKET", nth=2)
        data = os.urandom(6 * CHUNK + 77)
        result = send(self.sim, kind="file", path=self.write_file("n.bin", data))
        self.assertTrue(result["ok"], result)
        cli.wait_line("FINISH_PACKET OK: kind=files")
        self.assertEqual(cli.stop(), 0)

        with open(self.received_file("n.bin"), "rb") as f:
            self.assertEqual(f.read(), data)
        # The flip spoils the frame's own checksum: the program drops it unanswered and the
        # device's resend after its time-out goes through.
        self.assertGreaterEqual(result["retransmits"], 1)
        self.assertEqual([e for e in self.sim.of("frame", dir="rx", type="GENERAL_REPLY")
                          if e.get("rsp_code") != 0], [])
        # Noise and the spoiled frame leave no trace in the log.
        for line in cli.lines:
            self.assertTrue(STATUS_TEXTS.match(line) or PROTOCOL_LINE.match(line), line)

    def test_a_chunk_that_fails_its_own_checksum_is_refused_then_repaired(self):
        cli = self.listen()
        data = os.urandom(3000)
        frames = iter(range(100, 200))

        def device_sends(ftype, payload=b""):
            sn = next(frames)
            self.sim.cmd(cmd="frame", type=ftype, sn=sn, payload_hex=payload.hex())
            reply = self.sim.wait_for(lambda e: e["ev"] == "frame" and e["dir"] == "rx" and
                                      e["sn"] == sn and e["type"] == "GENERAL_REPLY")
            return reply["rsp_code"]

        self.assertEqual(device_sends("START_REQUEST"), 0)
        descriptor = codec.build_descriptor(codec.DATA_FILE, data, "repair.bin")
        self.assertEqual(device_sends("FIRST_PACKET", codec.build_first_packet_body(descriptor)),
                         0)
        first = codec.build_middle_body(data[:2000], 0)
        spoiled = bytearray(first)
        spoiled[9 + 500] ^= 0x10  # a data bit, after the chunk checksum was computed
        self.assertEqual(device_sends("MIDDLE_PACKET", bytes(spoiled)), 1)
        self.assertEqual(device_sends("MIDDLE_PACKET", first), 0)
        self.assertEqual(device_sends("MIDDLE_PACKET", codec.build_middle_body(data[2000:], 2000)),
                         0)
        self.assertEqual(device_sends("FINISH_PACKET"), 0)
        cli.wait_line("FINISH_PACKET OK: kind=files")
        self.assertEqual(cli.stop(), 0)
        self.assertTrue(cli.has("SYS MIDDLE_PACKET pkg_crc mismatch"))
        with open(self.received_file("repair.bin"), "rb") as f:
            self.assertEqual(f.read(), data)

    def test_lost_and_refused_answers_to_the_program_are_recovered(self):
        self.sim.cmd(cmd="fault", kind="drop", type="MIDDLE_PACKET", nth=2, what="reply")
        self.sim.cmd(cmd="fault", kind="fail_chunk", nth=4, code=1)
        data = os.urandom(4 * CHUNK)
        code, lines, err = run_cli(self.root, "--port", self.port, "send", "--file",
                                   self.write_file("d.bin", data), timeout=120)
        self.assertEqual(code, 0, err)
        # The lost answer costs one time-out; the refused chunk is sent again at once.
        self.assertTrue(any("SYS TRANS timeout state=3 sn=3 retry=1/10" in l for l in lines),
                        lines)
        sent = [e["sn"] for e in self.sim.of("frame", dir="rx", type="MIDDLE_PACKET")]
        self.assertEqual(sent, [2, 3, 3, 4, 4, 5])
        done = self.sim.wait_for(lambda e: e["ev"] == "transfer_done" and e["dir"] == "in")
        with open(done["path"], "rb") as f:
            self.assertEqual(f.read(), data)


class Link(E2ETest):
    def test_unplug_and_replug_while_idle(self):
        cli = self.listen()
        lines, events = len(cli.lines), len(self.sim.events)
        self.sim.cmd(cmd="unplug", ms=1500)
        lost = cli.wait_line("串口连接断开", after=lines)
        self.replugged(events)
        opened = cli.wait_line("串口已打开: %s @ 2000000 bps" % self.port, after=lost)
        self.assertEqual(cli.wait_line("串口已重新连接", after=lost), opened + 1)
        # The reopened line carries transfers again.
        self.assertTrue(send(self.sim, kind="text", text="再次连接")["ok"])
        cli.wait_line("FINISH_PACKET OK: kind=text", after=opened)
        self.assertEqual(cli.stop(), 0)

    def test_a_transfer_cut_by_an_unplug_leaves_no_partial_file(self):
        cli = self.listen()
        data = os.urandom(400 * CHUNK)
        self.sim.cmd(cmd="send", kind="file", path=self.write_file("cut.bin", data))
        self.sim.wait_for(lambda e: len(self.sim.of("frame", dir="tx", type="MIDDLE_PACKET"))
                          >= 5, timeout=30)
        lines, events = len(cli.lines), len(self.sim.events)
        self.sim.cmd(cmd="unplug", ms=1000)
        cli.wait_line("串口连接断开", after=lines)
        self.replugged(events)
        back = cli.wait_line("串口已重新连接", after=lines)
        partial = self.received_file("cut.bin")
        # The device gives its broken transfer up; the program's session stays open meanwhile.
        self.sim.cmd(cmd="cancel")
        self.sim.wait_for(lambda e: e["ev"] == "transfer_failed", timeout=30)
        self.sim.cmd(cmd="sleep", ms=200)  # the failed send ends just after its event

        self.assertTrue(send(self.sim, kind="text", text="之后")["ok"])
        cli.wait_line("FINISH_PACKET OK: kind=text", after=back)
        self.assertTrue(cli.has("SYS ResetSession discard file path="))
        self.assertFalse(os.path.exists(partial))
        self.assertEqual(cli.stop(), 0)


class Heartbeat(E2ETest):
    sim_args = ("--no-wire-delay", "--heartbeat", "0")

    def test_echoes_keep_the_link_and_their_absence_reconnects_it(self):
        cli = self.listen()
        self.sim.cmd(cmd="heartbeat", period=5)  # from now on, so none is sent into the void
        self.sim.wait_for(lambda e: e["ev"] == "echo_ok", timeout=15)
        # Three more heartbeats: the 10 s echo time-out must not fire meanwhile.
        for n in range(2, 5):
            self.sim.wait_for(lambda e, n=n: len(self.sim.of("echo_ok")) >= n, timeout=15)
        self.assertFalse(cli.has("串口连接断开") or cli.has("ECHO 超时"), cli.lines)
        self.assertEqual(self.sim.of("echo_lost") + self.sim.of("echo_mismatch"), [])

        lines = len(cli.lines)
        self.sim.cmd(cmd="silence", on=True)
        timeout = cli.wait_line("ECHO 超时", after=lines, timeout=30)
        match = re.search(r"SYS ECHO 超时 (\d+)s · 重连串口 · (.+)$", cli.lines[timeout])
        self.assertTrue(match, cli.lines[timeout])
        self.assertGreaterEqual(int(match.group(1)), 10)
        self.assertEqual(match.group(2), self.port)
        lost = cli.wait_line("串口连接断开", after=timeout)
        cli.wait_line("串口已重新连接", after=lost)
        self.assertEqual(cli.stop(), 0)


if __name__ == "__main__":
    unittest.main()
