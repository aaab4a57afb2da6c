"""Measures the silent install and uninstall under Wine in the scratch prefix (build/wine-pkg):
several runs each, printed as median, min and max. Not a test: wall-clock figures for notes.

    python3 bench/time_install.py [RUNS]     (default 7; packages the win64 build)
"""

import os
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "package"))
from package_support import BUILD_DIR, ScratchPrefix, make_packages  # noqa: E402


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 7
    version, setup, portable = make_packages(os.path.join(BUILD_DIR, "wine-pkg-dist"),
                                             os.path.join(BUILD_DIR, "win64"))
    prefix = ScratchPrefix()
    prefix.create()
    try:
        installs, uninstalls = [], []
        for _ in range(runs):
            prefix.forget_install(prefix.install_dir)
            start = time.monotonic()
            if prefix.install(setup) != 0:
                raise SystemExit("setup failed")
            installs.append(time.monotonic() - start)
            start = time.monotonic()
            if prefix.uninstall(prefix.install_dir) != 0:
                raise SystemExit("uninstall failed")
            uninstalls.append(time.monotonic() - start)
    finally:
        prefix.stop_server()

    def line(name, values):
        print("%-10s median %.2f s  min %.2f s  max %.2f s  (%d runs)" %
              (name, statistics.median(values), min(values), max(values), len(values)))

    print("zovrel %s under Wine (%s)" % (version, os.path.basename(setup)))
    line("install", installs)
    line("uninstall", uninstalls)
    for path in (setup, portable):
        print("%-40s %8d KiB" % (os.path.basename(path), (os.path.getsize(path) + 1023) // 1024))


if __name__ == "__main__":
    main()
