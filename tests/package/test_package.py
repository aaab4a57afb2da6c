"""The release as a Windows user gets it, under Wine in a scratch prefix: the silent setup, the
installed program, the silent uninstall and the portable zip. Needs the win64 build's zovrel.exe
and an X display; exits 77 (skipped) without them."""

import glob
import os
import pathlib
import shutil
import sys
import unittest
import uuid
import zipfile

from package_support import (BUILD_DIR, PROGRAM_FILES, RUN_KEY, UNINSTALL_KEY, ScratchPrefix,
                             make_packages, snapshot)
from harness import copy_text, end_process, poll, start_window_manager

WIN64_BUILD = os.environ.get("ZOVREL_WIN64_BUILD", os.path.join(BUILD_DIR, "win64"))
SKIPPED = 77

prefix = ScratchPrefix()
window_manager = None
VERSION = SETUP = PORTABLE_ZIP = None


def setUpModule():
    global window_manager, VERSION, SETUP, PORTABLE_ZIP
    try:
        window_manager = start_window_manager()
        VERSION, SETUP, PORTABLE_ZIP = make_packages(os.path.join(BUILD_DIR, "wine-pkg-dist"),
                                                     WIN64_BUILD)
        prefix.create()
    except BaseException:
        # unittest skips tearDownModule when this fails.
        tearDownModule()
        raise


def tearDownModule():
    prefix.stop_server()
    if window_manager:
        end_process(window_manager)


