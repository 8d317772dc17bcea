"""The Python wrapper over the real libvelqhost and real /dev/shm blocks,
without a dashboard (no display needed): its errors, its slots, what
notify() reports, that no channel outlives its host, its version and where
it finds the library."""

from __future__ import annotations

import atexit
import ctypes
import gc
import math
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import tomllib
import unittest

import hostcase
import velqhost
from hostcase import HostCase


class Errors(HostCase):
    def test_each_mistake_raises_the_exception_python_expects(self) -> None:
        channel = self.channel()
        work = self.work
        missing = os.path.join(work, "no-such-folder")
        # (what, call, classes it must be, status; None: a plain Python error)
        cases = [
            ("work folder missing", lambda: velqhost.Channel("demo", missing),
             (velqhost.NotFoundError, FileNotFoundError), velqhost.Status.NOT_FOUND),
            ("skin missing", lambda: velqhost.Channel("nosuch", work),
             (velqhost.NotFoundError, FileNotFoundError), velqhost.Status.NOT_FOUND),
            ("layout of a missing skin", lambda: velqhost.layout("nosuch", work),
             (velqhost.NotFoundError,), velqhost.Status.NOT_FOUND),
            ("skin name with a folder", lambda: velqhost.Channel("demo/x", work),
             (velqhost.ArgumentError, ValueError), velqhost.Status.ARGUMENT),
            ("not a skin file", lambda: velqhost.Channel("broken", work),
             (velqhost.SkinError,), velqhost.Status.SKIN),
            ("unused sensor", lambda: channel.__setitem__("ia9", 1.0),
             (velqhost.SensorError, KeyError), velqhost.Status.UNKNOWN_SENSOR),
            ("unused digital sensor read", lambda: channel["in1"],
             (velqhost.SensorError, KeyError), velqhost.Status.UNKNOWN_SENSOR),
            ("no sensor at all: ia48", lambda: channel.__setitem__("ia48", 1.0),
             (velqhost.SensorError, KeyError), velqhost.Status.NOT_A_SENSOR),
            ("no sensor at all: ia0", lambda: channel["ia0"],
             (velqhost.SensorError, KeyError), velqhost.Status.NOT_A_SENSOR),
            ("slot 0", lambda: channel.__setitem__(0, 1.0),
             (velqhost.SlotError, IndexError), velqhost.Status.ARGUMENT),
            ("slot N+1", lambda: channel.__setitem__(len(channel) + 1, 1.0),
             (velqhost.SlotError, IndexError), velqhost.Status.ARGUMENT),
            ("slot -1 read", lambda: channel[-1],
             (velqhost.SlotError, IndexError), velqhost.Status.ARGUMENT),
            ("slot beyond 32 bits", lambda: channel.__setitem__(2**32 + 1, 1.0),
             (velqhost.SlotError, IndexError), velqhost.Status.ARGUMENT),
            ("float key", lambda: channel.__setitem__(1.0, 1.0), (TypeError,), None),
            ("bool key", lambda: channel[True], (TypeError,), None),
            ("value not a number", lambda: channel.__setitem__(1, None), (TypeError,), None),
            ("frame too short", lambda: channel.set_frame([1.0] * (len(channel) - 1)),
             (velqhost.ArgumentError, ValueError), velqhost.Status.ARGUMENT),
            ("notify time-out too long", lambda: setattr(channel, "notify_timeout_ms", 10001),
             (velqhost.ArgumentError, ValueError), velqhost.Status.ARGUMENT),
            ("negative notify time-out", lambda: velqhost.Channel("demo", work, notify_timeout_ms=-1),
             (velqhost.ArgumentError, ValueError), velqhost.Status.ARGUMENT),
            ("program missing", lambda: channel.launch(os.path.join(work, "no-such-program")),
             (velqhost.NotFoundError, FileNotFoundError), velqhost.Status.NOT_FOUND),
            ("no dashboard to wait for", lambda: channel.wait_dashboard(0),
             (velqhost.ArgumentError,), velqhost.Status.ARGUMENT),
        ]
        for what, call, classes, status in cases:
            with self.subTest(what):
                with self.assertRaises(classes[0]) as caught:
                    call()
                error = caught.exception
                for cls in classes:
                    self.assertIsInstance(error, cls)
                if status is None:
                    self.assertNotIsInstance(error, velqhost.HostError)
                    continue
                self.assertIsInstance(error, velqhost.HostError)
                self.assertEqual(error.status, status)
                self.assertIs(type(error.status), velqhost.Status)
                # The library's sentence for the status, and its own text
                # for this failure; str() never shows a KeyError's quotes.
                self.assertTrue(error.detail, "no text from the library")
                self.assertEqual(str(error), f"{velqhost.status_string(status)}: {error.detail}")
        # None of the failures above touched the channel.
        self.assertEqual(channel.notify(), velqhost.NotifyResult.NO_DASHBOARD)
        self.assertEqual(hostcase.read_block(len(channel)), [0.0] * len(channel))

    def test_messages_name_what_was_wrong(self) -> None:
        channel = self.channel()
        for key, needle in [("ia9", "ia9"), ("ia48", "ia48"), (9, "9")]:
            with self.subTest(key=key), self.assertRaises(velqhost.HostError) as caught:
                channel[key] = 1.0
            self.assertIn(needle, caught.exception.detail)
        with self.assertRaises(velqhost.NotFoundError) as caught:
            velqhost.Channel("nosuch", self.work)
        self.assertIn("nosuch", str(caught.exception))

    def test_every_status_has_its_own_sentence(self) -> None:
        sentences = {velqhost.status_string(s) for s in velqhost.Status}
        self.assertEqual(len(sentences), len(velqhost.Status))
        self.assertNotIn("Unknown status", sentences)
        self.assertEqual(velqhost.status_string(-99), "Unknown status")


