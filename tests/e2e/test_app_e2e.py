"""Whole-program runs of zovrel.exe ($ZOVREL_EXE) as a user meets it: Wine on a virtual display,
the device simulator on a COM port, real clicks, keys and X clipboard; a screenshot of each step
goes to build/screenshots/e2e/. Prefix: $ZOVREL_E2E_WINEPREFIX or build/wine-e2e."""

import os
import shutil
import subprocess
import time
import unittest

# The runs are of the Windows build (also when started by hand).
os.environ.setdefault("ZOVREL_WINE_RUN", os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                      "..", "..", "scripts", "wine-run"))
from e2e_support import E2ETest, windows_path  # noqa: E402
from harness import (SERIALCOMM, SOURCE, Desktop, Program, poll, read_text,  # noqa: E402
                     reg_values)

EXE = os.environ.get("ZOVREL_EXE", "")
HELPER = os.environ.get("ZOVREL_E2E_HELPER", "")  # another Windows program (desktop_helper)
NIN_KEYSELECT = 0x401
NIN_BALLOONUSERCLICK = 0x405
PREFIX = os.environ.get("ZOVREL_E2E_WINEPREFIX") or os.path.join(SOURCE, "build", "wine-e2e")
TEXT_FROM_DEVICE = "你好，来自设备的文字 ✓ zovrel"
TEXT_COPIED = "另一个程序复制的文字: copied by xclip ✓"


def setUpModule():
    global DESKTOP
    if not EXE or not os.path.exists(EXE):
        raise unittest.SkipTest("ZOVREL_EXE does not name a built zovrel.exe")
    missing = [t for t in ("Xvfb", "openbox", "xdotool", "xclip", "import", "xwininfo")
               if shutil.which(t) is None]
    if missing:
        raise unittest.SkipTest("not installed: %s" % missing)
    DESKTOP = Desktop(PREFIX)


def tearDownModule():
    if "DESKTOP" in globals():
        DESKTOP.close()


def make_png(path, width, height, seed):
    """A real PNG of noise (it compresses badly, so the transfer has many chunks)."""
    subprocess.run(["convert", "-size", "%dx%d" % (width, height), "-seed", str(seed),
                    "plasma:", "-attenuate", "2", "+noise", "Random", path], check=True,
                   timeout=60)
    return path


