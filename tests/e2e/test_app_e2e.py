"""Whole-program runs of zovrel.exe ($ZOVREL_EXE) as a user meets it: Wine on a virtual display,
the device simulator on a COM port, real clicks, keys and X clipboard; a screenshot of each step
goes to build/screenshots/e2e/. Prefix: $ZOVREL_E2E_WINEPREFIX or build/wine-e2e."""

import os
import subprocess
import time
import unittest

# The runs are of the Windows build (also when started by hand).
os.environ.setdefault("ZOVREL_WINE_RUN", os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                      "..", "..", "scripts", "wine-run"))
from e2e_support import E2ETest, windows_path  # noqa: E402
from harness import SOURCE, Desktop, Program, poll, read_text  # noqa: E402

EXE = os.environ.get("ZOVREL_EXE", "")
HELPER = os.environ.get("ZOVREL_E2E_HELPER", "")  # another Windows program (desktop_helper)
NIN_KEYSELECT = 0x401
NIN_BALLOONUSERCLICK = 0x405
PREFIX = os.environ.get("ZOVREL_E2E_WINEPREFIX") or os.path.join(SOURCE, "build", "wine-e2e")
TEXT_FROM_DEVICE = "你好，来自设备的文字 ✓ zovrel"
TEXT_COPIED = "另一个程序复制的文字: copied by xclip ✓"


