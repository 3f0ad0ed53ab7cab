"""Signed releases: the launcher built with two throw-away keys (Nelo-Setup-signed.exe, made by
the Windows build with minisign) against manifests signed by the minisign tool and by
nelo-publish --sign. Refused releases leave the installed version whole, current and, in the
normal mode, started."""
import pathlib
import shutil
import subprocess
import tempfile
import time
import unittest

from harness import ServedSandboxTest, BUILD, PUBLISHER, STANDIN, Sandbox, publish
from update_server import UpdateServer

# The releases here are signed with the minisign tool after publishing: the publisher leaves
# them unsigned (and takes the signature served before away) when told so.
UNSIGNED = ("--unsigned",)

SIGNED_LAUNCHER = BUILD / "tests" / "fixtures" / "Nelo-Setup-signed.exe"
KEYS = BUILD / "test-keys"

FILES_1 = {"res/a.bin": b"first release " * 100}
FILES_2 = {"res/a.bin": b"second release " * 100}


def minisign(*arguments, cwd=None):
    return subprocess.run(["minisign", *arguments], cwd=cwd, stdin=subprocess.DEVNULL,
                          capture_output=True)


@unittest.skipUnless(SIGNED_LAUNCHER.exists() and shutil.which("minisign"),
                     "needs minisign and the signed test launcher")
