"""A Python host as a user runs it: velqhost installed with pip into a
virtual environment, the library from the libvelqhost1 package, the
dashboard from the skinvelq package. It first makes sure that is what it
got (not the repository's velqhost.py, not a build tree's library), then
reads the demo skin's layout, owns the channel, starts the dashboard,
drives it and stops it. Exit status 0 when the dashboard took at least 50
notifications and was still running when asked to stop.
Usage: python -I host.py WORK_DIR DASHBOARD VERSION LIBRARY_DIR
"""

from __future__ import annotations

import importlib.metadata
import os
import sys
import time

import velqhost


def fail(message: str) -> None:
    print(f"host.py: FAIL: {message}", file=sys.stderr)
    sys.exit(1)


def inside(path: str, folder: str) -> bool:
    path, folder = os.path.realpath(path), os.path.realpath(folder)
    return os.path.commonpath([path, folder]) == folder


def mapped_library() -> str:
    """The file of libvelqhost this process has mapped."""
    with open("/proc/self/maps") as maps:
        for line in maps:
            fields = line.split(maxsplit=5)
            if len(fields) == 6 and os.path.basename(fields[5].strip()).startswith("libvelqhost.so"):
                return fields[5].strip()
    fail("no libvelqhost mapped after importing velqhost")
    return ""


def main() -> int:
    if len(sys.argv) != 5:
        print(__doc__, file=sys.stderr)
        return 2
    work_dir, dashboard, version, library_dir = sys.argv[1:]

    # The installed distribution, in this virtual environment.
    if sys.prefix == sys.base_prefix:
        fail(f"not running in a virtual environment ({sys.executable})")
    if not inside(velqhost.__file__, sys.prefix):
        fail(f"velqhost was imported from {velqhost.__file__}, outside the environment {sys.prefix}")
    if velqhost.__version__ != version:
        fail(f"velqhost.__version__ is {velqhost.__version__!r}, the packages are {version!r}")
    installed = importlib.metadata.version("velqhost")
    if installed != version:
        fail(f"pip installed velqhost {installed}, the packages are {version}")
    # The packaged library, found by the system's loader (no VELQHOST_LIBRARY).
    if velqhost.library != "libvelqhost.so.1":
        fail(f"velqhost loaded {velqhost.library!r}, not libvelqhost.so.1 through the system's loader")
    library = mapped_library()
    if not inside(library, library_dir):
        fail(f"the library mapped is {library}, not the packaged one in {library_dir}")

    with velqhost.Channel("demo", work_dir) as channel:
        pid = channel.launch(dashboard)
        delivered = 0
        # Up to 8 s: the dashboard opens the block after about 2 s.
        deadline = time.monotonic() + 8.0
        frame = 0
        while delivered < 50 and time.monotonic() < deadline:
            channel["ia1"] = frame * 10.0
            frame += 1
            if channel.notify():
                delivered += 1
            time.sleep(0.02)
        running = channel.pid == pid
        code = channel.stop_dashboard(2000)
    if not channel.closed:
        fail("the channel is still open after its with-block")
    print(f"python host (velqhost {velqhost.__version__} from {os.path.dirname(velqhost.__file__)}, "
          f"library {velqhost.version()} at {library}): {delivered} notifications delivered, "
          f"dashboard {'running' if running else 'gone'}, ended with {code}")
    return 0 if delivered >= 50 and running else 1


if __name__ == "__main__":
    sys.exit(main())