class Ownership(HostCase):
    def test_a_live_owner_keeps_the_name_until_it_closes(self) -> None:
        first = velqhost.Channel("demo", self.work)
        self.addCleanup(first.close)
        with self.assertRaises(velqhost.OwnedError) as caught:
            velqhost.Channel("demo", self.work)
        self.assertEqual(caught.exception.status, velqhost.Status.OWNED)
        # Another process is refused too.
        child = self.run_host(
            "import sys, velqhost\n"
            "try:\n    velqhost.Channel('demo', sys.argv[1])\n"
            "except velqhost.OwnedError:\n    sys.exit(7)\n")
        self.assertEqual(child.returncode, 7, child.stderr)
        # The refusals changed nothing for the owner.
        first[1] = 5.0
        self.assertEqual(hostcase.read_block(1), [5.0])
        first.close()
        second = self.channel()
        self.assertEqual(hostcase.read_block(len(second)), [0.0] * len(second))

    def test_the_name_of_a_killed_host_is_taken_over(self) -> None:
        child = self.run_host(
            "import os, signal, sys, velqhost\n"
            "channel = velqhost.Channel('demo', sys.argv[1])\n"
            "channel[1] = 9.0\n"
            "os.kill(os.getpid(), signal.SIGKILL)\n")
        self.assertEqual(child.returncode, -9, child.stderr)
        self.assertTrue(os.path.exists(hostcase.block_path()), "a killed host removed its block?")
        channel = self.channel()
        self.assertEqual(hostcase.read_block(len(channel)), [0.0] * len(channel))


class Slots(HostCase):
    def test_length_names_and_slots_address_the_same_block(self) -> None:
        channel = self.channel()
        self.assertEqual(len(channel), len(hostcase.DEMO_SENSORS))
        self.assertEqual(channel.sensors, hostcase.DEMO_SENSORS)
        self.assertEqual(list(channel), hostcase.DEMO_SENSORS)
        self.assertEqual(velqhost.layout("demo", self.work), hostcase.DEMO_SENSORS)
        self.assertIn("ia8", channel)
        self.assertNotIn("ia9", channel)
        self.assertIn(8, channel)
        self.assertNotIn(9, channel)
        self.assertEqual(channel["ia3"], 0.0)
        for position, name in enumerate(hostcase.DEMO_SENSORS, start=1):
            self.assertEqual(channel.slot(name), position)
            channel[name] = 10.0 * position
        channel[2] = -7.5
        expected = [10.0, -7.5, 30.0, 40.0, 50.0, 60.0, 70.0, 80.0]
        self.assertEqual(hostcase.read_block(8), expected)
        self.assertEqual([channel[p] for p in range(1, 9)], expected)
        self.assertEqual([channel[n] for n in hostcase.DEMO_SENSORS], expected)

    def test_values_read_back_as_the_block_holds_them(self) -> None:
        channel = self.channel()
        channel["ia1"] = 0.1                # rounded to the nearest 32-bit float
        channel["ia2"] = math.nan           # passed through unchanged
        channel["ia3"] = -math.inf
        channel["ia4"] = 1e39               # beyond a 32-bit float: infinity
        channel["ia5"] = 7                  # any number
        channel["ia6"] = True
        block = hostcase.read_block(8)
        self.assertEqual(channel[1], ctypes.c_float(0.1).value)
        self.assertNotEqual(channel[1], 0.1)
        self.assertTrue(math.isnan(channel[2]) and math.isnan(block[1]))
        self.assertEqual((channel[3], block[2]), (-math.inf, -math.inf))
        self.assertEqual((channel[4], block[3]), (math.inf, math.inf))
        for p in (1, 5, 6):
            self.assertEqual(channel[p], block[p - 1])
        self.assertEqual(channel[5], 7.0)
        self.assertEqual(channel[6], 1.0)

    def test_a_frame_writes_every_slot(self) -> None:
        channel = self.channel()
        frame = [1.5, 2.5, 3.5, 4.5, 5.5, 6.5, 7.5, 0.3]
        channel.set_frame(frame)
        self.assertEqual(hostcase.read_block(8), [ctypes.c_float(v).value for v in frame])
        self.assertEqual([channel[p] for p in range(1, 9)], hostcase.read_block(8))


