"""A staged rollout: a release published for a share of installations reaches those whose
place is inside it, leaves the others on their version, and reaches them once raised."""
import hashlib
import subprocess

from harness import PUBLISHER, ServedSandboxTest, publish

FILES = {"res/data.bin": b"first " * 1000}
FILES_2 = {"res/data.bin": b"second " * 1000}
IDENTITY = "00112233445566778899aabbccddeeff"


def place(identity, version):
    """The installation's place for a release, 0 to 99, as the launcher draws it."""
    digest = hashlib.sha256(f"{identity}\n{version}".encode()).hexdigest()
    return int(digest[:16], 16) % 100


class RolloutTest(ServedSandboxTest):
    def stage(self):
        code, lines = self.sandbox.stage(self.server.base_url)
        self.assertEqual(code, 0)
        return lines[-1]

    def set_share(self, share):
        subprocess.run([str(PUBLISHER), "rollout", str(self.server_root), str(share)],
                       check=True, capture_output=True, stdin=subprocess.DEVNULL)

    def identity_file(self):
        return self.sandbox.root / "installation"

    def test_a_release_reaches_its_share_and_the_others_once_raised(self):
        publish(self.server_root, "1.0", FILES)
        self.assertEqual(self.stage(), "staged app 1.0")
        self.identity_file().write_text(IDENTITY + "\n")
        ours = place(IDENTITY, "2.0")  # 91: the share below it leaves this installation out
        publish(self.server_root, "2.0", FILES_2, options=["--rollout", str(ours)])
        self.assertEqual(self.stage(), "none")
        self.assertEqual(self.sandbox.current(), "1.0")
        self.assertEqual(self.sandbox.versions(), ["1.0"])
        self.set_share(ours + 1)
        self.assertEqual(self.stage(), "staged app 2.0")
        self.assertTrue(self.sandbox.check_version_whole("2.0"))
        self.assertEqual(self.identity_file().read_text(), IDENTITY + "\n")

    def test_a_halted_release_still_makes_the_first_install(self):
        publish(self.server_root, "1.0", FILES, options=["--rollout", "1"])
        self.set_share(0)
        self.assertEqual(self.stage(), "staged app 1.0")
        self.assertTrue(self.sandbox.check_version_whole("1.0"))

    def test_an_unreadable_identity_is_drawn_anew_and_kept(self):
        publish(self.server_root, "1.0", FILES)
        self.assertEqual(self.stage(), "staged app 1.0")
        self.identity_file().write_bytes(b"\xff not an identity")
        publish(self.server_root, "2.0", FILES_2, options=["--rollout", "50"])
        line = self.stage()
        drawn = self.identity_file().read_text()
        self.assertRegex(drawn, r"^[0-9a-f]{32}\n$")
        self.assertEqual(line, "staged app 2.0" if place(drawn.strip(), "2.0") < 50 else "none")
        publish(self.server_root, "2.1", FILES, options=["--rollout", "50"])
        self.stage()
        self.assertEqual(self.identity_file().read_text(), drawn, "drawn once")
