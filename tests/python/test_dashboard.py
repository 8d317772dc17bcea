"""The Python wrapper with the real dashboard (SkinVELQ, on the display of
xvfb-run): launching and relaunching it, a stopped one, and that no
dashboard outlives the host that launched it."""

from __future__ import annotations

import gc
import os
import signal
import time
import unittest

import hostcase
import velqhost
from hostcase import HostCase

if not os.environ.get("DISPLAY"):
    raise RuntimeError("no DISPLAY: run these tests under xvfb-run (through ctest)")


class Dashboard(HostCase):
    def launch(self, channel: velqhost.Channel) -> int:
        pid = channel.launch(hostcase.DASHBOARD)
        self.kill_at_end(pid)
        hostcase.wait_listening(channel)
        return pid

    def test_relaunch_only_after_the_dashboard_ended(self) -> None:
        channel = self.channel()
        self.assertIsNone(channel.pid)
        pid = self.launch(channel)
        self.assertEqual(channel.pid, pid)
        self.assertIsNone(channel.wait_dashboard(0))
        with self.assertRaises(velqhost.DashboardRunningError) as caught:
            channel.launch(hostcase.DASHBOARD)
        self.assertEqual(caught.exception.status, velqhost.Status.RUNNING)
        self.assertIn(str(pid), caught.exception.detail)
        self.assertEqual(channel.pid, pid, "a refused launch touched the running dashboard")
        os.kill(pid, signal.SIGTERM)
        self.assertIsNotNone(channel.wait_dashboard(30000), "the dashboard ignored SIGTERM")
        self.assertIsNone(channel.pid)
        self.assertTrue(hostcase.process_gone(pid))
        # Launching again is fine now, and the new one reads this block.
        second = self.launch(channel)
        self.assertNotEqual(second, pid)
        self.assertEqual(channel.pid, second)
        channel.close()
        self.assertTrue(hostcase.process_gone(second), "close() left the dashboard running")
        self.assertIsNone(channel.pid)

    def test_stop_dashboard_keeps_the_channel(self) -> None:
        channel = self.channel()
        pid = self.launch(channel)
        code = channel.stop_dashboard()
        self.assertIsNotNone(code)
        self.assertTrue(hostcase.process_gone(pid))
        self.assertIs(channel.notify(), velqhost.NotifyResult.NO_DASHBOARD)
        self.assertIsNone(channel.stop_dashboard(), "a second stop found a dashboard")

    def test_a_stopped_dashboard_is_busy_and_close_still_ends_it(self) -> None:
        channel = self.channel()
        pid = self.launch(channel)
        os.kill(pid, signal.SIGSTOP)
        self.assertTrue(hostcase.poll(lambda: hostcase.stopped(pid), 10), "SIGSTOP did not stop the dashboard")
        results = [channel.notify() for _ in range(500)]
        self.assertIn(velqhost.NotifyResult.BUSY, results, "a stopped dashboard's queue never filled")
        self.assertEqual(set(results), {velqhost.NotifyResult.DELIVERED, velqhost.NotifyResult.BUSY})
        started = time.monotonic()
        channel.close()
        # Terminate, two seconds' grace, then kill: bounded, with margin for
        # a loaded machine.
        self.assertLess(time.monotonic() - started, 4.0, "close() waited for a stopped dashboard")
        self.assertTrue(hostcase.process_gone(pid), "the stopped dashboard survived close()")
        self.assertFalse(os.path.exists(hostcase.block_path()))

    def test_a_collected_channel_ends_its_dashboard(self) -> None:
        channel = velqhost.Channel("demo", self.work)
        pid = self.launch(channel)
        with self.assertWarns(ResourceWarning):
            del channel
            gc.collect()
        self.assertTrue(hostcase.process_gone(pid))
        self.assertFalse(os.path.exists(hostcase.block_path()))

    def test_a_host_that_ends_without_closing_leaves_no_dashboard(self) -> None:
        for how, status in hostcase.UNCLOSED_ENDINGS.items():
            with self.subTest(how):
                child = self.run_host(hostcase.UNCLOSED_HOST, how, hostcase.DASHBOARD)
                self.assertEqual(child.returncode, status, child.stderr)
                pid = int(child.stdout.split()[0])
                self.kill_at_end(pid)
                self.assertIn("ResourceWarning", child.stderr)
                self.assertNotIn("Exception ignored", child.stderr)
                self.assertTrue(hostcase.process_gone(pid), "the dashboard outlived its host")
                self.assertFalse(os.path.exists(hostcase.block_path()), "the block outlived its host")


if __name__ == "__main__":
    unittest.main(verbosity=2)
