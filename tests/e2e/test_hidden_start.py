"""A hidden start with a version in place starts it at once, without a window."""
import time
import unittest

from harness import Sandbox, windows_path


class HiddenStartTest(unittest.TestCase):
    def setUp(self):
        self.sandbox = Sandbox()
        self.addCleanup(self.sandbox.close)

    def test_starts_the_current_version_with_hidden_from_its_folder(self):
        folder = self.sandbox.install_version("1.0.0")
        result = self.sandbox.run("--hidden")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, b"")
        starts = self.sandbox.wait_for_standin_starts(1)
        self.assertEqual(len(starts), 1)
        program = windows_path(folder / "Nelo.exe")
        self.assertEqual(starts[0]["cmdline"], f'"{program}" --hidden')
        self.assertEqual(starts[0]["cwd"].rstrip("\\").lower(), windows_path(folder).lower())

    def test_does_not_wait_for_the_application(self):
        self.sandbox.install_version("1.0.0")
        began = time.monotonic()
        result = self.sandbox.run("--hidden", env={"NELO_STANDIN_MODE": "run",
                                                   "NELO_STANDIN_EXIT_AFTER_MS": "60000"})
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertLess(time.monotonic() - began, 30,
                        "the launcher must end without waiting for the application")
        self.assertEqual(len(self.sandbox.wait_for_standin_starts(1)), 1)

    def test_without_a_version_or_network_nothing_starts(self):
        result = self.sandbox.run("--hidden")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(self.sandbox.no_application_started(), self.sandbox.standin_starts())
        # A copy started from a download folder installs itself without asking.
        self.assertTrue((self.sandbox.root / "Nelo.exe").is_file())
        self.assertFalse((self.sandbox.root / "current").exists())

    def test_a_file_of_another_size_makes_the_version_not_intact(self):
        folder = self.sandbox.install_version("1.0.0", files={"res/data.bin": b"0123456789"})
        (folder / "res" / "data.bin").write_bytes(b"012345678")
        result = self.sandbox.run("--hidden")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(self.sandbox.no_application_started(), self.sandbox.standin_starts())

    def test_a_version_without_its_stored_manifest_is_not_intact(self):
        folder = self.sandbox.install_version("1.0.0")
        (folder / ".manifest.json").unlink()
        result = self.sandbox.run("--hidden")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(self.sandbox.no_application_started(), self.sandbox.standin_starts())

    def test_a_pointer_to_a_version_without_its_program_starts_nothing(self):
        folder = self.sandbox.install_version("2.0")
        (folder / "Nelo.exe").unlink()
        result = self.sandbox.run("--hidden")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(self.sandbox.no_application_started(), self.sandbox.standin_starts())


if __name__ == "__main__":
    unittest.main()
