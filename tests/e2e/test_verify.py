"""nelo-publish verify against the test server, seeing what launchers see: an object moved
behind a redirect, which WinHTTP follows, is no fault; one that is not there at the end of it
is."""
import hashlib
import random
import shutil
import subprocess

from harness import PUBLISHER, ServedSandboxTest, publish

FILES = {"res/large.bin": random.Random(3).randbytes(1_200_000), "res/small.txt": b"small"}


class VerifyTest(ServedSandboxTest):
    def verify(self):
        result = subprocess.run([str(PUBLISHER), "verify", self.server.base_url],
                                capture_output=True, text=True, stdin=subprocess.DEVNULL)
        return result.returncode, result.stdout.splitlines()

    def test_objects_behind_a_redirect_are_followed_as_launchers_follow_them(self):
        publish(self.server_root, "1.0", FILES)
        moved = {}
        for content in FILES.values():
            sha256 = hashlib.sha256(content).hexdigest()
            mirror = self.server_root / "mirror" / "app" / "files"
            mirror.mkdir(parents=True, exist_ok=True)
            shutil.copy(self.server_root / "app" / "files" / sha256, mirror / sha256)
            moved[sha256] = f"{self.server.base_url}mirror/app/files/{sha256}"
            self.server.set_fault(f"/app/files/{sha256}", location=moved[sha256])
        code, lines = self.verify()
        self.assertEqual(code, 0, lines)
        self.assertRegex(lines[-1], r" 0 falhas, ")
        # The launcher follows them too.
        _, staged = self.sandbox.stage(self.server.base_url)
        self.assertEqual(staged[-1], "staged app 1.0")
        self.assertTrue(self.sandbox.check_version_whole("1.0"))

        # A redirect to nothing is the fault the launchers would meet.
        gone = next(iter(moved))
        (self.server_root / "mirror" / "app" / "files" / gone).unlink()
        code, lines = self.verify()
        self.assertEqual(code, 1, lines)
        faults = [line for line in lines if line.startswith("falha: ")]
        self.assertEqual(len(faults), 1, lines)
        self.assertIn(gone, faults[0])
