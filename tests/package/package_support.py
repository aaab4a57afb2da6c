"""A scratch Wine prefix for the release tests (build/wine-pkg, copied from a template made once
with scripts/wine-prefix), the packages made from the win64 build, and the few Windows places an
install touches: the program folder, the Start-menu shortcut, the uninstall entry, the Run value
and the data root."""

import glob
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from harness import QUIET, SOURCE, poll  # noqa: E402

BUILD_DIR = os.path.join(SOURCE, "build")
WINE = shutil.which("wine64") or "/usr/lib/wine/wine64"

UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\zovrel"
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
PROGRAM_FILES = ["zovrel.exe", "zovrel-cli.exe", "version", "uninstall.exe"]


def make_packages(out_dir, build_dir):
    """Runs scripts/package on what the win64 build holds; returns (version, setup, zip)."""
    done = subprocess.run([os.path.join(SOURCE, "scripts", "package"), "--out", out_dir,
                           "--no-build", "--build-dir", build_dir],
                          capture_output=True, text=True, timeout=300)
    if done.returncode != 0:
        raise RuntimeError("scripts/package failed:\n" + done.stdout + done.stderr)
    version = re.search(r"package: version (\S+)", done.stdout).group(1)
    return (version, os.path.join(out_dir, "zovrel-%s-setup.exe" % version),
            os.path.join(out_dir, "zovrel-%s-portable.zip" % version))


class ScratchPrefix:
    """build/wine-pkg, fresh for each run, with a persistent Wine server of its own. HOME points
    into the build tree too, so nothing Wine makes for the desktop lands in the real home."""

    def __init__(self):
        self.base = os.path.join(BUILD_DIR, "wine-pkg-base")
        self.path = os.path.join(BUILD_DIR, "wine-pkg")
        self.home = os.path.join(BUILD_DIR, "wine-pkg-home")
        self.env = dict(os.environ, WINEPREFIX=self.path, HOME=self.home, WINEDEBUG="-all",
                        LANG="C.UTF-8", WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d")
        self.user = None

    def create(self):
        os.makedirs(self.home, exist_ok=True)
        base_env = dict(self.env, WINEPREFIX=self.base)
        subprocess.run([os.path.join(SOURCE, "scripts", "wine-prefix")], env=base_env,
                       stdout=subprocess.DEVNULL, check=True, timeout=300)
        # The registry reaches the disk when the template's server ends.
        subprocess.run(["wineserver", "-w"], env=base_env, check=False, timeout=120)
        self.stop_server()
        shutil.rmtree(self.path, ignore_errors=True)
        subprocess.run(["cp", "-a", self.base, self.path], check=True, timeout=120)
        subprocess.run(["wineserver", "-p"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        self.run("cmd", "/c", "exit")
        users = os.listdir(os.path.join(self.path, "drive_c", "users"))
        self.user = [u for u in users if u != "Public"][0]

    def stop_server(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=False, timeout=60)

    # Paths: Windows names for the programs, Linux names for the checks.
    def unix(self, windows_path):
        drive, rest = windows_path.split(":", 1)
        assert drive.upper() == "C", windows_path
        return os.path.join(self.path, "drive_c", *[p for p in rest.split("\\") if p])

    @property
    def install_dir(self):
        return r"C:\users\%s\AppData\Local\Programs\zovrel" % self.user

    @property
    def data_root(self):
        return r"C:\users\%s\AppData\Roaming\zovrel" % self.user

    @property
    def shortcut(self):
        return self.unix(r"C:\users\%s\AppData\Roaming\Microsoft\Windows\Start Menu\Programs"
                         r"\zovrel.lnk" % self.user)

    # Processes.
    def run(self, *args, timeout=120):
        """Runs a Windows program to its end; returns its exit code."""
        return subprocess.run([WINE, *args], env=self.env, stdin=subprocess.DEVNULL,
                              timeout=timeout, **QUIET).returncode

    def start(self, *args):
        return subprocess.Popen([WINE, *args], env=self.env, stdin=subprocess.DEVNULL, **QUIET)

    def install(self, setup, *args):
        return self.run(setup, "/S", *args)

    def uninstall(self, install_dir):
        """Runs the installed uninstaller silently, as the uninstall entry does: it copies itself
        to %TEMP% and returns at once, so the end is the program folder going away (its last
        step). Returns the first exit code."""
        code = self.run(install_dir + r"\uninstall.exe", "/S")
        if code == 0:
            poll(lambda: not os.path.exists(self.unix(install_dir)), 60,
                 message="the uninstaller did not remove " + install_dir)
        return code

    # Registry.
    def reg_values(self, key):
        """The values of a key as {name: data as `reg` shows it}, or None when it is missing."""
        done = subprocess.run([WINE, "reg", "query", key], env=self.env, capture_output=True,
                              timeout=120)
        if done.returncode == 0:
            return dict(re.findall(r"^    (.*?)    REG_\w+    (.*?)\r?$",
                                   done.stdout.decode("utf-8", "replace"), re.M))

    def reg(self, *args):
        """Runs `reg` (add or delete) with the given arguments, /f added."""
        return self.run("reg", *args, "/f")

    def forget_install(self, *install_dirs):
        """Back to a machine that never saw zovrel."""
        for d in install_dirs:
            shutil.rmtree(self.unix(d), ignore_errors=True)
        shutil.rmtree(self.unix(self.data_root), ignore_errors=True)
        if os.path.exists(self.shortcut):
            os.remove(self.shortcut)
        self.reg("delete", UNINSTALL_KEY)
        self.reg("delete", RUN_KEY, "/v", "zovrel")


def snapshot(folder):
    """Every file under a folder with its size and modification time."""
    return {os.path.relpath(p, folder): (os.stat(p).st_size, os.stat(p).st_mtime_ns)
            for p in glob.glob(os.path.join(folder, "**"), recursive=True) if os.path.isfile(p)}
