"""zovrel-cli as a process: usage errors, ports, history, listen and send over a pty.

ZOVREL_CLI names the binary; ZOVREL_WINE_RUN, when set, runs it under Wine (only the tests
that need no serial line run there: the whole-program tests cover the COM port)."""

import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import tty
import unittest

TOOLS = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", "tools"))
sys.path.insert(0, TOOLS)
from zovrel_device import codec  # noqa: E402
from zovrel_device.scanner import FrameScanner  # noqa: E402

CLI = os.environ.get("ZOVREL_CLI", "")
WINE_RUN = os.environ.get("ZOVREL_WINE_RUN", "")
NATIVE = not WINE_RUN


def command(*args):
    return ([WINE_RUN] if WINE_RUN else []) + [CLI] + list(args)


def run(*args, timeout=60):
    return subprocess.run(command(*args), capture_output=True, timeout=timeout)


class Usage(unittest.TestCase):
    def test_usage_errors_exit_2_with_the_usage_on_stderr(self):
        for args in ([], ["frobnicate"], ["listen"], ["--port", "X", "send"],
                     ["--port", "X", "send", "--text", "a", "--file", "b"],
                     ["--port", "X", "listen", "--seconds", "soon"], ["ports", "extra"]):
            with self.subTest(args=args):
                done = run(*args)
                self.assertEqual(done.returncode, 2, done)
                self.assertEqual(done.stdout, b"")
                self.assertIn(b"usage:", done.stderr)
                self.assertIn(b"zovrel-cli [--data-root DIR] ports", done.stderr)

    def test_help_exits_0_with_the_usage_on_stdout(self):
        done = run("--help")
        self.assertEqual(done.returncode, 0)
        self.assertIn(b"--port NAME listen", done.stdout)


class Offline(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="zovrel-cli-")
        self.addCleanup(shutil.rmtree, self.root, True)

    def data_root(self):
        return "Z:" + self.root if WINE_RUN else self.root

    def test_ports_prints_name_tab_description_per_port(self):
        done = run("--data-root", self.data_root(), "ports")
        self.assertEqual(done.returncode, 0, done)
        for line in done.stdout.decode("utf-8").splitlines():
            name, text = line.split("\t")
            self.assertTrue(name.strip() and name == name.strip(), line)
            self.assertTrue(text, line)
        # Listing ports writes nothing into the data root.
        self.assertEqual(os.listdir(self.root), [])

    def test_history_of_a_new_data_root_is_empty(self):
        done = run("--data-root", self.data_root(), "history")
        self.assertEqual((done.returncode, done.stdout), (0, b""), done)

    def test_send_of_a_missing_history_entry_or_image_fails_with_exit_1(self):
        for args in (["--entry", "3"], ["--image", os.path.join(self.data_root(), "no.png")]):
            with self.subTest(args=args):
                done = run("--data-root", self.data_root(), "--port", "COM250", "send", *args)
                self.assertEqual(done.returncode, 1, done)
                self.assertTrue(done.stderr.strip())


class Pty:
    """The device end of a pty; the CLI opens the slave by its path."""

    def __init__(self):
        self.master, self.slave = os.openpty()
        tty.setraw(self.master)
        self.path = os.ttyname(self.slave)
        self.scanner = FrameScanner()

    def write(self, data):
        os.write(self.master, data)

    def frames(self, timeout):
        """Frames as they arrive, until `timeout` seconds pass without one."""
        while True:
            ready, _, _ = select.select([self.master], [], [], timeout)
            if not ready:
                return
            try:
                data = os.read(self.master, 65536)
            except OSError:
                return
            for _, frame, _ in self.scanner.feed(data):
                yield frame

    def close(self):
        os.close(self.master)
        os.close(self.slave)


