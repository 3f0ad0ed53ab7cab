"""Staging over a network that is not loopback's: many files with several requests in flight, a
launcher killed in the middle of a large object and run again, a body that only drips."""
import hashlib
import os
import random
import signal
import threading
import time

from harness import ServedSandboxTest, command_lines, publish, windows_path


def noise(size, seed):
    return random.Random(seed).randbytes(size)


def launcher_processes(program):
    """Unix ids of the Wine processes running `program` itself (not the runner that names it)."""
    wanted = windows_path(program).lower()
    return [pid for pid, command in command_lines()
            if command.lower().lstrip('"').startswith(wanted)]


def wait_until(condition, timeout, step=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(step)
    return condition()


class NetworkTest(ServedSandboxTest):
    def test_two_thousand_files_are_staged_with_several_requests_in_flight(self):
        files = {f"small/f{i % 20:02d}/file{i:04d}.txt": b"%06d " % i * (1 + i % 50)
                 for i in range(2000)}
        publish(self.server_root, "1.0", files)
        self.server.latency = 0.01  # a round trip, so that answers overlap
        code, lines = self.sandbox.stage(self.server.base_url, timeout=300)
        self.assertEqual(lines[-1], "staged app 1.0")
        self.assertTrue(self.sandbox.check_version_whole("1.0"))
        self.assertGreaterEqual(self.server.most_in_flight, 4)
        self.assertLessEqual(self.server.most_in_flight, 8)
        self.assertEqual(len(self.server.requests), 1 + 2001)
        progress = [tuple(map(int, line.split()[1:])) for line in lines[:-1]]
        self.assertTrue(all(a[0] <= b[0] for a, b in zip(progress, progress[1:])), progress)

    def test_a_launcher_killed_in_a_large_object_goes_on_from_where_it_stopped(self):
        big = noise(12_000_000, 5)  # incompressible: the object is as large as the file
        files = {"res/big.bin": big, "res/small.txt": b"small " * 1000}
        publish(self.server_root, "1.0", files, quality=1)
        digest = hashlib.sha256(big).hexdigest()
        object_path = f"/app/files/{digest}"
        zsize = (self.server_root / "app" / "files" / digest).stat().st_size
        self.server.set_fault(object_path, stall_mid_body=120, stall_at=7_000_000, times=1)
        kept = self.sandbox.root / "downloads" / digest

        outcome = {}
        first = threading.Thread(
            target=lambda: outcome.update(first=self.sandbox.stage(self.server.base_url)))
        first.start()
        self.assertTrue(wait_until(lambda: kept.exists() and kept.stat().st_size >= 7_000_000,
                                   timeout=60), "the kept bytes reach the stall")
        for pid in launcher_processes(self.sandbox.launcher_copy()):
            os.kill(pid, signal.SIGKILL)
        first.join(timeout=60)
        self.assertFalse(first.is_alive())
        self.assertIsNone(self.sandbox.current())
        self.assertEqual(kept.stat().st_size, 7_000_000)

        self.server.clear_faults()
        self.server.clear_requests()
        code, lines = self.sandbox.stage(self.server.base_url)
        self.assertEqual(lines[-1], "staged app 1.0")
        self.assertTrue(self.sandbox.check_version_whole("1.0"))
        self.assertEqual((self.sandbox.root / "versions" / "1.0" / "res" / "big.bin").read_bytes(),
                         big)
        self.assertIn((object_path, f"bytes=7000000-{zsize - 1}"), self.server.ranges)
        manifest_bytes = (self.server_root / "app" / "manifest.json").stat().st_size
        self.assertLessEqual(self.server.body_bytes_sent,
                             zsize - 7_000_000 + manifest_bytes + 1_000_000,
                             "only the rest of the large object is fetched again")
        self.assertFalse(kept.exists(), "nothing is kept once the object is whole")
        totals = [int(line.split()[2]) for line in lines if line.startswith("progress ")]
        self.assertLess(totals[0], zsize - 7_000_000 + 1_000_000, "the total leaves out what was kept")

    def test_a_body_that_only_drips_ends_as_a_lost_connection(self):
        """In real time: one byte every five seconds never runs into the read time-out, but a
        minute that brings less than a kibibyte ends the transfer."""
        publish(self.server_root, "1.0", {"res/a.bin": noise(20_000, 1)})
        self.assertEqual(self.sandbox.stage(self.server.base_url)[1][-1], "staged app 1.0")
        publish(self.server_root, "2.0", {"res/a.bin": noise(20_000, 2)})
        digest = hashlib.sha256(noise(20_000, 2)).hexdigest()
        self.server.set_fault(f"/app/files/{digest}", trickle=(1, 5))
        began = time.monotonic()
        code, lines = self.sandbox.stage(self.server.base_url, timeout=150)
        seconds = time.monotonic() - began
        self.assertEqual(lines[-1], "error a conexão caiu")
        self.assertGreaterEqual(seconds, 59)
        self.assertLess(seconds, 100)
        self.assertEqual(self.sandbox.current(), "1.0")
        self.assertTrue(self.sandbox.check_version_whole("1.0"))