class Notifications(HostCase):
    def listener(self) -> socket.socket:
        """A dashboard's socket that never reads on its own."""
        receiver = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.addCleanup(receiver.close)
        receiver.bind(hostcase.SOCKET_PREFIX + os.environ["VELQ_CHANNEL_SUFFIX"])
        return receiver

    def fill(self, channel: velqhost.Channel) -> int:
        """Notifies until the listener's queue is full; the number delivered."""
        delivered = 0
        for _ in range(10000):
            result = channel.notify()
            if result is velqhost.NotifyResult.BUSY:
                return delivered
            self.assertIs(result, velqhost.NotifyResult.DELIVERED)
            delivered += 1
        self.fail("the queue never filled")

    def test_nobody_listening_is_a_result_not_an_error(self) -> None:
        channel = self.channel()
        result = channel.notify()
        self.assertIs(result, velqhost.NotifyResult.NO_DASHBOARD)
        self.assertFalse(result)
        self.assertEqual(result.value, velqhost.Status.NOT_DELIVERED)

    def test_a_full_queue_is_busy_at_once_and_frees_up(self) -> None:
        receiver = self.listener()
        channel = self.channel()
        sent_after = time.monotonic_ns()
        delivered = self.fill(channel)
        self.assertGreater(delivered, 0)
        started = time.monotonic()
        result = channel.notify()
        self.assertIs(result, velqhost.NotifyResult.BUSY)
        self.assertFalse(result)
        self.assertLess(time.monotonic() - started, 1.0, "a notify without time-out waited")
        # What arrived is the host's send time; reading one makes room for one.
        payload = receiver.recv(64)
        self.assertEqual(len(payload), 8)
        (sent,) = struct.unpack("=Q", payload)
        self.assertTrue(sent_after <= sent <= time.monotonic_ns(), (sent_after, sent))
        self.assertIs(channel.notify(), velqhost.NotifyResult.DELIVERED)
        self.assertIs(channel.notify(), velqhost.NotifyResult.BUSY)

    def test_the_notify_time_out_waits_for_room(self) -> None:
        receiver = self.listener()
        channel = self.channel(notify_timeout_ms=300)
        self.assertEqual(channel.notify_timeout_ms, 300)
        self.fill(channel)  # the last notify there waited the 300 ms in vain
        started = time.monotonic()
        self.assertIs(channel.notify(), velqhost.NotifyResult.BUSY)
        self.assertGreaterEqual(time.monotonic() - started, 0.25, "the time-out was not waited for")
        # Room made while it waits: the notification goes through.
        channel.notify_timeout_ms = 5000
        reader = threading.Timer(0.3, receiver.recv, (64,))
        reader.start()
        self.addCleanup(reader.join)
        self.assertIs(channel.notify(), velqhost.NotifyResult.DELIVERED)
        # Back to never waiting.
        channel.notify_timeout_ms = 0
        started = time.monotonic()
        self.assertIs(channel.notify(), velqhost.NotifyResult.BUSY)
        self.assertLess(time.monotonic() - started, 1.0)

    def test_close_from_another_thread_waits_for_the_call_in_flight(self) -> None:
        self.listener()
        channel = self.channel(notify_timeout_ms=1000)
        self.fill(channel)
        events: list[tuple[str, object]] = []

        def frame_loop() -> None:
            events.append(("notify", channel.notify()))  # waits the second in vain
            try:
                channel.notify()
            except velqhost.ClosedError as e:
                events.append(("then", type(e)))

        loop = threading.Thread(target=frame_loop)
        loop.start()
        # Close once the loop is inside its first call (it holds the channel).
        self.assertTrue(hostcase.poll(lambda: channel._resources._depth > 0, 10, 0.001))
        channel.close()
        events.append(("closed", None))
        loop.join()
        # The channel was freed only after the notify had returned; the
        # loop's next call (made before or after close() returned) is refused.
        self.assertEqual(events[0], ("notify", velqhost.NotifyResult.BUSY))
        self.assertCountEqual(events[1:], [("closed", None), ("then", velqhost.ClosedError)])

    def test_a_block_removed_behind_the_host_is_detached(self) -> None:
        channel = self.channel()
        self.assertIs(channel.notify(), velqhost.NotifyResult.NO_DASHBOARD)
        os.unlink(hostcase.block_path())
        result = hostcase.poll(lambda: channel.notify() is velqhost.NotifyResult.DETACHED, 1.5)
        self.assertTrue(result, "notify did not report the removed block within 1.5 s")
        self.assertIs(channel.notify(), velqhost.NotifyResult.DETACHED)
        self.assertFalse(channel.notify())
        # The channel stays usable, and the name is free for another host,
        # whose block the detached one's close() leaves alone.
        channel[1] = 3.0
        self.assertEqual(channel[1], 3.0)
        successor = velqhost.Channel("demo", self.work)
        self.addCleanup(successor.close)
        successor[1] = 4.0
        self.assertIs(channel.notify(), velqhost.NotifyResult.DETACHED)
        channel.close()
        self.assertEqual(hostcase.read_block(1), [4.0])


