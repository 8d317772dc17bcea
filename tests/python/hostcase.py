"""What the tests of the Python wrapper share: the build they run against,
a work folder with the demo skin, a channel name of each test's own, and a
child Python host that ends without closing its channel.

Environment (set by the test's registration in tests/e2e/CMakeLists.txt):
  VELQ_BUILD_DIR     the build folder (Skin/demo, dashboard/SkinVELQ)
  VELQHOST_LIBRARY   the libvelqhost.so.1 under test
  PYTHONPATH         includes tools/python (velqhost)
A missing one is an error, never a reason to skip.
"""

from __future__ import annotations

import itertools
import mmap
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest
from typing import Callable, Optional

for _name in ("VELQ_BUILD_DIR", "VELQHOST_LIBRARY"):
    if not os.environ.get(_name):
        raise RuntimeError(f"{_name} is not set; run these tests through ctest")

import velqhost  # noqa: E402  (after the check, so that a missing library says why)

BUILD = os.environ["VELQ_BUILD_DIR"]
DASHBOARD = os.path.join(BUILD, "dashboard", "SkinVELQ")
BLOCK_PREFIX = "/dev/shm/Mem_Map_File-{1F881A4D-B28F-48ad-9175-5394579326EA}"
SOCKET_PREFIX = "\0UWM_DATA_READY_MSG-{1F881A4D-B28F-48ad-9175-5394579326EA}"
DEMO_SENSORS = ["ia1", "ia2", "ia3", "ia4", "ia5", "ia6", "ia7", "ia8"]

_work: Optional[str] = None
_suffixes = itertools.count()


def work_dir() -> str:
    """A folder holding Skin/demo (copied from the build) and Skin/broken
    (a skin.bin that is no skin), made once per test process."""
    global _work
    if _work is None:
        _work = tempfile.mkdtemp(prefix="velq-python-")
        shutil.copytree(os.path.join(BUILD, "Skin", "demo"), os.path.join(_work, "Skin", "demo"))
        os.makedirs(os.path.join(_work, "Skin", "broken"))
        with open(os.path.join(_work, "Skin", "broken", "skin.bin"), "wb") as f:
            f.write(b"this is not a skin\n" * 4)
        import atexit
        atexit.register(_remove_work, _work, os.getpid())
    return _work


def _remove_work(folder: str, owner: int) -> None:
    if os.getpid() == owner:  # not from a forked child that runs the exit hooks
        shutil.rmtree(folder, ignore_errors=True)


def block_path() -> str:
    return BLOCK_PREFIX + os.environ["VELQ_CHANNEL_SUFFIX"]


def read_block(slots: int) -> list[float]:
    """Slots 1..slots of the current channel's block, read from /dev/shm."""
    with open(block_path(), "rb") as f, mmap.mmap(f.fileno(), 0, prot=mmap.PROT_READ) as view:
        return list(struct.unpack_from(f"={slots}f", view, 4))


def process_gone(pid: int) -> bool:
    """True when no process has this id (it ended and was reaped)."""
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return True
    return False


def stopped(pid: int) -> bool:
    """True once every thread of the process has stopped (SIGSTOP takes
    effect some time after kill() returns, later still on a busy machine)."""
    task = f"/proc/{pid}/task"
    states = []
    for thread in os.listdir(task):
        with open(os.path.join(task, thread, "stat")) as f:
            # "pid (comm) S ...": the state follows the last ')'.
            states.append(f.read().rpartition(")")[2].split()[0])
    return all(state in ("T", "t") for state in states)


def poll(condition: Callable[[], object], seconds: float, interval: float = 0.05) -> object:
    """condition()'s first true result within `seconds`, else its last one."""
    deadline = time.monotonic() + seconds
    while True:
        result = condition()
        if result or time.monotonic() >= deadline:
            return result
        time.sleep(interval)


def wait_listening(channel: velqhost.Channel, seconds: float = 60) -> None:
    """Waits until the launched dashboard takes notifications (a sanitizer
    build on a busy machine has taken more than 30 s to start)."""
    result = poll(channel.notify, seconds, 0.1)
    if result is not velqhost.NotifyResult.DELIVERED:
        raise AssertionError(f"the dashboard did not start listening within {seconds} s (last: {result})")


class HostCase(unittest.TestCase):
    """Gives each test a channel name of its own (VELQ_CHANNEL_SUFFIX), and
    fails a test that leaves its block behind."""

    def setUp(self) -> None:
        os.environ["VELQ_CHANNEL_SUFFIX"] = f"-py{os.getpid()}-{next(_suffixes)}"
        self.work = work_dir()
        block = block_path()
        # Added first, so it runs after every other clean-up of the test.
        self.addCleanup(self._no_block_left, block)

    def _no_block_left(self, block: str) -> None:
        if os.path.exists(block):
            os.unlink(block)
            self.fail(f"the test left its block {block} behind")

    def channel(self, **options: object) -> velqhost.Channel:
        """A demo channel closed at the end of the test."""
        channel = velqhost.Channel("demo", self.work, **options)
        self.addCleanup(channel.close)
        return channel

    def kill_at_end(self, pid: int) -> None:
        """Makes sure a dashboard the test failed to end does not outlive it."""
        def kill() -> None:
            if not process_gone(pid):
                os.kill(pid, signal.SIGKILL)
        self.addCleanup(kill)

    def run_host(self, script: str, *args: str, timeout: float = 120) -> subprocess.CompletedProcess:
        """Runs `script` in a child Python with velqhost, this test's channel
        name and its work folder as argv[1]. Its output goes through files,
        not pipes: a dashboard it failed to end would hold a pipe open and
        keep this waiting long after the child itself has ended."""
        with tempfile.TemporaryFile("w+") as out, tempfile.TemporaryFile("w+") as err:
            child = subprocess.run([sys.executable, "-W", "default", "-c", script, self.work, *args],
                                   stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=timeout)
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(child.args, child.returncode, out.read(), err.read())


# A host that ends without closing its channel, each way a Python program
# ends: falling off the end of the script, sys.exit, an uncaught exception,
# and with a daemon thread still writing and notifying when the interpreter
# shuts down. With argv[3] = the dashboard it launches one first and prints
# its pid once it listens.
UNCLOSED_HOST = r"""
import sys, threading, time, velqhost
work, how = sys.argv[1], sys.argv[2]
dashboard = sys.argv[3] if len(sys.argv) > 3 else None
channel = velqhost.Channel("demo", work)
if dashboard:
    pid = channel.launch(dashboard)
    deadline = time.monotonic() + 60
    while not channel.notify():
        if time.monotonic() > deadline:
            sys.exit("the dashboard never listened")
        time.sleep(0.1)
    print(pid, flush=True)
channel[1] = 42.0
if how == "exit":
    sys.exit(3)
if how == "raise":
    raise RuntimeError("the host failed")
if how == "daemon":
    def frames():
        try:
            while True:
                channel["ia2"] = time.monotonic()
                channel.notify()
        except velqhost.ClosedError:
            pass
    threading.Thread(target=frames, daemon=True).start()
    time.sleep(0.3)
"""

# how -> the exit status the host ends with
UNCLOSED_ENDINGS = {"end": 0, "exit": 3, "raise": 1, "daemon": 0}
