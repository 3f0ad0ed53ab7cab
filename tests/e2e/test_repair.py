"""A damaged current version repairs itself where it stands (with the application running from
it, at a hidden start, after a kill in the middle), and pruning spares a version an application
still runs from."""
import hashlib
import os
import random
import signal
import threading
import time

from harness import (ServedSandboxTest, command_lines, kill_windows_process, publish,
                     processes_running_below, windows_path)


def noise(size, seed):
    return random.Random(seed).randbytes(size)


FILES = {"res/big.bin": noise(3_000_000, 1), "res/small.bin": noise(20_000, 2),
         "res/text.txt": b"hello " * 1000}


def wait_until(condition, timeout, step=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(step)
    return condition()


class RepairTest(ServedSandboxTest):
    def setUp(self):
        super().setUp()
        self.addCleanup(kill_windows_process, "Nelo.exe")

    def stage(self):
        code, lines = self.sandbox.stage(self.server.base_url)
        self.assertEqual(code, 0)
        return lines

    def folder(self, label="1.0"):
        return self.sandbox.root / "versions" / label

    def damage(self):
        """A file deleted (an antivirus quarantine) and one changed in place, its size kept."""
        (self.folder() / "res" / "small.bin").unlink()
        text = self.folder() / "res" / "text.txt"
        text.write_bytes(text.read_bytes().upper())

    def fetched_objects(self):
        return sorted(path for path, _ in self.server.requests if path.startswith("/app/files/"))

    def object_of(self, content):
        return "/app/files/" + hashlib.sha256(content).hexdigest()

    def start_application(self, label="1.0"):
        self.sandbox.run(program=self.folder(label) / "Nelo.exe",
                         env={"NELO_STANDIN_MODE": "run"}, wait=False)
        self.assertTrue(wait_until(lambda: processes_running_below(self.folder(label)), 30))

    def test_the_stage_mode_repairs_the_version_the_application_runs_from(self):
        publish(self.server_root, "1.0", FILES)
        self.assertEqual(self.stage()[-1], "staged app 1.0")
        self.start_application()
        self.damage()
        self.server.clear_requests()
        self.assertEqual(self.stage()[-1], "staged app 1.0")
        self.assertTrue(self.sandbox.check_version_whole("1.0"))
        self.assertEqual(self.fetched_objects(),
                         sorted([self.object_of(FILES["res/small.bin"]),
                                 self.object_of(FILES["res/text.txt"])]))
        self.assertEqual(self.sandbox.current(), "1.0")
        self.assertTrue(processes_running_below(self.folder()), "the application ran on")
        self.server.clear_requests()
        self.assertEqual(self.stage(), ["none"], "once whole, nothing more to do")

    def test_a_hidden_start_repairs_before_it_starts_the_application(self):
        publish(self.server_root, "1.0", FILES)
        self.assertEqual(self.stage()[-1], "staged app 1.0")
        self.damage()
        launcher = self.sandbox.root / "Nelo.exe"
        launcher.write_bytes(self.sandbox.launcher_copy().read_bytes())
        self.sandbox.run("--hidden", program=launcher,
                         env={"NELO_UPDATE_BASE": self.server.base_url})
        starts = self.sandbox.wait_for_standin_starts(1, timeout=30)
        self.assertEqual(len(starts), 1)
        self.assertTrue(self.sandbox.check_version_whole("1.0"))

    def test_the_running_program_rewritten_at_its_length_is_repaired_beside_it(self):
        publish(self.server_root, "1.0", FILES)
        self.assertEqual(self.stage()[-1], "staged app 1.0")
        self.start_application()
        program = self.folder() / "Nelo.exe"
        program.write_bytes(bytes(len(program.read_bytes())))  # a loaded image, other bytes
        self.assertEqual(self.stage()[-1], "staged app 1.0")
        self.assertTrue(self.sandbox.check_version_whole("1.0"))
        self.assertTrue(processes_running_below(self.folder()), "the application ran on")
        self.server.clear_requests()
        self.assertEqual(self.stage(), ["none"], "once whole, nothing more to do")
        self.assertEqual(self.fetched_objects(), [])

    def test_a_file_that_cannot_even_be_renamed_is_left_and_logged(self):
        publish(self.server_root, "1.0", FILES)
        self.assertEqual(self.stage()[-1], "staged app 1.0")
        text = self.folder() / "res" / "text.txt"
        text.write_bytes(text.read_bytes().upper())
        damaged = text.read_bytes()
        # Open as a scanner opens it, sharing neither delete nor write: no rename, no replace.
        self.sandbox.run(program=self.folder() / "Nelo.exe", wait=False,
                         env={"NELO_STANDIN_HOLD_FILE": windows_path(text),
                              "NELO_STANDIN_HOLD_MS": "90000"})
        self.assertTrue(wait_until(lambda: text.with_name("text.txt.held").exists(), 30))
        self.assertEqual(self.stage()[-1], "staged app 1.0")
        self.assertEqual(text.read_bytes(), damaged, "left as it was")
        log = (self.sandbox.root / "launcher.log").read_text("utf-8").splitlines()
        lines = [line for line in log if "não foi reparado" in line]
        self.assertEqual(len(lines), 1, log)
        self.assertIn("res/text.txt da versão 1.0", lines[0])
        kill_windows_process("Nelo.exe")
        self.assertTrue(wait_until(lambda: not processes_running_below(self.folder()), 30))
        self.assertEqual(self.stage()[-1], "staged app 1.0", "repaired once free")
        self.assertTrue(self.sandbox.check_version_whole("1.0"))

    def test_a_repair_killed_in_the_middle_leaves_each_file_whole_or_as_it_was(self):
        publish(self.server_root, "1.0", FILES, quality=1)
        self.assertEqual(self.stage()[-1], "staged app 1.0")
        big = self.folder() / "res" / "big.bin"
        damaged = big.read_bytes()[:1000]  # cut short, as a full disk would leave it
        big.write_bytes(damaged)
        self.server.set_fault(self.object_of(FILES["res/big.bin"]), stall_mid_body=120,
                              stall_at=2_000_000, times=1)
        first = threading.Thread(target=lambda: self.sandbox.stage(self.server.base_url))
        first.start()
        kept = self.sandbox.root / "downloads" / hashlib.sha256(FILES["res/big.bin"]).hexdigest()
        self.assertTrue(wait_until(lambda: kept.exists() and kept.stat().st_size >= 2_000_000, 60))
        wanted = windows_path(self.sandbox.launcher_copy()).lower()
        for pid, command in command_lines():
            if command.lower().lstrip('"').startswith(wanted):
                os.kill(pid, signal.SIGKILL)
        first.join(timeout=60)
        self.assertEqual(big.read_bytes(), damaged, "the damaged file stays until the right one "
                                                    "is whole beside it")
        self.server.clear_faults()
        self.assertEqual(self.stage()[-1], "staged app 1.0")
        self.assertTrue(self.sandbox.check_version_whole("1.0"))
        self.assertFalse((self.sandbox.root / "downloads").exists())


class PruneTest(ServedSandboxTest):
    def setUp(self):
        super().setUp()
        self.addCleanup(kill_windows_process, "Nelo.exe")

    def stage(self, version):
        publish(self.server_root, version, {"res/v.txt": version.encode() * 1000})
        code, lines = self.sandbox.stage(self.server.base_url)
        self.assertEqual(lines[-1], f"staged app {version}")

    def test_a_version_an_application_runs_from_is_never_pruned(self):
        self.stage("1.0")
        oldest = self.sandbox.root / "versions" / "1.0"
        self.sandbox.run(program=oldest / "Nelo.exe", env={"NELO_STANDIN_MODE": "run"},
                         wait=False)
        self.assertTrue(wait_until(lambda: processes_running_below(oldest), 30))
        self.stage("2.0")
        self.stage("3.0")  # 1.0 is neither the new version nor the previous one
        self.assertEqual(self.sandbox.versions(), ["1.0", "2.0", "3.0"])
        self.assertTrue(self.sandbox.check_version_whole("1.0"), "whole under the application")
        kill_windows_process("Nelo.exe")
        self.assertTrue(wait_until(lambda: not processes_running_below(oldest), 30))
        self.stage("4.0")
        self.assertEqual(self.sandbox.versions(), ["3.0", "4.0"])