@unittest.skipUnless(NATIVE, "the pty is opened by path only in the native build")
class OverAPty(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="zovrel-cli-")
        self.addCleanup(shutil.rmtree, self.root, True)
        self.pty = Pty()
        self.addCleanup(self.pty.close)

    def start(self, *args):
        proc = subprocess.Popen(command("--data-root", self.root, "--port", self.pty.path, *args),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.addCleanup(lambda: proc.poll() is None and proc.kill())
        return proc

    def wait_line(self, proc, text, timeout=10):
        # Reads the pipe itself: a buffered readline() could swallow several lines at once and
        # leave select() waiting for data that already arrived.
        pending = self.__dict__.setdefault("_pending", {})
        buf = pending.get(proc.pid, b"")
        deadline = time.monotonic() + timeout
        lines = []
        while True:
            while b"\n" in buf:
                raw, buf = buf.split(b"\n", 1)
                line = raw.decode("utf-8") + "\n"
                lines.append(line)
                if text in line:
                    pending[proc.pid] = buf
                    return lines
            left = deadline - time.monotonic()
            if left <= 0:
                break
            ready, _, _ = select.select([proc.stdout], [], [], min(left, 0.2))
            if ready:
                chunk = os.read(proc.stdout.fileno(), 65536)
                if not chunk:
                    break
                buf += chunk
        pending[proc.pid] = buf
        self.fail("no line with %r in %r" % (text, lines))

    def test_listen_answers_a_device_query_and_stops_on_sigterm(self):
        proc = self.start("listen")
        self.wait_line(proc, "串口已打开: %s @ 2000000 bps" % self.pty.path)
        self.pty.write(codec.build_frame(codec.CHANNEL_TRANSFER, codec.DEVICE_QUERY, 77))
        reply = next(self.pty.frames(5))
        self.assertEqual((reply.type, reply.sn, reply.channel),
                         (codec.DEVICE_QUERY_RSP, 77, codec.CHANNEL_TRANSFER))
        self.assertEqual(codec.parse_device_query_rsp(reply.payload), 10304)
        # The reply line comes before the line of the frame it answers, each printed at once.
        lines = self.wait_line(proc, " RX ch=0x06 DEVICE_QUERY ")
        self.assertTrue(any(" TX AUTO TX · ch=0x06 DEVICE_QUERY_RSP " in l for l in lines), lines)

        proc.send_signal(signal.SIGTERM)
        out, _ = proc.communicate(timeout=10)
        self.assertEqual(proc.returncode, 0)
        self.assertEqual(out.decode("utf-8").splitlines()[-1], "串口已关闭")
        with open(self.log_file(), encoding="utf-8-sig") as f:
            self.assertIn("串口已关闭", f.read())

    def log_file(self):
        logs = os.path.join(self.root, "logs")
        return os.path.join(logs, os.listdir(logs)[0])

    def play_device(self, answer):
        """Answers every frame the CLI sends with answer(frame) (None: no answer); returns the
        frames it saw once the CLI has gone quiet."""
        seen = []

        def loop():
            for frame in self.pty.frames(3):
                seen.append(frame)
                reply = answer(frame)
                if reply:
                    self.pty.write(reply)

        thread = threading.Thread(target=loop, daemon=True)
        thread.start()
        return seen, thread

    def test_send_text_goes_out_in_order_and_exits_0(self):
        text = "你好, zovrel " * 40  # several chunks at the small packet size below

        def answer(f):
            if f.type == codec.DEVICE_QUERY:
                return codec.build_device_query_rsp(f.channel, f.sn, 200)
            return codec.build_general_reply(f.channel, f.sn, 0, 2)

        seen, thread = self.play_device(answer)
        done = subprocess.run(command("--data-root", self.root, "--port", self.pty.path, "send",
                                      "--text", text), capture_output=True, timeout=60)
        thread.join(10)
        self.assertEqual(done.returncode, 0, done.stderr.decode("utf-8", "replace"))
        types = [codec.type_name(f.type) for f in seen]
        middles = [f for f in seen if f.type == codec.MIDDLE_PACKET]
        self.assertEqual(types[:3], ["START_REQUEST", "DEVICE_QUERY", "FIRST_PACKET"])
        self.assertEqual(types[-1], "FINISH_PACKET")
        self.assertEqual(len(types), 4 + len(middles))
        # The DEVICE_QUERY repeats the sn of the START_REQUEST it follows.
        self.assertEqual([f.sn for f in seen], [0] + list(range(len(seen) - 1)))
        payload = b"".join(codec.parse_middle(f.payload).data for f in middles)
        self.assertEqual(payload, text.encode("utf-8"))
        self.assertIn(b"100%", done.stderr)

    def test_send_refused_by_the_device_fails_with_exit_1_and_the_reason(self):
        def answer(f):
            if f.type == codec.DEVICE_QUERY:
                return codec.build_device_query_rsp(f.channel, f.sn, 10304)
            code = 1 if f.type == codec.FIRST_PACKET else 0
            return codec.build_general_reply(f.channel, f.sn, code, 2)

        seen, thread = self.play_device(answer)
        done = subprocess.run(command("--data-root", self.root, "--port", self.pty.path, "send",
                                      "--text", "x"), capture_output=True, timeout=60)
        thread.join(10)
        self.assertEqual(done.returncode, 1)
        self.assertTrue(done.stderr.decode("utf-8").strip().splitlines()[-1])
        # The first try and three repeats, then the engine gives up.
        self.assertEqual(sum(f.type == codec.FIRST_PACKET for f in seen), 4)

    def test_send_to_a_port_that_does_not_open_fails_with_exit_1(self):
        missing = os.path.join(self.root, "no-such-tty")
        done = run("--data-root", self.root, "--port", missing, "send", "--text", "x")
        self.assertEqual(done.returncode, 1)
        self.assertIn("串口打开失败: " + missing, done.stdout.decode("utf-8"))
        self.assertIn("串口打开失败", done.stderr.decode("utf-8"))


if __name__ == "__main__":
    unittest.main()