class Lifetime(HostCase):
    def test_close_is_final_and_may_be_repeated(self) -> None:
        channel = self.channel()
        channel[1] = 1.0
        channel.close()
        self.assertTrue(channel.closed)
        self.assertFalse(os.path.exists(hostcase.block_path()))
        channel.close()
        self.assertEqual(len(channel), 8)
        self.assertIsNone(channel.pid)
        for what, call in [("launch", lambda: channel.launch(hostcase.DASHBOARD)),
                           ("notify", channel.notify),
                           ("write", lambda: channel.__setitem__("ia1", 2.0)),
                           ("read", lambda: channel[1]),
                           ("frame", lambda: channel.set_frame([0.0] * 8)),
                           ("wait", lambda: channel.wait_dashboard(0)),
                           ("time-out", lambda: setattr(channel, "notify_timeout_ms", 5))]:
            with self.subTest(what), self.assertRaises(velqhost.ClosedError) as caught:
                call()
            self.assertIsInstance(caught.exception, ValueError)
            self.assertEqual(caught.exception.status, velqhost.Status.REMOVED)
        self.assertFalse(os.path.exists(hostcase.block_path()))

    def test_a_with_block_closes(self) -> None:
        with velqhost.Channel("demo", self.work) as channel:
            self.assertTrue(os.path.exists(hostcase.block_path()))
        self.assertTrue(channel.closed)
        self.assertFalse(os.path.exists(hostcase.block_path()))

    def test_a_collected_channel_removes_its_block_and_warns(self) -> None:
        channel = velqhost.Channel("demo", self.work)
        cycle = [channel]
        channel.cycle = cycle  # collected only by the cycle collector
        gc.disable()  # so that the collection happens where the warning is expected
        self.addCleanup(gc.enable)
        del channel, cycle
        with self.assertWarns(ResourceWarning):
            gc.collect()
        self.assertFalse(os.path.exists(hostcase.block_path()))

    def test_a_host_that_ends_without_closing_leaves_nothing(self) -> None:
        for how, status in hostcase.UNCLOSED_ENDINGS.items():
            with self.subTest(how):
                child = self.run_host(hostcase.UNCLOSED_HOST, how)
                self.assertEqual(child.returncode, status, child.stderr)
                self.assertIn("ResourceWarning", child.stderr)
                self.assertNotIn("Exception ignored", child.stderr)
                self.assertFalse(os.path.exists(hostcase.block_path()), "the block outlived its host")

    def test_a_forked_child_leaves_its_parents_channel_alone(self) -> None:
        channel = velqhost.Channel("demo", self.work)
        try:
            channel[1] = 6.0
            pid = os.fork()
            if pid == 0:  # the child drops its copy, then ends as a program does
                try:
                    del channel
                    gc.collect()
                    atexit._run_exitfuncs()
                finally:
                    os._exit(0)
            _, status = os.waitpid(pid, 0)
            self.assertEqual(os.waitstatus_to_exitcode(status), 0)
            self.assertEqual(hostcase.read_block(1), [6.0])
            self.assertIs(channel.notify(), velqhost.NotifyResult.NO_DASHBOARD)
        finally:
            channel.close()