class AppTest(E2ETest):
    def setUp(self):
        self.desktop = DESKTOP
        self.desktop.clear_clipboard()
        super().setUp()
        self.prog = Program(self.desktop, os.path.join(self.dir, "zovrel"), EXE)
        self.addCleanup(self.prog.kill)
        self.addCleanup(self.shot, "end")

    def shot(self, name):
        return self.desktop.screenshot("%s-%s" % (self._testMethodName[5:20], name))

    def helper(self, *args, **kw):
        return subprocess.Popen([self.desktop.wine_run, HELPER, *args], env=self.desktop.env,
                                stdin=subprocess.DEVNULL, **kw)

    def start_on_saved_port(self):
        self.prog.write_settings(UartComPort=self.port)
        self.prog.start()
        window = self.prog.wait_title("zovrel")
        self.wait_open(timeout=30)
        return window

    def wait_open(self, **kw):
        return self.prog.wait_log("串口已打开: %s @ 2000000 bps" % self.port, **kw)

    def frames_to_device(self, type_name, after, wait_for=0):
        def frames():
            return [e for e in self.sim.events[after:]
                    if e["ev"] == "frame" and e["dir"] == "rx" and e["type"] == type_name]
        poll(lambda: len(frames()) >= wait_for, 30,
             message="fewer than %d %s frames reached the device" % (wait_for, type_name))
        return frames()

    def popup(self, keep, message):
        return poll(lambda: [p for p in self.desktop.popup_windows() if keep(p)], 10,
                    message=message)[0]

    def present_ports(self):
        """The port names the program lists, sorted by number."""
        names = list((reg_values(SERIALCOMM, env=self.desktop.env) or {}).values())
        return sorted(names, key=lambda n: int(n[3:]) if n[3:].isdigit() else 0)

    def open_settings_page(self, window):
        """The menu button (two Shift+Tabs back from the history list) and its first item."""
        self.desktop.activate(window)
        self.desktop.key("shift+Tab", "shift+Tab", "space")
        menu = self.popup(lambda p: p[4] > 30, "the menu button's menu did not open")
        self.shot("menu-button-menu")
        self.desktop.click(menu[1] + menu[3] // 2, menu[2] + 12)
        self.prog.wait_title("zovrel - 串口设置")

    def row_menu_send(self, row):
        """The row menu's first item, "发送", on row `row` (opened with the context-menu key)."""
        self.desktop.key("Home", *["Down"] * row, "Menu")
        self.popup(lambda p: p[4] > 30, "the context-menu key opened no row menu")
        self.desktop.key("Down", "Return")

    def exit_from_tray_menu(self):
        before = {p[0] for p in self.desktop.popup_windows()}
        self.desktop.tray_click(3)
        _, x, y, w, h = self.popup(lambda p: p[0] not in before, "the tray menu did not open")
        self.shot("tray-menu")
        self.desktop.click(x + w // 2, y + h - 12)  # "退出", the last item
        return self.prog.wait_exit(30)


class FirstStartAndTransfers(AppTest):
    def test_first_start_then_texts_images_and_files_both_ways(self):
        desktop, prog = self.desktop, self.prog
        # A settings file without a port counts as a first run. (No tray notices: Wine draws
        # them over the screen while the steps below are timed by their screenshots.)
        prog.write_settings(UartDebugLog=0, NotifyOnReceive=0)
        prog.start()
        window = prog.wait_title("zovrel - 串口设置")
        self.shot("first-start-settings-page")

        # The page opens on the port choice: arrow keys choose, Enter presses "保存"; page 0 then
        # shows the open port.
        desktop.activate(window)
        desktop.key("Home", *["Down"] * self.present_ports().index(self.port))
        self.shot("port-chosen")
        desktop.key("Return")
        window = prog.wait_title("zovrel")
        self.wait_open()
        self.assertEqual(prog.settings().get("UartComPort"), self.port)
        self.shot("saved-port-open")

        # The device sends a Chinese text: one row, and the X clipboard holds it.
        self.device_sends(kind="text", text=TEXT_FROM_DEVICE)
        self.assertEqual(prog.wait_history(1)[0][1:], (0, TEXT_FROM_DEVICE))
        poll(lambda: desktop.clipboard_text() == TEXT_FROM_DEVICE, 10,
             message="the X clipboard does not hold the received text")
        self.shot("received-text")

        # Another program copies a text: exactly one more row, on top.
        desktop.copy_text(TEXT_COPIED)
        history = prog.wait_history(2)
        self.assertEqual([e[2] for e in history], [TEXT_COPIED, TEXT_FROM_DEVICE])
        time.sleep(1)  # the watcher's debounce and poll have long passed: nothing more comes
        self.assertEqual(len(prog.history()), 2)
        self.shot("copied-text")

        # An image from the device, sent back: "放弃" (three Tabs on from the list: the port
        # choice, "断开", "放弃") ends the send and the device never sees its FINISH_PACKET.
        self.device_sends(kind="image", path=make_png(os.path.join(self.dir, "noise.png"), 420,
                                                      420, 7))
        self.assertEqual(prog.wait_history(3)[0][1], 1)
        mark = len(self.sim.events)
        desktop.activate(window)
        self.row_menu_send(0)
        self.frames_to_device("MIDDLE_PACKET", mark, 4)
        desktop.key("Tab", "Tab", "Tab", "space")  # at once: a screenshot first takes too long
        self.assertLess(stable_count(lambda: len(self.frames_to_device("MIDDLE_PACKET", mark))),
                        60)
        self.assertEqual(self.frames_to_device("FINISH_PACKET", mark), [])
        self.shot("image-send-cancelled")

        # A file from the device lands in the day folder, a files row on top.
        content = b"measurement\n" * 2000
        self.device_sends(kind="file", path=self.write_file("device report.txt", content))
        self.assertEqual(prog.wait_history(4)[0][1], 2)
        days = os.listdir(os.path.join(prog.folder, "files"))
        self.assertEqual(len(days), 1)
        with open(os.path.join(prog.folder, "files", days[0], "device report.txt"), "rb") as f:
            self.assertEqual(f.read(), content)

        # The image goes out again; the device stops answering halfway; "退出" ends it all.
        mark = len(self.sim.events)
        desktop.activate(window)
        self.row_menu_send(1)
        self.frames_to_device("MIDDLE_PACKET", mark, 3)
        self.sim.cmd(cmd="silence", on=True, full=True)
        self.shot("sending-to-silent-device")
        self.assertEqual(self.exit_from_tray_menu(), 0)
        self.assertEqual(self.frames_to_device("FINISH_PACKET", mark), [])
        self.assertEqual(sorted(e[1] for e in prog.history()), [0, 0, 1, 2])
        self.assertIn("串口已关闭", prog.log()[-1])


class SecondStartTrayAndExit(AppTest):
    def test_second_start_tray_menu_exit_and_restart_with_the_same_rows(self):
        desktop, prog = self.desktop, self.prog
        window = self.start_on_saved_port()
        for text in ("第一条 first", "第二条 second"):
            desktop.copy_text(text)
            prog.wait_history(len(prog.history()) + 1)
        rows = prog.history()
        index = os.path.join(prog.folder, "history", "index.ini")
        saved = read_text(index)

        # A second start while the window is visible brings it to the front and ends.
        other = subprocess.Popen(["xmessage", "-geometry", "+60+60", "another program in front"],
                                 env=desktop.env)
        self.addCleanup(lambda: (other.kill(), other.wait()))
        cover = poll(lambda: desktop.windows("^xmessage$"), 10)[0]
        desktop.activate(cover)
        poll(lambda: desktop.active_window() == cover, 10)
        self.shot("covered-by-another-program")
        self.assertEqual(prog.launch().wait(60), 0)
        # On top of the other program, on page 0. (Openbox keeps the keyboard focus where the
        # user last put it: the X side of Windows' foreground rule, which Wine cannot lift.)
        poll(lambda: desktop.stacking()[-1] == window, 10,
             message="the running instance did not come to the front")
        self.assertEqual(prog.title(window), "zovrel")
        self.assertEqual(desktop.windows("^zovrel"), [window])
        self.assertEqual(prog.proc.poll(), None)
        self.assertEqual(prog.history(), rows)
        self.shot("second-start-brought-it-forward")

        # Hidden in the tray (here on the settings page): a second start brings it back on page 0.
        self.open_settings_page(window)
        desktop.activate(window)
        desktop.key("alt+F4")
        poll(lambda: not desktop.windows("^zovrel"), 10, message="closing did not hide it")
        self.assertEqual(prog.launch().wait(60), 0)
        self.assertEqual(prog.wait_title("zovrel"), window)
        self.assertEqual(prog.proc.poll(), None)
        self.assertEqual(read_text(index), saved)
        self.shot("hidden-second-start-shows-it")

        # A left click on the tray icon shows the window on page 0 (one show: the click's
        # WM_LBUTTONUP is followed by NIN_SELECT, and only that acts).
        desktop.activate(window)
        desktop.key("alt+F4")
        poll(lambda: not desktop.windows("^zovrel"), 10, message="closing did not hide it")
        desktop.tray_click(1)
        self.assertEqual(prog.wait_title("zovrel"), window)
        self.shot("tray-click-shows-page-0")

        # "退出" from the tray menu ends the process with the history saved; the icon goes.
        self.assertEqual(self.exit_from_tray_menu(), 0)
        poll(lambda: desktop.tray_window() is None, 10, message="the tray icon stayed")
        self.assertEqual(prog.history(), rows)
        self.assertIn("串口已关闭", prog.log()[-1])
        self.shot("exited")


class KeyboardOnly(AppTest):
    """No mouse event at all. Wine's tray has no keyboard: the tray's keyboard selection
    (NIN_KEYSELECT) is posted to the program as the shell would post it."""

    def test_tray_keys_enter_delete_row_menu_escape_and_second_starts(self):
        if not HELPER or not os.path.exists(HELPER):
            self.skipTest("ZOVREL_E2E_HELPER does not name the built desktop_helper.exe")
        desktop, prog = self.desktop, self.prog
        window = self.start_on_saved_port()
        for text in ("第一 one", "第二 two", "第三 three"):
            desktop.copy_text(text)
            prog.wait_history(len(prog.history()) + 1)

        def visible():
            return window in desktop.windows("^zovrel")

        def texts():
            return [e[2] for e in prog.history()]

        # Esc on the history page hides the window.
        desktop.activate(window)
        desktop.key("Escape")
        poll(lambda: not visible(), 10, message="Esc did not hide the window")

        # The tray's keyboard selection shows it on page 0 with the list focused, a row selected.
        self.assertEqual(self.helper("post-tray", str(NIN_KEYSELECT)).wait(60), 0)
        poll(visible, 10, message="NIN_KEYSELECT did not show the window")
        self.assertEqual(prog.title(window), "zovrel")
        desktop.activate(window)
        self.shot("focus-mark-on-the-first-row")

        # Down, Enter: the second row goes to the X clipboard (and to the top of the list).
        desktop.key("Down", "Return")
        poll(lambda: desktop.clipboard_text() == "第二 two", 10,
             message="Enter did not put the selected row on the clipboard")
        poll(lambda: texts()[0] == "第二 two", 10)

        # Delete removes the selected row (the selection stayed on row 2: "第三 three").
        desktop.key("Delete")
        poll(lambda: texts() == ["第二 two", "第一 one"], 10, message="Delete removed no row")

        # The context-menu key on the first row: its menu, first item "发送"; the device gets it
        # byte for byte.
        mark = len(self.sim.events)
        self.row_menu_send(0)
        self.assertEqual(self.device_got(mark)[1], "第二 two".encode("utf-8"))

        # With a window of another program titled "zovrel" open, a second start still reaches
        # the program, and that window gets nothing.
        stand_in = self.helper("stand-in", "zovrel", stdout=subprocess.PIPE)
        self.addCleanup(lambda: (stand_in.kill(), stand_in.wait(), stand_in.stdout.close()))
        self.assertEqual(stand_in.stdout.readline().strip(), b"ready")
        other = poll(lambda: [w for w in desktop.windows("^zovrel$") if w != window], 10)[0]
        desktop.activate(window)
        desktop.key("Escape")
        poll(lambda: not visible(), 10, message="Esc did not hide the window")
        self.assertEqual(prog.launch().wait(60), 0)
        poll(visible, 10, message="a second start did not reach the program")
        self.shot("second-start-beside-a-stand-in")
        self.assertIn(other, desktop.windows("^zovrel$"))
        desktop.activate(other)
        desktop.key("alt+F4")
        self.assertEqual(stand_in.wait(30), 0)
        self.assertEqual(stand_in.stdout.read().strip(), b"", "the stand-in got a message")
        self.assertEqual(prog.proc.poll(), None)


class PinsAndDrops(AppTest):
    def test_a_pinned_entry_outlives_thirty_captures_and_a_restart_and_dropped_files_are_sent(self):
        if not HELPER or not os.path.exists(HELPER):
            self.skipTest("ZOVREL_E2E_HELPER does not name the built desktop_helper.exe")
        desktop, prog = self.desktop, self.prog
        window = self.start_on_saved_port()
        desktop.copy_text("每天都发的命令 pinned")
        pinned = prog.wait_history(1)[0]

        # The row menu's last item, "固定", from the keyboard.
        desktop.activate(window)
        desktop.key("Home", "Menu")
        self.popup(lambda p: p[4] > 30, "the context-menu key opened no row menu")
        desktop.key("Down", "Down", "Down", "Return")
        meta = os.path.join(prog.folder, "history", "%d.meta" % pinned[0])
        poll(lambda: "Pinned=1" in read_text(meta), 10, message="the entry was not pinned")
        self.shot("pinned-row")

        for i in range(1, 31):
            desktop.copy_text("条目 %d" % i)
            poll(lambda: [e[2] for e in prog.history()[1:2]] == ["条目 %d" % i], 20,
                 message="capture %d did not arrive below the pin" % i)
        rows = prog.history()
        self.assertEqual((len(rows), rows[0], rows[-1][2]), (30, pinned, "条目 2"))

        self.assertEqual(self.exit_from_tray_menu(), 0)
        prog.start()
        prog.wait_title("zovrel")
        self.wait_open(timeout=30)
        self.assertEqual(prog.history(), rows)
        self.assertIn("Pinned=1", read_text(meta))

        # Two files dropped on the window: a new entry below the pin, sent as two transfers.
        a = self.write_file("拖放 a.txt", b"dropped a\n" * 300)
        b = self.write_file("drop b.bin", bytes(range(256)) * 40)
        mark = len(self.sim.events)
        self.assertEqual(subprocess.run([desktop.wine_run, HELPER, "drop", windows_path(a),
                                         windows_path(b)], env=desktop.env, timeout=60,
                                        stdin=subprocess.DEVNULL).returncode, 0)
        first, got_a = self.device_got(mark)
        _, got_b = self.device_got(self.sim.events.index(first) + 1)
        self.assertEqual((got_a, got_b), (b"dropped a\n" * 300, bytes(range(256)) * 40))
        history = prog.history()
        self.assertEqual((history[0], history[1][1:]), (pinned, (2, "2 个文件")))
        self.shot("dropped-and-sent")


class HotkeysAndNotices(AppTest):
    """Under Wine a hotkey fires only while a window of some Wine program has the X focus: a
    stand-in window of another Wine program is in front, as another program would be. Wine
    sends no balloon click: the tray callback is posted as the shell would post it."""

    def test_send_hotkey_while_hidden_show_hotkey_and_notice_of_a_device_text(self):
        if not HELPER or not os.path.exists(HELPER):
            self.skipTest("ZOVREL_E2E_HELPER does not name the built desktop_helper.exe")
        desktop, prog = self.desktop, self.prog
        window = self.start_on_saved_port()
        for text in ("较早的 older", "最新的 newest ✓"):
            desktop.copy_text(text)
            prog.wait_history(len(prog.history()) + 1)
        stand_in = self.helper("stand-in", "another program", stdout=subprocess.PIPE)
        self.addCleanup(lambda: (stand_in.kill(), stand_in.wait(), stand_in.stdout.close()))
        self.assertEqual(stand_in.stdout.readline().strip(), b"ready")
        other = poll(lambda: desktop.windows("^another program$"), 10)[0]

        def visible():
            return window in desktop.windows("^zovrel")

        # Hidden, another program in front: the send hotkey delivers the newest entry, and the
        # result comes as a notice.
        desktop.activate(window)
        desktop.key("Escape")
        poll(lambda: not visible(), 10, message="Esc did not hide the window")
        desktop.activate(other)
        mark, lines = len(self.sim.events), len(prog.log())
        desktop.key("ctrl+alt+s")
        self.assertEqual(self.device_got(mark)[1], "最新的 newest ✓".encode("utf-8"))
        prog.wait_log("通知: 已发送到设备", after=lines)
        self.assertFalse(visible())
        self.shot("sent-by-hotkey-while-hidden")

        # The show hotkey brings the window up on the history page.
        desktop.activate(other)
        desktop.key("ctrl+alt+v")
        poll(visible, 10, message="the show hotkey did not show the window")
        self.assertEqual(prog.title(window), "zovrel")
        self.shot("shown-by-hotkey")
        # The newest row is the selected one, for the list's keys (openbox moves the X focus
        # only when asked).
        desktop.activate(window)
        desktop.key("Delete")
        poll(lambda: [e[2] for e in prog.history()] == ["较早的 older"], 10,
             message="Delete did not remove the newest row")

        # Hidden again, a text from the device is noticed; a click on the notice shows the window.
        desktop.activate(window)
        desktop.key("Escape")
        poll(lambda: not visible(), 10, message="Esc did not hide the window")
        lines = len(prog.log())
        self.device_sends(kind="text", text="设备\u202e文字\nsecond line")
        prog.wait_log("通知: 收到文本", after=lines)
        time.sleep(2.5)  # Wine's tray draws the balloon 2 s later; for the screenshot
        self.shot("notice-of-a-device-text")
        self.assertEqual(self.helper("post-tray", str(NIN_BALLOONUSERCLICK)).wait(60), 0)
        poll(visible, 10, message="a click on the notice did not show the window")


def stable_count(count, quiet=1.0):
    """count() once it has not changed for `quiet` seconds."""
    value, since, deadline = count(), time.monotonic(), time.monotonic() + 60
    while time.monotonic() - since < quiet:
        assert time.monotonic() < deadline, "the count never settled"
        time.sleep(0.05)
        if count() != value:
            value, since = count(), time.monotonic()
    return value


if __name__ == "__main__":
    unittest.main()
