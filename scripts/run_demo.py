#!/usr/bin/env python3
"""The live demo behind scripts/run: zovrel.exe under Wine against the simulated device.

The device sends a text and an image, the program sends the text back; each step is checked
and described. On a virtual display a screenshot of each step is saved and the run ends by
itself; on the user's own display (--display) the program stays up until "退出" is chosen from
its tray icon's menu.

usage: run_demo.py --exe ZOVREL_EXE [--display :0] [--work DIR]"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(SOURCE, "tests", "support"))
from harness import ComPort, Desktop, Program, Sim, poll  # noqa: E402

TEXT = "你好，Zovrel！这段文字来自设备。"


def say(text):
    print(text, flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--display", help="show the program on this X display and stay up")
    parser.add_argument("--work", help="folder for the program, the device and the screenshots")
    args = parser.parse_args()
    work = args.work or tempfile.mkdtemp(prefix="zovrel-run.")
    shots = os.path.join(work, "screenshots")
    real = bool(args.display)

    say("Starting Wine%s ..." % (" on display %s" % args.display if real else
                                 " on a virtual display (Xvfb + openbox)"))
    desktop = Desktop(os.path.join(SOURCE, "build", "wine-run"), display=args.display,
                      shots=shots)
    sim = port = prog = None
    try:
        sim = Sim("--link", os.path.join(work, "device-tty"), "--reply-timeout-ms", "1000")
        port = ComPort(sim.path, desktop.prefix)
        say("The simulated device is on %s (a pty: %s)." % (port.name, sim.path))

        prog = Program(desktop, os.path.join(work, "zovrel"), args.exe)
        prog.write_settings(UartComPort=port.name)
        say("Starting zovrel.exe from %s (portable: every file of the run stays there) ..."
            % prog.folder)
        prog.start()
        window = prog.wait_title("zovrel")
        prog.wait_log("串口已打开: %s @ 2000000 bps" % port.name, timeout=60)
        shot = step(desktop, real, "program-started", "zovrel.exe shows its clipboard page; "
                    "the port is open.")

        say("The device sends a text ...")
        send(sim, kind="text", text=TEXT)
        prog.wait_history(1)
        poll(lambda: desktop.clipboard_text() == TEXT, 20)
        step(desktop, real, "text-received",
             "A new row, and the clipboard now holds: %s" % desktop.clipboard_text())

        image = os.path.join(work, "device-picture.png")
        subprocess.run(["convert", "-size", "320x200", "gradient:#1976d2-#e67e22", "-gravity",
                        "center", "-pointsize", "28", "-fill", "white", "-annotate", "0",
                        "zovrel", image], check=True)
        say("The device sends an image ...")
        send(sim, kind="image", path=image)
        prog.wait_history(2)
        step(desktop, real, "image-received", "A new image row with its thumbnail.")

        say("The program sends the text back: \"发送\" is chosen from its row's menu ...")
        mark = len(sim.events)
        desktop.activate(window)
        desktop.key("Home", "Down", "Menu")  # the text's row, below the image; its menu
        poll(lambda: [p for p in desktop.popup_windows() if p[4] > 30], 10)
        desktop.key("Down", "Return")  # "发送", the menu's first item
        done = sim.wait_for(lambda e: e["ev"] == "transfer_done" and e["dir"] == "in",
                            timeout=60, after=mark)
        with open(done["path"], "rb") as f:
            ok = f.read() == TEXT.encode("utf-8")
        step(desktop, real, "text-sent", "The device received %d bytes: %s" % (
            done["size"], "the text, byte for byte" if ok else "NOT the text"))

        if real:
            say("\nzovrel.exe keeps running: try it (copy something, press 发送, open its menu).\n"
                "Choose \"退出\" from its tray icon's menu to end the demo.")
            prog.proc.wait()
        else:
            say("Choosing \"退出\" from the tray icon's menu ...")
            before = {p[0] for p in desktop.popup_windows()}
            desktop.tray_click(3)
            menu = poll(lambda: [p for p in desktop.popup_windows() if p[0] not in before], 10)[0]
            step(desktop, real, "tray-menu", "The tray menu.")
            desktop.click(menu[1] + menu[3] // 2, menu[2] + menu[4] - 12)
            prog.wait_exit(60)
            step(desktop, real, "exited", "The program has ended; its tray icon is gone.")

        say("\n==================== the program's log ====================")
        say("\n".join(prog.log()))
        say("\n==================== its history ====================")
        for entry_id, kind, text in prog.history():
            say("  %d  %s  %s" % (entry_id, ("text", "image", "files")[kind] if kind < 3 else kind,
                                  text[:60]))
        if not real:
            say("\nScreenshots of each step:")
            for name in sorted(os.listdir(shots)):
                say("  " + os.path.join(shots, name))
        say("\nEverything of this run is in %s" % work)
        return 0 if ok else 1
    finally:
        if prog:
            prog.kill()
        if port:
            port.close()
        if sim:
            sim.close()
        desktop.close()


def send(sim, **what):
    result = sim.cmd(cmd="send", wait=True, timeout=120, **what).get("result")
    if not (result and result["ok"]):
        raise RuntimeError("the device could not send: %s" % result)


def step(desktop, real, name, text):
    say("  " + text)
    return None if real else desktop.screenshot(name)


if __name__ == "__main__":
    sys.exit(main())
