"""The stage mode against a server and a disk that fail: stalls, connections closed early, an
answer far too large, a disk that fills up. Whatever happens, the installed version stays whole
and current, and a later staging completes."""
import hashlib
import os
import pathlib
import random
import shutil
import subprocess
import tempfile
import threading
import time
import unittest

from harness import ServedSandboxTest, LAUNCHER, Sandbox, publish
from update_server import UpdateServer


def noise(size, seed):
    return random.Random(seed).randbytes(size)


FILES_1 = {"res/small.bin": noise(20_000, 1)}
FILES_2 = {"res/small.bin": noise(20_000, 1), "res/big.bin": noise(4_000_000, 2)}


class FaultTest(ServedSandboxTest):
    def stage(self, sandbox=None):
        code, lines = (sandbox or self.sandbox).stage(self.server.base_url)
        self.assertEqual(code, 0)
        return lines

    def install_first_then_publish_second(self):
        publish(self.server_root, "1.0", FILES_1)
        self.assertEqual(self.stage()[-1], "staged app 1.0")
        publish(self.server_root, "2.0", FILES_2)

    def assert_first_still_current_and_whole(self):
        self.assertEqual(self.sandbox.current(), "1.0")
        self.assertTrue(self.sandbox.check_version_whole("1.0"))

    def big_object(self):
        return "/app/files/" + hashlib.sha256(FILES_2["res/big.bin"]).hexdigest()

    def test_stalls_end_as_the_platform_decides(self):
        """Both in real time, side by side: a body that stops half way ends with "a conexão caiu"
        once the 20-second receive time-out passes; a server that waits 22 seconds before the
        manifest's headers ends with "sem internet" after the same 20 seconds (the wait for
        headers is bounded by the launcher itself, which Wine's WinHTTP does not do alone)."""
        self.install_first_then_publish_second()
        self.server.set_fault(self.big_object(), stall_mid_body=40)
        other_root = pathlib.Path(tempfile.mkdtemp(prefix="nelo-server-"))
        self.addCleanup(shutil.rmtree, other_root, True)
        publish(other_root, "3.0", FILES_1)
        other = UpdateServer(other_root).start()
        self.addCleanup(other.stop)
        other.set_fault("/app/manifest.json", stall_before_headers=22, times=1)
        other_sandbox = Sandbox()
        self.addCleanup(other_sandbox.close)

        results = {}

        def run(name, sandbox, url):
            began = time.monotonic()
            results[name] = (sandbox.stage(url, timeout=120), time.monotonic() - began)

        threads = [threading.Thread(target=run, args=("body", self.sandbox, self.server.base_url)),
                   threading.Thread(target=run, args=("headers", other_sandbox, other.base_url))]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()

        (code, lines), seconds = results["body"]
        self.assertEqual(lines[-1], "error a conexão caiu", lines)
        self.assertGreaterEqual(seconds, 19, "the receive time-out is 20 seconds")
        self.assert_first_still_current_and_whole()

        (code, lines), seconds = results["headers"]
        self.assertEqual(lines, ["error sem internet"])
        self.assertGreaterEqual(seconds, 19, "the receive time-out is 20 seconds")
        self.assertLess(seconds, 22, "not waited out until the server answers")
        self.assertIsNone(other_sandbox.current())

    def test_a_body_closed_early_is_a_dropped_connection(self):
        # Wine's WinHTTP takes a clean close before the declared length for the end of the body;
        # the client holds the body to the length its answer announced.
        self.install_first_then_publish_second()
        self.server.set_fault(self.big_object(), cut_clean_after=100_000, times=1)
        self.assertEqual(self.stage()[-1], "error a conexão caiu")
        self.assert_first_still_current_and_whole()
        self.assertEqual(self.stage()[-1], "staged app 2.0")
        self.assertTrue(self.sandbox.check_version_whole("2.0"))

    def test_a_manifest_closed_early_is_a_dropped_connection(self):
        self.install_first_then_publish_second()
        self.server.set_fault("/app/manifest.json", cut_clean_after=40, times=1)
        self.assertEqual(self.stage()[-1], "error a conexão caiu")
        self.assert_first_still_current_and_whole()

    def test_a_manifest_far_larger_than_any_release_is_refused_as_it_arrives(self):
        self.install_first_then_publish_second()
        manifest = self.server_root / "app" / "manifest.json"
        document = manifest.read_bytes()
        padding = b" " * (100 << 20)  # white space is valid JSON: only the size is wrong
        manifest.write_bytes(document + padding)
        self.assertEqual(self.stage()[-1], "error resposta grande demais")
        self.assert_first_still_current_and_whole()
        manifest.write_bytes(document)
        self.assertEqual(self.stage()[-1], "staged app 2.0")

    def test_a_disk_that_fills_up_keeps_the_installed_version(self):
        if os.geteuid() != 0:
            self.skipTest("mounting a small file system needs root")
        disk = self.sandbox.dir / "small-disk"
        disk.mkdir()
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=8m", "tmpfs", str(disk)],
                                 capture_output=True)
        if mounted.returncode != 0:
            self.skipTest(f"cannot mount a small file system: {mounted.stderr!r}")
        self.addCleanup(subprocess.run, ["umount", "-l", str(disk)], capture_output=True)
        local = disk / "local"
        local.mkdir()
        self.sandbox.local_app_data = local
        self.sandbox.root = local / "Nelo"
        self.sandbox.root.mkdir()
        launcher = self.installed_launcher()  # about 5 MB of the 8

        self.install_first_then_publish_second()  # 1.0 fits; 2.0's 4 MB file does not
        lines = self.stage()
        self.assertTrue(lines[-1].startswith("error gravar res/big.bin: "), lines)
        self.assertTrue(lines[-1].endswith(" (os error 112)"), lines)
        self.assert_first_still_current_and_whole()
        # The installed version still starts.
        self.assertEqual(self.sandbox.run("--hidden", program=launcher).returncode, 0)
        self.assertEqual(len(self.sandbox.wait_for_standin_starts(1)), 1)

        subprocess.run(["mount", "-o", "remount,size=64m", str(disk)], check=True)
        self.assertEqual(self.stage()[-1], "staged app 2.0")
        self.assertTrue(self.sandbox.check_version_whole("2.0"))

    def installed_launcher(self):
        """The launcher copy in the root, as the shortcuts start it."""
        installed = self.sandbox.root / "Nelo.exe"
        shutil.copy(LAUNCHER, installed)
        return installed


if __name__ == "__main__":
    unittest.main()
