"""Whole-program runs: zovrel-cli against the device simulator over a real (virtual) serial line."""

import glob
import os
import unittest
from concurrent.futures import ThreadPoolExecutor

from e2e_support import E2ETest

# Sending is paced at 150 ms a chunk (5 MiB: some 80 s); the slower builds send less.
PROGRAM_SEND_BYTES = int(os.environ.get("ZOVREL_E2E_SEND_BYTES", 5 << 20))


class DeviceToProgram(E2ETest):
    def test_a_text_and_a_5_mib_file_arrive_intact_through_noise_and_a_flipped_bit(self):
        cli = self.listen()
        text = "你好，世界 zovrel ✓\r\n第二行"
        big = os.urandom(5 << 20)
        self.device_sends(kind="text", text=text)
        # Noise, and a flipped bit: the program must drop that frame unanswered; the device resends.
        self.sim.cmd(cmd="fault", kind="noise", bytes=40, false_start=True, type="MIDDLE_PACKET",
                     count=3)
        self.sim.cmd(cmd="fault", kind="flip", type="MIDDLE_PACKET", nth=2)
        result = self.device_sends(kind="file", path=self.write_file("big file.bin", big))
        self.assertGreaterEqual(result["retransmits"], 1)
        cli.wait_line("FINISH_PACKET OK: kind=files size=%d" % len(big), timeout=60)
        self.assertEqual(cli.stop(), 0)
        self.assertEqual(cli.lines[-1], "串口已关闭")
        self.assertEqual([e for e in self.sim.events if e["ev"] == "frame" and e["dir"] == "rx"
                          and e["type"] == "GENERAL_REPLY" and e.get("rsp_code")], [])
        self.assertEqual("\n".join(cli.lines).count("match=yes"), 2)
        [path] = glob.glob(os.path.join(self.root, "files", "*", "big file.bin"))
        with open(path, "rb") as f:
            self.assertTrue(f.read() == big, "the received file differs")

        # The text became the older history entry: it goes back whole.
        mark = len(self.sim.events)
        self.send_cli("--entry", "1")
        self.assertEqual(self.device_got(mark)[0]["text"], text)


class ProgramToDevice(E2ETest):
    slow = True  # paced by the program: runs beside the others

    def test_a_big_file_arrives_past_a_lost_and_a_refused_answer(self):
        big = os.urandom(PROGRAM_SEND_BYTES)
        mark = len(self.sim.events)
        # Retried as the native tables say; here only that it arrives, under its Chinese name.
        self.sim.cmd(cmd="fault", kind="drop", type="MIDDLE_PACKET", nth=2, what="reply")
        self.sim.cmd(cmd="fault", kind="fail_chunk", nth=4, code=1)
        lines, err = self.send_cli("--file", self.write_file("大文件 ✓.bin", big), timeout=900)
        self.assertIn("100%", err)
        self.assertEqual(lines[-1], "串口已关闭")
        done, got = self.device_got(mark)
        self.assertTrue(got == big, "the device received other bytes")
        self.assertEqual(done["name"], "大文件 ✓.bin")


class Suite(unittest.TestSuite):
    """Runs the slow cases, which mostly wait, in threads beside the others."""

    def run(self, result, debug=False):
        slow = [(t, unittest.TestResult()) for t in self if getattr(t, "slow", False)]
        with ThreadPoolExecutor() as pool:
            for t, r in slow:
                pool.submit(t.run, r)
            unittest.TestSuite(t for t in self if not getattr(t, "slow", False)).run(result)
        for _, r in slow:
            result.testsRun += r.testsRun
            result.errors, result.failures = result.errors + r.errors, result.failures + r.failures


def load_tests(loader, tests, pattern):
    return Suite(t for group in tests for t in group)


if __name__ == "__main__":
    unittest.main()