# Imports velqhost from argv[1] alone and prints which library it says it
# loaded and which file the process really mapped.
WHICH_LIBRARY = r"""
import sys
sys.path.insert(0, sys.argv[1])
try:
    import velqhost
except ImportError as e:
    print("ImportError:", e)
    sys.exit(5)
with open("/proc/self/maps") as maps:
    mapped = {line.split(maxsplit=5)[5].strip() for line in maps
              if len(line.split(maxsplit=5)) == 6 and "libvelqhost.so" in line}
print(velqhost.__file__)
print(velqhost.library)
print(*sorted(mapped), sep="|")
"""


class Distribution(unittest.TestCase):
    def test_one_version_for_the_project_the_module_and_pip(self) -> None:
        project = os.environ.get("VELQ_PROJECT_VERSION")
        self.assertTrue(project, "VELQ_PROJECT_VERSION is not set; run this test through ctest")
        self.assertEqual(velqhost.__version__, project)
        # pip's package takes the module's version rather than a copy of it.
        with open(os.path.join(os.path.dirname(velqhost.__file__), "pyproject.toml"), "rb") as f:
            pyproject = tomllib.load(f)
        self.assertNotIn("version", pyproject["project"])
        self.assertIn("version", pyproject["project"]["dynamic"])
        self.assertEqual(pyproject["tool"]["setuptools"]["dynamic"]["version"], {"attr": "velqhost.__version__"})
        self.assertEqual(pyproject["tool"]["setuptools"]["py-modules"], ["velqhost"])

    def test_the_library_is_found_in_the_documented_order(self) -> None:
        built = os.path.realpath(os.environ["VELQHOST_LIBRARY"])
        folder = tempfile.mkdtemp(prefix="velq-python-bundle-")
        self.addCleanup(shutil.rmtree, folder)
        bundle, alone = os.path.join(folder, "bundle"), os.path.join(folder, "alone")
        for place in (bundle, alone):
            os.makedirs(place)
            shutil.copy(velqhost.__file__, place)
        bundled = os.path.join(bundle, "libvelqhost.so.1")
        shutil.copy(built, bundled)

        def which(module_folder: str, **env: str) -> tuple[int, list[str]]:
            environment = {k: v for k, v in os.environ.items() if k not in ("VELQHOST_LIBRARY", "PYTHONPATH")}
            environment.update(env)
            child = subprocess.run([sys.executable, "-c", WHICH_LIBRARY, module_folder], env=environment,
                                   stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=60)
            self.assertIn(child.returncode, (0, 5), child.stderr)
            return child.returncode, child.stdout.splitlines()

        # 1. VELQHOST_LIBRARY wins over the bundled copy.
        _, lines = which(bundle, VELQHOST_LIBRARY=built)
        self.assertEqual(lines, [os.path.join(bundle, "velqhost.py"), built, built])
        # 2. Then the copy next to velqhost.py, even with another one on the
        # loader's path.
        _, lines = which(bundle, LD_LIBRARY_PATH=os.path.dirname(built))
        self.assertEqual(lines, [os.path.join(bundle, "velqhost.py"), bundled, bundled])
        # 3. Then the system's loader.
        _, lines = which(alone, LD_LIBRARY_PATH=os.path.dirname(built))
        self.assertEqual(lines, [os.path.join(alone, "velqhost.py"), "libvelqhost.so.1", built])
        # A chosen library that cannot be loaded fails the import, naming the
        # choice, rather than quietly taking the next one.
        missing = os.path.join(folder, "no-such-library.so")
        status, lines = which(bundle, VELQHOST_LIBRARY=missing)
        self.assertEqual(status, 5, lines)
        self.assertIn(missing, lines[0])
        self.assertIn("VELQHOST_LIBRARY", lines[0])


if __name__ == "__main__":
    unittest.main(verbosity=2)