class SignedReleaseTest(ServedSandboxTest):
    def setUp(self):
        super().setUp()
        self.launcher = self.sandbox.dir / "signed" / "Nelo-Setup.exe"
        self.launcher.parent.mkdir()
        shutil.copy(SIGNED_LAUNCHER, self.launcher)

    @property
    def app(self):
        return self.server_root / "app"

    def stage(self):
        result = self.sandbox.run("--stage", env={"NELO_UPDATE_BASE": self.server.base_url},
                                  program=self.launcher)
        self.assertEqual(result.returncode, 0)
        return result.stdout.decode("utf-8").splitlines()

    def sign_with_tool(self, key="first", legacy=False, comment=None):
        arguments = ["-S", "-s", str(KEYS / f"{key}.key"), "-m", "manifest.json"]
        if legacy:
            arguments.append("-l")
        if comment is not None:
            arguments += ["-t", comment]
        self.assertEqual(minisign(*arguments, cwd=self.app).returncode, 0)

    def install_signed_first(self, comment="timestamp:1000\tfile:manifest.json"):
        publish(self.server_root, "1.0", FILES_1, options=UNSIGNED)
        self.sign_with_tool(comment=comment)
        self.assertEqual(self.stage()[-1], "staged app 1.0")

    def assert_first_installed(self):
        self.assertEqual(self.sandbox.current(), "1.0")
        self.assertTrue(self.sandbox.check_version_whole("1.0"))

    def test_signatures_of_the_minisign_tool_in_both_forms(self):
        publish(self.server_root, "1.0", FILES_1, options=UNSIGNED)
        self.sign_with_tool()  # "ED", over the BLAKE2b hash, the tool's default
        self.assertEqual(self.stage()[-1], "staged app 1.0")
        stored = self.sandbox.root / "versions" / "1.0" / ".manifest.json.minisig"
        self.assertEqual(stored.read_bytes(), (self.app / "manifest.json.minisig").read_bytes())
        publish(self.server_root, "2.0", FILES_2, options=UNSIGNED)
        self.sign_with_tool(legacy=True)  # "Ed", over the bytes
        self.assertEqual(self.stage()[-1], "staged app 2.0")
        self.assertTrue(self.sandbox.check_version_whole("2.0"))

    def test_nelo_publish_signs_what_minisign_verifies(self):
        source = self.sandbox.dir / "release"
        (source / "res").mkdir(parents=True)
        shutil.copy(STANDIN, source / "Nelo.exe")
        (source / "res" / "a.bin").write_bytes(FILES_1["res/a.bin"])
        result = subprocess.run([str(PUBLISHER), "--version", "1.0", "--from", str(source),
                                 "--to", str(self.server_root), "--quality", "5",
                                 "--sign", str(KEYS / "second.key")],
                                stdin=subprocess.DEVNULL, capture_output=True)
        self.assertEqual(result.returncode, 0, result.stderr)
        verified = minisign("-V", "-p", str(KEYS / "second.pub"), "-m", "manifest.json",
                            cwd=self.app)
        self.assertEqual(verified.returncode, 0, verified.stderr)
        self.assertEqual(self.stage()[-1], "staged app 1.0", "the second key is built in too")

    def test_refusals_keep_the_installed_version(self):
        self.install_signed_first()
        stranger = self.sandbox.dir / "stranger"
        stranger.mkdir()
        self.assertEqual(minisign("-G", "-W", "-p", str(stranger / "k.pub"), "-s",
                                  str(stranger / "k.key")).returncode, 0)

        def changed_after_signing():
            with open(self.app / "manifest.json", "ab") as manifest:
                manifest.write(b" ")

        def by_another_key():
            self.assertEqual(minisign("-S", "-s", str(stranger / "k.key"), "-m",
                                      "manifest.json", cwd=self.app).returncode, 0)

        def removed():
            (self.app / "manifest.json.minisig").unlink()

        def truncated():
            signature = self.app / "manifest.json.minisig"
            signature.write_bytes(signature.read_bytes()[:60])

        def garbled():
            signature = self.app / "manifest.json.minisig"
            lines = signature.read_bytes().split(b"\n")
            lines[1] = lines[1][:20] + (b"A" if lines[1][20:21] != b"A" else b"B") + lines[1][21:]
            signature.write_bytes(b"\n".join(lines))

        def comment_edited():
            signature = self.app / "manifest.json.minisig"
            signature.write_bytes(signature.read_bytes().replace(b"timestamp:", b"timestamp:9"))

        cases = [("changed after signing", changed_after_signing, "assinatura inválida"),
                 ("another key", by_another_key, "assinatura inválida"),
                 ("no signature", removed, "lista sem assinatura"),
                 ("truncated", truncated, "assinatura inválida"),
                 ("garbled", garbled, "assinatura inválida"),
                 ("trusted comment edited", comment_edited, "assinatura inválida")]
        for name, spoil, message in cases:
            with self.subTest(name):
                publish(self.server_root, "2.0", FILES_2, options=UNSIGNED)
                self.sign_with_tool(comment="timestamp:2000\tfile:manifest.json")
                spoil()
                self.assertEqual(self.stage()[-1], "error " + message)
                self.assert_first_installed()
        objects = [path for path, _ in self.server.requests if path.startswith("/app/files/")]
        self.assertEqual(len(objects), len(set(objects)), "only the first release was fetched")

    def test_a_refused_update_starts_the_installed_version_in_the_normal_mode(self):
        self.install_signed_first()
        publish(self.server_root, "2.0", FILES_2, options=UNSIGNED)
        self.sign_with_tool(comment="timestamp:2000\tfile:manifest.json")
        with open(self.app / "manifest.json", "ab") as manifest:
            manifest.write(b" ")
        installed = self.sandbox.root / "Nelo.exe"
        shutil.copy(self.launcher, installed)
        self.sandbox.run(env={"NELO_UPDATE_BASE": self.server.base_url}, program=installed,
                         wait=False)
        starts = self.sandbox.wait_for_standin_starts(1, timeout=60)
        self.assertEqual(len(starts), 1, "the offline countdown starts the installed version")
        self.assertIn("\\versions\\1.0\\", starts[0]["exe"])
        self.assert_first_installed()

    def test_no_rollback_to_an_older_signature(self):
        self.install_signed_first(comment="timestamp:2000\tfile:manifest.json")
        publish(self.server_root, "0.9", FILES_2, options=UNSIGNED)
        self.sign_with_tool(comment="timestamp:1999\tfile:manifest.json")
        self.assertEqual(self.stage()[-1], "error lista antiga")
        self.assert_first_installed()
        # Re-signed, the same release is newer and goes in; an equal time is fine too.
        self.sign_with_tool(comment="timestamp:2000\tfile:manifest.json")
        self.assertEqual(self.stage()[-1], "staged app 0.9")

    def publish_signed(self, version, files):
        """nelo-publish --sign with the second key; gives the completed process."""
        source = self.sandbox.dir / f"release-{version}"
        (source / "res").mkdir(parents=True, exist_ok=True)
        shutil.copy(STANDIN, source / "Nelo.exe")
        for path, content in files.items():
            (source / path).write_bytes(content)
        return subprocess.run([str(PUBLISHER), "--version", version, "--from", str(source),
                               "--to", str(self.server_root), "--quality", "5",
                               "--sign", str(KEYS / "second.key")],
                              stdin=subprocess.DEVNULL, capture_output=True)

    def test_an_expired_signature_is_refused_until_it_is_renewed(self):
        self.install_signed_first()
        publish(self.server_root, "2.0", FILES_2, options=UNSIGNED)
        now = int(time.time())
        # A replay: signed long ago, with an expiry that has passed (beyond the allowed skew).
        self.sign_with_tool(comment=f"timestamp:{now - 86400}\tfile:manifest.json\t"
                                    f"expires:{now - 3600}")
        self.assertEqual(self.stage()[-1], "error lista vencida")
        self.assert_first_installed()
        # The scheduled renewal signs the same manifest anew, good for thirty days.
        renewed = subprocess.run([str(PUBLISHER), "resign", str(self.server_root), "--key",
                                  str(KEYS / "second.key"), "--expires", "30d"],
                                 stdin=subprocess.DEVNULL, capture_output=True)
        self.assertEqual(renewed.returncode, 0, renewed.stderr)
        self.assertIn(b"vence em", renewed.stdout)
        verified = minisign("-V", "-p", str(KEYS / "second.pub"), "-m", "manifest.json",
                            cwd=self.app)
        self.assertEqual(verified.returncode, 0, verified.stderr)
        self.assertEqual(self.stage()[-1], "staged app 2.0")

    def test_a_manifest_that_cannot_be_written_keeps_the_served_pair(self):
        self.assertEqual(self.publish_signed("1.0", FILES_1).returncode, 0)
        manifest = self.app / "manifest.json"
        before = (manifest.read_bytes(), (self.app / "manifest.json.minisig").read_bytes())
        # An immutable manifest: no rename may replace it (root on ext4, as in CI).
        if subprocess.run(["chattr", "+i", str(manifest)], capture_output=True).returncode != 0:
            self.skipTest("chattr +i is not available here")
        try:
            failed = self.publish_signed("2.0", FILES_2)
        finally:
            subprocess.run(["chattr", "-i", str(manifest)], capture_output=True)
        self.assertEqual(failed.returncode, 1, failed.stdout)
        self.assertEqual((manifest.read_bytes(), (self.app / "manifest.json.minisig").read_bytes()),
                         before)
        verified = minisign("-V", "-p", str(KEYS / "second.pub"), "-m", "manifest.json",
                            cwd=self.app)
        self.assertEqual(verified.returncode, 0, verified.stderr)
        self.assertEqual(sorted(p.name for p in self.app.iterdir()),
                         ["files", "manifest.json", "manifest.json.minisig", "packs"])
        self.assertFalse([p.name for p in (self.app / "packs").iterdir() if len(p.name) != 64],
                         "no temporary pack is left")

    def test_a_version_installed_before_keys_accepts_any_verified_release(self):
        publish(self.server_root, "1.0", FILES_1, options=UNSIGNED)
        code, lines = self.sandbox.stage(self.server.base_url)  # the launcher without keys
        self.assertEqual(lines[-1], "staged app 1.0")
        publish(self.server_root, "2.0", FILES_2, options=UNSIGNED)
        self.sign_with_tool(comment="timestamp:5\tfile:manifest.json")
        self.assertEqual(self.stage()[-1], "staged app 2.0")


class UnsignedLauncherTest(unittest.TestCase):
    def test_a_launcher_without_keys_never_asks_for_a_signature(self):
        sandbox = Sandbox()
        self.addCleanup(sandbox.close)
        root = pathlib.Path(tempfile.mkdtemp(prefix="nelo-server-"))
        self.addCleanup(shutil.rmtree, root, True)
        publish(root, "1.0", FILES_1, options=UNSIGNED)
        with UpdateServer(root) as server:
            code, lines = sandbox.stage(server.base_url)
            self.assertEqual(lines[-1], "staged app 1.0")
            self.assertFalse([p for p, _ in server.requests if p.endswith(".minisig")])
        self.assertFalse((sandbox.root / "versions" / "1.0" / ".manifest.json.minisig").exists())


if __name__ == "__main__":
    unittest.main()
