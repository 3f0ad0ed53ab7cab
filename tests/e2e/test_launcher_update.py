"""The installed launcher updates itself: a release published with nelo-publish --launcher brings
its Nelo-Setup.exe to the installations it is current in, after a --self-test of the new file,
and nothing that can go wrong on the way leaves the root without a launcher that starts."""
import hashlib
import shutil
import subprocess
import threading
import unittest

from harness import BUILD, LAUNCHER, ServedSandboxTest, kill_windows_process, publish, wait_for
from test_rollout import IDENTITY, place

SIGNED_LAUNCHER = BUILD / "tests" / "fixtures" / "Nelo-Setup-signed.exe"
KEYS = BUILD / "test-keys"
FILES = {"res/data.bin": b"the application's data " * 500}


def brotli(content):
    return subprocess.run(["brotli", "-c", "-q", "1"], input=content, capture_output=True,
                          check=True).stdout


class LauncherUpdateTest(ServedSandboxTest):
    def setUp(self):
        super().setUp()
        self.sources = self.sandbox.dir / "setups"
        self.sources.mkdir()
        # The launcher installed today, at the root where the shortcuts start it.
        self.installed = self.sandbox.root / "Nelo.exe"
        self.installed.parent.mkdir(parents=True)
        shutil.copy(LAUNCHER, self.installed)
        self.today = LAUNCHER.read_bytes()

    def setup_file(self, name, content):
        path = self.sources / name
        path.write_bytes(content)
        return path

    def publish(self, version, launcher=None, options=(), files=FILES):
        extra = list(options)
        if launcher is not None:
            extra += ["--launcher", str(launcher)]
        return publish(self.server_root, version, files, options=extra)

    def stage(self, program=None):
        result = self.sandbox.run("--stage", env={"NELO_UPDATE_BASE": self.server.base_url},
                                  program=program or self.installed)
        self.assertEqual(result.returncode, 0)
        return result.stdout.decode("utf-8").splitlines()

    def sign_manifest(self):
        """Signs the served manifest with the test launcher's first key, as minisign does."""
        signed = subprocess.run(["minisign", "-S", "-s", str(KEYS / "first.key"), "-m",
                                 "manifest.json"], cwd=self.server_root / "app",
                                stdin=subprocess.DEVNULL, capture_output=True)
        self.assertEqual(signed.returncode, 0, signed.stderr)

    def log_lines(self):
        log = self.sandbox.root / "launcher.log"
        return log.read_text("utf-8").splitlines() if log.exists() else []

    def launcher_lines(self):
        return [line for line in self.log_lines() if "o lançador" in line]

    def assert_root_left_alone(self):
        """The installed launcher as it was, no new file beside it, and it still starts the
        application."""
        self.assertEqual(self.installed.read_bytes(), self.today)
        self.assertFalse((self.sandbox.root / "Nelo.exe.new").exists())
        self.assertFalse((self.sandbox.root / "Nelo.exe.old").exists())
        self.assert_starts_the_application()

    def assert_starts_the_application(self):
        before = len(self.sandbox.standin_starts())
        result = self.sandbox.run("--hidden", program=self.installed)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(len(self.sandbox.wait_for_standin_starts(before + 1)), before + 1,
                         "the installed launcher did not start the application")

    # -- the cases -------------------------------------------------------------------------------

    def test_a_sound_launcher_is_in_place_after_a_stage_and_the_lines_are_as_ever(self):
        fixed = self.today + b"\0a fix made after the installation"
        self.publish("1.0", launcher=self.setup_file("fixed.exe", fixed))
        lines = self.stage()
        self.assertEqual(lines[-1], "staged app 1.0")
        self.assertTrue(all(line.startswith("progress ") for line in lines[:-1]), lines)
        self.assertEqual(self.installed.read_bytes(), fixed)
        self.assertEqual((self.sandbox.root / "Nelo.exe.old").read_bytes(), self.today)
        self.assertFalse((self.sandbox.root / "Nelo.exe.new").exists())
        self.assertEqual(self.launcher_lines(), [])
        # The next release's launcher travels as a patch from the one now installed.
        fixed_again = fixed + b" and another"
        self.publish("1.1", launcher=self.setup_file("again.exe", fixed_again),
                     files=dict(FILES, **{"res/more.bin": b"more"}))
        self.server.clear_requests()
        self.assertEqual(self.stage()[-1], "staged app 1.1")
        self.assertEqual(self.installed.read_bytes(), fixed_again)
        patch = (f"/app/patches/{hashlib.sha256(fixed).hexdigest()}-"
                 f"{hashlib.sha256(fixed_again).hexdigest()}")
        self.assertIn(patch, [path for path, _ in self.server.requests])
        self.assert_starts_the_application()

    def test_a_release_that_changes_only_the_launcher_brings_it_to_a_current_installation(self):
        self.publish("1.0")
        self.assertEqual(self.stage()[-1], "staged app 1.0")
        self.assertEqual(self.installed.read_bytes(), self.today, "no launcher listed: it stays")
        fixed = self.today + b"\0only the launcher changed"
        self.publish("1.0", launcher=self.setup_file("fixed.exe", fixed))
        self.assertEqual(self.stage(), ["none"])
        self.assertEqual(self.installed.read_bytes(), fixed)
        # Once in place, the same release changes nothing more.
        self.assertEqual(self.stage(), ["none"])
        self.assertEqual(self.installed.read_bytes(), fixed)
        self.assertFalse((self.sandbox.root / "Nelo.exe.new").exists())

    def test_a_truncated_launcher_is_never_put_in_place(self):
        # Still an x86-64 program to the publisher's eyes: its headers are whole.
        cut = self.today[: len(self.today) // 2]
        self.publish("1.0", launcher=self.setup_file("cut.exe", cut))
        self.assertEqual(self.stage()[-1], "staged app 1.0")
        lines = self.launcher_lines()
        self.assertEqual(len(lines), 1, self.log_lines())
        self.assertIn("autoteste", lines[0])
        self.assert_root_left_alone()

    def test_a_corrupt_launcher_object_is_never_put_in_place(self):
        fixed = self.today + b"\0a fix"
        self.publish("1.0", launcher=self.setup_file("fixed.exe", fixed))
        obj = self.server_root / "app" / "files" / hashlib.sha256(fixed).hexdigest()
        other = bytearray(fixed)
        other[1000] ^= 1
        obj.write_bytes(brotli(bytes(other)))
        self.assertEqual(self.stage()[-1], "staged app 1.0")
        lines = self.launcher_lines()
        self.assertEqual(len(lines), 1, self.log_lines())
        self.assertIn("Nelo-Setup.exe não confere com a lista", lines[0])
        self.assert_root_left_alone()

    @unittest.skipUnless(SIGNED_LAUNCHER.exists() and shutil.which("minisign"),
                         "needs minisign and the signed test launcher")
    def test_a_launcher_with_keys_refuses_a_launcher_without(self):
        shutil.copy(SIGNED_LAUNCHER, self.installed)
        self.today = SIGNED_LAUNCHER.read_bytes()
        unsigned = LAUNCHER.read_bytes() + b"\0checks no signature"
        self.publish("1.0", launcher=self.setup_file("unsigned.exe", unsigned))
        self.sign_manifest()
        self.assertEqual(self.stage()[-1], "staged app 1.0")
        lines = self.launcher_lines()
        self.assertEqual(len(lines), 1, self.log_lines())
        self.assertIn("não confere assinaturas", lines[0])
        self.assert_root_left_alone()
        # One built with the keys is taken.
        with_keys = SIGNED_LAUNCHER.read_bytes() + b"\0checks signatures"
        self.publish("1.1", launcher=self.setup_file("signed.exe", with_keys),
                     options=["--unsigned"])
        self.sign_manifest()
        self.assertEqual(self.stage()[-1], "staged app 1.1")
        self.assertEqual(self.installed.read_bytes(), with_keys)

    def test_a_rollout_share_leaves_the_launcher_alone_outside_it(self):
        self.publish("1.0")
        self.assertEqual(self.stage()[-1], "staged app 1.0")
        (self.sandbox.root / "installation").write_text(IDENTITY + "\n")
        ours = place(IDENTITY, "2.0")
        fixed = self.today + b"\0for the share only"
        self.publish("2.0", launcher=self.setup_file("fixed.exe", fixed),
                     options=["--rollout", str(ours)], files={"res/data.bin": b"second"})
        self.server.clear_requests()
        self.assertEqual(self.stage(), ["none"])
        self.assertEqual(self.installed.read_bytes(), self.today)
        self.assertNotIn("/app/files/" + hashlib.sha256(fixed).hexdigest(),
                         [path for path, _ in self.server.requests])
        subprocess.run([str(BUILD.parent / "native" / "tools" / "nelo_publish" / "nelo-publish"),
                        "rollout", str(self.server_root), str(ours + 1)], check=True,
                       capture_output=True, stdin=subprocess.DEVNULL)
        self.assertEqual(self.stage()[-1], "staged app 2.0")
        self.assertEqual(self.installed.read_bytes(), fixed)

    def test_a_kill_while_the_new_launcher_arrives_leaves_the_root_startable(self):
        fixed = self.today + b"\0a fix that never arrives"
        self.publish("1.0", launcher=self.setup_file("fixed.exe", fixed))
        launcher_object = "/app/files/" + hashlib.sha256(fixed).hexdigest()
        # The server holds its answer until the launcher is gone: the new file is begun, nothing
        # of it verified.
        release = threading.Event()
        self.addCleanup(release.set)
        self.server.set_fault(launcher_object, hold=release, times=1)
        stager = self.sandbox.launcher_copy()
        self.sandbox.run("--stage", env={"NELO_UPDATE_BASE": self.server.base_url},
                         program=stager, wait=False)
        self.assertTrue(wait_for(lambda: launcher_object in
                                 [path for path, _ in self.server.requests], 60),
                        "the launcher's object was never asked for")
        kill_windows_process("Nelo-Setup.exe")
        release.set()
        self.assertTrue(wait_for(lambda: self.sandbox.current() == "1.0", 5))
        self.assertEqual(self.installed.read_bytes(), self.today)
        self.assert_starts_the_application()
        # The next run finds what was left and finishes the work.
        self.server.clear_faults()
        self.assertEqual(self.stage(), ["none"])
        self.assertEqual(self.installed.read_bytes(), fixed)
        self.assertFalse((self.sandbox.root / "Nelo.exe.new").exists())

    def test_a_kill_between_the_renames_is_mended_by_the_next_start(self):
        fixed = self.today + b"\0the fix"
        self.publish("1.0", launcher=self.setup_file("fixed.exe", fixed))
        # The state a kill leaves between the two renames: no Nelo.exe, today's launcher moved
        # aside, the tested new one beside it.
        root = self.sandbox.root
        self.installed.rename(root / "Nelo.exe.old")
        (root / "Nelo.exe.new").write_bytes(fixed)
        # The application starts the launcher it finds: the one moved aside. It puts itself back
        # first, then does the work again from the start.
        self.assertEqual(self.stage(root / "Nelo.exe.old")[-1], "staged app 1.0")
        self.assertEqual(self.installed.read_bytes(), fixed)
        self.assertEqual((root / "Nelo.exe.old").read_bytes(), self.today)
        self.assertFalse((root / "Nelo.exe.new").exists())
        self.assert_starts_the_application()

    def test_a_kill_after_the_swap_leaves_the_new_launcher_in_use(self):
        fixed = self.today + b"\0the fix"
        self.publish("1.0", launcher=self.setup_file("fixed.exe", fixed))
        self.assertEqual(self.stage()[-1], "staged app 1.0")
        self.assertEqual(self.installed.read_bytes(), fixed)
        # A normal start deletes what was moved aside, and the shortcuts' target starts.
        self.assertTrue((self.sandbox.root / "Nelo.exe.old").exists())
        result = self.sandbox.run("--hidden", program=self.installed)
        self.assertEqual(result.returncode, 0)
        self.assertTrue(self.sandbox.wait_for_standin_starts(1))
        self.assertFalse((self.sandbox.root / "Nelo.exe.old").exists())