class InstalledCopy(unittest.TestCase):
    blank_dir = r"C:\Zovrel Test\zovrel"

    def setUp(self):
        prefix.forget_install(prefix.install_dir, self.blank_dir)

    def assert_installed(self, install_dir):
        folder = prefix.unix(install_dir)
        self.assertEqual(sorted(os.listdir(folder)), sorted(PROGRAM_FILES))
        with open(os.path.join(folder, "version"), encoding="utf-8") as f:
            self.assertEqual(f.readline().strip(), VERSION)
        with open(prefix.shortcut, "rb") as f:
            link = f.read()
        target = install_dir + r"\zovrel.exe"
        self.assertTrue(target.encode() in link or target.encode("utf-16-le") in link,
                        "the shortcut does not start " + target)
        # The uninstall entry names this copy (its other values are the script's own).
        entry = prefix.reg_values(UNINSTALL_KEY) or {}
        self.assertEqual(entry.get("UninstallString"), '"%s\\uninstall.exe"' % install_dir)

    def test_the_running_cli_or_program_blocks_setup_and_uninstall_an_upgrade_keeps_the_data(self):
        self.assertEqual(prefix.install(SETUP), 0)
        # zovrel-cli holds no mutex; its file is in use all the same.
        cli = prefix.start(prefix.install_dir + r"\zovrel-cli.exe", "--port", "COM99", "listen",
                           "--seconds", "120")
        self.addCleanup(end_process, cli)
        # Running once it has opened its log in the data root.
        poll(lambda: os.path.isdir(prefix.unix(prefix.data_root + r"\logs")), 60,
             message="zovrel-cli did not start")
        self.assertIsNone(cli.poll())
        self.assert_setup_and_uninstall_refused()
        end_process(cli)

        # zovrel.exe, once it has captured a text of its own into the roaming data root.
        text = "zovrel package test " + uuid.uuid4().hex
        copy_text(text)
        program = prefix.start(prefix.install_dir + r"\zovrel.exe")
        self.addCleanup(end_process, program)
        history = os.path.join(prefix.unix(prefix.data_root), "history", "*.txt")
        poll(lambda: any(pathlib.Path(p).read_bytes() == text.encode("utf-8")
                         for p in glob.glob(history)), 60, message="no captured text")
        self.assert_setup_and_uninstall_refused()

        # Once it has quit, an upgrade goes over it and leaves the user's data alone.
        end_process(program)
        data = snapshot(prefix.unix(prefix.data_root))
        self.assertEqual(prefix.install(SETUP), 0)
        self.assert_installed(prefix.install_dir)
        self.assertEqual(snapshot(prefix.unix(prefix.data_root)), data)

    def assert_setup_and_uninstall_refused(self):
        """Silent setup and uninstall fail and leave the copy as it was."""
        installed = snapshot(prefix.unix(prefix.install_dir))
        entry = prefix.reg_values(UNINSTALL_KEY)
        self.assertNotEqual(prefix.install(SETUP), 0)
        self.assertNotEqual(prefix.run(prefix.install_dir + r"\uninstall.exe", "/S",
                                       "_?=" + prefix.install_dir), 0)
        self.assertEqual(snapshot(prefix.unix(prefix.install_dir)), installed)
        self.assertEqual(prefix.reg_values(UNINSTALL_KEY), entry)
        self.assertTrue(os.path.exists(prefix.shortcut))

    def test_upgrade_stays_in_the_folder_and_uninstall_removes_everything_but_the_data(self):
        other_copy = r"C:\Tools\zovrel\zovrel.exe"
        cases = [
            # install folder, autostart value, value left afterwards
            (prefix.install_dir, prefix.install_dir + r"\zovrel.exe", None),
            (self.blank_dir, '"%s\\zovrel.exe"' % self.blank_dir, None),
            (prefix.install_dir, other_copy, other_copy),
        ]
        for install_dir, run_value, run_after in cases:
            with self.subTest(install_dir=install_dir, run_value=run_value):
                prefix.forget_install(prefix.install_dir, self.blank_dir)
                # /D= takes the rest of the command line unquoted; Wine would quote one argument
                # with a blank, so its words go as separate arguments.
                args = [] if install_dir == prefix.install_dir else ("/D=" + install_dir).split()
                self.assertEqual(prefix.install(SETUP, *args), 0)
                if args:  # an upgrade goes where the last version went
                    self.assertEqual(prefix.install(SETUP), 0)
                self.assert_installed(install_dir)
                data_root = prefix.unix(prefix.data_root)
                os.makedirs(os.path.join(data_root, "history"))
                with open(os.path.join(data_root, "zovrel.ini"), "w") as f:
                    f.write("[Settings]\nUartComPort=COM3\n")
                data = snapshot(data_root)
                self.assertEqual(prefix.reg("add", RUN_KEY, "/v", "zovrel", "/t", "REG_SZ", "/d",
                                            run_value), 0)

                self.assertEqual(prefix.uninstall(install_dir), 0)  # the folder gone
                self.assertFalse(os.path.exists(prefix.shortcut))
                self.assertIsNone(prefix.reg_values(UNINSTALL_KEY))
                self.assertEqual((prefix.reg_values(RUN_KEY) or {}).get("zovrel"), run_after)
                self.assertEqual(snapshot(data_root), data)
                self.assertTrue(os.path.isdir(os.path.join(data_root, "history")))


class PortableZip(unittest.TestCase):
    def test_the_zip_holds_the_programs_and_the_marker_that_keeps_the_data_beside_them(self):
        # What the marker does is seen in every whole-program run (they run portable copies).
        with zipfile.ZipFile(PORTABLE_ZIP) as z:
            self.assertEqual(sorted(z.namelist()),
                             sorted(["zovrel.exe", "zovrel-cli.exe", "version", "portable",
                                     "README.txt"]))
            self.assertEqual(z.read("version").decode("utf-8").splitlines()[0].strip(), VERSION)


def main():
    exe = os.path.join(WIN64_BUILD, "src", "ui", "zovrel.exe")
    if not os.path.isfile(exe):
        print("SKIPPED: %s does not exist yet (the app is not built); nothing to package" % exe)
        return SKIPPED
    if not os.environ.get("DISPLAY"):
        print("SKIPPED: no X display (DISPLAY); the program's window needs one")
        return SKIPPED
    for tool in ("makensis", "zip", "xdotool", "xclip", "xprop", "openbox"):
        if not shutil.which(tool):
            print("SKIPPED: %s is missing (scripts/setup installs it)" % tool)
            return SKIPPED
    result = unittest.main(argv=sys.argv[:1] + ["-v"] + sys.argv[1:], exit=False).result
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