def setUpModule():
    global DESKTOP
    if not all(os.path.exists(p) for p in (EXE, HELPER)):
        raise unittest.SkipTest("ZOVREL_EXE and ZOVREL_E2E_HELPER do not name the built programs")
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

    def stand_in(self, title, but=None):
        """A window of another Wine program titled `title` (other than `but`): (process, window)."""
        proc = self.helper("stand-in", title, stdout=subprocess.PIPE)
        self.addCleanup(lambda: (proc.kill(), proc.wait(), proc.stdout.close()))
        self.assertEqual(proc.stdout.readline().strip(), b"ready")
        return proc, poll(lambda: [w for w in self.desktop.windows("^%s$" % title) if w != but],
                          10)[0]

    def start_on_saved_port(self, *texts):
        """The program on this run's port; `texts` copied by another program, one row each."""
        self.prog.write_settings(UartComPort=self.port)
        self.prog.start()
        window = self.prog.wait_title("zovrel")
        self.wait_open(timeout=30)
        for text in texts:
            self.desktop.copy_text(text)
            self.prog.wait_history(len(self.prog.history()) + 1)
        return window

    def wait_open(self, **kw):
        return self.prog.wait_log("串口已打开: %s @ 2000000 bps" % self.port, **kw)

    def visible(self, window):
        return window in self.desktop.windows("^zovrel")

    def hide(self, window, key="Escape"):
        self.desktop.activate(window)
        self.desktop.key(key)
        poll(lambda: not self.visible(window), 10, message=key + " did not hide the window")

    def popup(self, keep, message):
        return poll(lambda: [p for p in self.desktop.popup_windows() if keep(p)], 10,
                    message=message)[0]

    def row_menu(self, row_key, item=1):
        """The row menu of the row `row_key` selects, opened with the context-menu key; its item
        number `item` (1: "发送"; a text's last, 3: "固定")."""
        self.desktop.key(row_key, "Menu")
        self.popup(lambda p: p[4] > 30, "the context-menu key opened no row menu")
        self.desktop.key(*["Down"] * item, "Return")

    def exit_from_tray_menu(self):
        before = {p[0] for p in self.desktop.popup_windows()}
        self.desktop.tray_click(3)
        _, x, y, w, h = self.popup(lambda p: p[0] not in before, "the tray menu did not open")
        self.shot("tray-menu")
        self.desktop.click(x + w // 2, y + h - 12)  # "退出", the last item
        return self.prog.wait_exit(30)


class FirstStartTransfersAndExitMidSend(AppTest):
    def test_first_start_a_text_each_way_and_exit_while_sending_an_image(self):
        desktop, prog = self.desktop, self.prog
        # A settings file without a port counts as a first run. (No tray notices: Wine draws
        # them over the screen while the steps below are timed by their screenshots.)
        prog.write_settings(UartDebugLog=0, NotifyOnReceive=0)
        prog.start()
        window = prog.wait_title("zovrel - 串口设置")
        self.shot("first-start-settings-page")

        # The page opens on the port choice: arrow keys choose (this run's port has the highest
        # number, the last of the list), Enter presses "保存"; page 0 then shows the open port.
        desktop.activate(window)
        desktop.key("End", "Return")
        window = prog.wait_title("zovrel")
        self.wait_open()

        # The device sends a Chinese text: one row, and the X clipboard holds it.
        self.device_sends(kind="text", text=TEXT_FROM_DEVICE)
        self.assertEqual(prog.wait_history(1)[0][1:], (0, TEXT_FROM_DEVICE))
        poll(lambda: desktop.clipboard_text() == TEXT_FROM_DEVICE, 10,
             message="the X clipboard does not hold the received text")

        # Another program copies a text: exactly one more row, on top.
        desktop.copy_text(TEXT_COPIED)
        history = prog.wait_history(2)
        self.assertEqual([e[2] for e in history], [TEXT_COPIED, TEXT_FROM_DEVICE])
        time.sleep(1)  # the watcher's debounce and poll have long passed: nothing more comes
        self.assertEqual(len(prog.history()), 2)

        # An image from the device goes out again; the device stops answering halfway; "退出"
        # ends it all.
        self.device_sends(kind="image", path=make_png(os.path.join(self.dir, "noise.png"), 420,
                                                      420, 7))
        self.assertEqual(prog.wait_history(3)[0][1], 1)
        mark = len(self.sim.events)
        desktop.activate(window)
        self.row_menu("Home")
        self.sim.wait_for(lambda e: e["ev"] == "frame" and e["type"] == "MIDDLE_PACKET", 30, mark)
        self.sim.cmd(cmd="silence", on=True, full=True)
        self.shot("sending-to-silent-device")
        self.assertEqual(self.exit_from_tray_menu(), 0)
        self.assertFalse([e for e in self.sim.events[mark:] if e.get("type") == "FINISH_PACKET"])
        self.assertEqual(sorted(e[1] for e in prog.history()), [0, 0, 1])
        self.assertIn("串口已关闭", prog.log()[-1])


class SecondStartsTrayExitAndRestart(AppTest):
    def test_second_starts_tray_exit_then_a_restart_keeps_the_pinned_rows_and_takes_drops(self):
        desktop, prog = self.desktop, self.prog
        window = self.start_on_saved_port("第一条 first", "第二条 second")
        # "固定" from the keyboard, on the older row: it goes on top.
        pinned = prog.history()[-1]
        desktop.activate(window)
        self.row_menu("End", 3)
        meta = os.path.join(prog.folder, "history", "%d.meta" % pinned[0])
        poll(lambda: prog.history()[0] == pinned and "Pinned=1" in read_text(meta), 10,
             message="the entry was not pinned")
        rows = prog.history()
        index = os.path.join(prog.folder, "history", "index.ini")
        saved = read_text(index)

        # Another program in front, with a window titled "zovrel" too: a second start brings the
        # running instance to the front, and that window gets nothing.
        stand_in, other = self.stand_in("zovrel", but=window)
        desktop.activate(other)
        self.assertEqual(prog.launch().wait(60), 0)
        # (Openbox keeps the keyboard focus where the user last put it: the X side of Windows'
        # foreground rule, which Wine cannot lift.)
        poll(lambda: desktop.stacking()[-1] == window, 10,
             message="the running instance did not come to the front")
        self.shot("second-start-brought-it-forward")
        self.hide(other, "alt+F4")
        self.assertEqual(stand_in.wait(30), 0)
        self.assertEqual(stand_in.stdout.read().strip(), b"", "the stand-in got a message")

        # Hidden in the tray (here on the settings page): a second start brings it back on page 0
        # and saves nothing over the history.
        self.open_settings_page(window)
        self.hide(window, "alt+F4")
        self.assertEqual(prog.launch().wait(60), 0)
        self.assertEqual(prog.wait_title("zovrel"), window)
        self.assertEqual(read_text(index), saved)

        # "退出" from the tray menu ends the process with the history saved; the icon goes; the
        # next start has the same rows, the pin kept.
        self.assertEqual(self.exit_from_tray_menu(), 0)
        poll(lambda: desktop.tray_window() is None, 10, message="the tray icon stayed")
        prog.start()
        prog.wait_title("zovrel")
        self.wait_open(timeout=30)
        self.assertEqual(prog.history(), rows)

        # Two files dropped on the window: a new entry below the pin, sent as two transfers.
        a = self.write_file("拖放 a.txt", b"dropped a\n" * 300)
        b = self.write_file("drop b.bin", bytes(range(256)) * 40)
        mark = len(self.sim.events)
        self.assertEqual(self.helper("drop", windows_path(a), windows_path(b)).wait(60), 0)
        first, got_a = self.device_got(mark)
        _, got_b = self.device_got(self.sim.events.index(first) + 1)
        self.assertEqual((got_a, got_b), (b"dropped a\n" * 300, bytes(range(256)) * 40))
        history = prog.history()
        self.assertEqual((history[0], history[1][1:]), (pinned, (2, "2 个文件")))

    def open_settings_page(self, window):
        """The menu button (two Shift+Tabs back from the history list) and its first item."""
        self.desktop.activate(window)
        self.desktop.key("shift+Tab", "shift+Tab", "space")
        menu = self.popup(lambda p: p[4] > 30, "the menu button's menu did not open")
        self.desktop.click(menu[1] + menu[3] // 2, menu[2] + 12)
        self.prog.wait_title("zovrel - 串口设置")


class KeysHotkeysAndNotices(AppTest):
    """No mouse event at all. Wine's tray has no keyboard: the tray's keyboard selection
    (NIN_KEYSELECT) is posted to the program as the shell would post it; nor does it send a
    balloon click. A hotkey fires only while a window of some Wine program has the X focus: a
    stand-in window of another Wine program is in front, as another program would be."""

    def test_tray_keys_list_keys_row_menu_hotkeys_while_hidden_and_a_notice(self):
        desktop, prog = self.desktop, self.prog
        window = self.start_on_saved_port("第一 one", "第二 two", "第三 three")
        _, other = self.stand_in("another program")

        def texts():
            return [e[2] for e in prog.history()]

        # Esc hides; the tray's keyboard selection shows it on page 0 with the list focused, a
        # row selected.
        self.hide(window)
        self.assertEqual(self.helper("post-tray", str(NIN_KEYSELECT)).wait(60), 0)
        poll(lambda: self.visible(window), 10, message="NIN_KEYSELECT did not show the window")
        desktop.activate(window)

        # Down, Enter: the second row goes to the X clipboard (and to the top of the list).
        desktop.key("Down", "Return")
        poll(lambda: desktop.clipboard_text() == "第二 two", 10,
             message="Enter did not put the selected row on the clipboard")
        poll(lambda: texts()[0] == "第二 two", 10)

        # Delete removes the selected row (the selection stayed on row 2: "第三 three").
        desktop.key("Delete")
        poll(lambda: texts() == ["第二 two", "第一 one"], 10, message="Delete removed no row")

        # "发送" from the first row's menu: the device gets it byte for byte.
        mark = len(self.sim.events)
        self.row_menu("Home")
        self.assertEqual(self.device_got(mark)[1], "第二 two".encode("utf-8"))

        # Hidden (the last row selected), another program in front: the send hotkey delivers
        # the newest entry, and the result comes as a notice.
        desktop.key("End")
        self.hide(window)
        desktop.activate(other)
        mark, lines = len(self.sim.events), len(prog.log())
        desktop.key("ctrl+alt+s")
        self.assertEqual(self.device_got(mark)[1], "第二 two".encode("utf-8"))
        prog.wait_log("通知: 已发送到设备", after=lines)
        self.assertFalse(self.visible(window))

        # The show hotkey brings the window up on the history page with the newest row selected,
        # for the list's keys (openbox moves the X focus only when asked).
        desktop.activate(other)
        desktop.key("ctrl+alt+v")
        poll(lambda: self.visible(window), 10, message="the show hotkey did not show the window")
        desktop.activate(window)
        desktop.key("Delete")
        poll(lambda: texts() == ["第一 one"], 10, message="Delete did not remove the newest row")

        # Hidden again, a text from the device is noticed; a click on the notice shows the window.
        self.hide(window)
        lines = len(prog.log())
        self.device_sends(kind="text", text="设备\u202e文字\nsecond line")
        prog.wait_log("通知: 收到文本", after=lines)
        self.assertEqual(self.helper("post-tray", str(NIN_BALLOONUSERCLICK)).wait(60), 0)
        poll(lambda: self.visible(window), 10, message="a click on the notice did not show it")


if __name__ == "__main__":
    unittest.main()
