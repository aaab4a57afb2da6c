"""zovrel-cli as a process: exit codes in both builds, listen and send over a pty natively."""

import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from e2e_support import CLI, WINE_RUN, Cli, windows_path  # noqa: E402
from zovrel_device import codec  # noqa: E402
from zovrel_device.scanner import FrameScanner  # noqa: E402

def run(*args):
    return subprocess.run(([WINE_RUN] if WINE_RUN else []) + [CLI, *args], capture_output=True,
                          timeout=60)


def frames(master, timeout):
    """Frames the CLI writes to the pty, until `timeout` seconds pass without any."""
    scanner = FrameScanner()
    while select.select([master], [], [], timeout)[0]:
        for _, frame, _ in scanner.feed(os.read(master, 65536)):
            yield frame


class CliProcess(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="zovrel-cli-")
        self.addCleanup(shutil.rmtree, self.root, True)

    def pty(self):
        master, slave = os.openpty()
        self.addCleanup(os.close, master)
        self.addCleanup(os.close, slave)
        return master, os.ttyname(slave)

    def test_exit_codes(self):
        for args in ([], ["--port", "X", "listen", "--seconds", "soon"]):
            done = run(*args)
            self.assertEqual((done.returncode, done.stdout), (2, b""), done)
            self.assertIn(b"usage:\n  zovrel-cli [--data-root DIR] ports", done.stderr)
        done = run("--help")
        self.assertEqual(done.returncode, 0)
        self.assertIn(b"--port NAME listen", done.stdout)

        root = windows_path(self.root)
        self.assertEqual(run("--data-root", root, "ports").returncode, 0)
        self.assertEqual(os.listdir(self.root), [])  # listing ports writes nothing
        done = run("--data-root", root, "history")
        self.assertEqual((done.returncode, done.stdout), (0, b""), done)
        # What cannot be sent fails with 1; the text fails at the port, which the log says.
        port = "COM250" if WINE_RUN else os.path.join(self.root, "no-such-tty")
        for args in (["--entry", "3"], ["--image", root + "/no.png"], ["--text", "x"]):
            done = run("--data-root", root, "--port", port, "send", *args)
            self.assertEqual(done.returncode, 1, done)
            self.assertTrue(done.stderr.strip())
        self.assertIn("串口打开失败: " + port, done.stdout.decode("utf-8"))

    @unittest.skipIf(WINE_RUN, "the pty is opened by path only in the native build")
    def test_listen_answers_a_device_query_and_stops_on_sigterm(self):
        master, path = self.pty()
        cli = Cli(self.root, "--port", path, "listen")
        self.addCleanup(lambda: cli.proc.poll() is None and cli.proc.kill())
        cli.wait_line("串口已打开: %s @ 2000000 bps" % path, timeout=10)
        os.write(master, codec.build_frame(codec.CHANNEL_TRANSFER, codec.DEVICE_QUERY, 77))
        reply = next(frames(master, 5))
        self.assertEqual((reply.type, reply.sn), (codec.DEVICE_QUERY_RSP, 77))
        # The reply's line comes before the line of the frame it answers, each printed at once.
        rx = cli.wait_line(" RX ch=0x06 DEVICE_QUERY ", timeout=10)
        self.assertIn(" TX AUTO TX · ch=0x06 DEVICE_QUERY_RSP ", cli.lines[rx - 1])
        self.assertEqual(cli.stop(signal.SIGTERM, 10), 0)
        self.assertEqual(cli.lines[-1], "串口已关闭")

    @unittest.skipIf(WINE_RUN, "the pty is opened by path only in the native build")
    def test_send_refused_by_the_device_fails_with_exit_1_after_the_retries(self):
        master, path = self.pty()
        seen = []

        def device():
            for f in frames(master, 3):
                seen.append(codec.type_name(f.type))
                refused = int(f.type == codec.FIRST_PACKET)
                os.write(master, codec.build_device_query_rsp(f.channel, f.sn, 10304)
                         if f.type == codec.DEVICE_QUERY
                         else codec.build_general_reply(f.channel, f.sn, refused, 2))

        thread = threading.Thread(target=device, daemon=True)
        thread.start()
        done = run("--data-root", self.root, "--port", path, "send", "--text", "x")
        thread.join(10)
        self.assertEqual(done.returncode, 1)
        self.assertTrue(done.stderr.strip())
        # The first try and three repeats, then the engine gives up.
        self.assertEqual(seen, ["START_REQUEST", "DEVICE_QUERY"] + ["FIRST_PACKET"] * 4)


if __name__ == "__main__":
    unittest.main()
