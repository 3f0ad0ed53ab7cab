"""Patches inside files: an update fetches the patch from the installed content instead of the
whole object; a launcher without that content fetches the object, as before."""
import hashlib
import json
import random

from harness import ServedSandboxTest, Sandbox, publish


def noise(size, seed):
    return random.Random(seed).randbytes(size)


PACK_1 = noise(2_000_000, 1)
PACK_2 = PACK_1[:1_000_000] + b"changed!" * 20 + PACK_1[1_000_160:]
FILES_1 = {"res/pack.bin": PACK_1, "res/same.txt": b"same " * 1000}
FILES_2 = {"res/pack.bin": PACK_2, "res/same.txt": b"same " * 1000}


def digest(content):
    return hashlib.sha256(content).hexdigest()


class PatchTest(ServedSandboxTest):
    def stage(self, sandbox=None):
        code, lines = (sandbox or self.sandbox).stage(self.server.base_url)
        self.assertEqual(code, 0)
        return lines

    def test_an_update_fetches_the_patch_and_not_the_object(self):
        publish(self.server_root, "1.0", FILES_1, quality=1)
        self.assertEqual(self.stage()[-1], "staged app 1.0")
        publish(self.server_root, "2.0", FILES_2, quality=1)
        manifest = json.loads((self.server_root / "app" / "manifest.json").read_bytes())
        pack = next(e for e in manifest["files"] if e["path"] == "res/pack.bin")
        self.assertEqual([p["from"] for p in pack["patches"]], [digest(PACK_1)])
        self.server.clear_requests()
        lines = self.stage()
        self.assertEqual(lines[-1], "staged app 2.0")
        self.assertTrue(self.sandbox.check_version_whole("2.0"))
        requested = [path for path, _ in self.server.requests]
        self.assertIn(f"/app/patches/{digest(PACK_1)}-{digest(PACK_2)}", requested)
        self.assertNotIn(f"/app/files/{digest(PACK_2)}", requested)
        self.assertLess(self.server.body_bytes_sent, 100_000, "the object is 2 MB")
        totals = [int(line.split()[2]) for line in lines if line.startswith("progress ")]
        self.assertEqual(totals[0], pack["patches"][0]["zsize"])

    def test_a_launcher_without_the_older_content_fetches_the_object(self):
        publish(self.server_root, "1.0", FILES_1, quality=1)
        publish(self.server_root, "2.0", FILES_2, quality=1)
        fresh = Sandbox()
        self.addCleanup(fresh.close)
        self.assertEqual(self.stage(fresh)[-1], "staged app 2.0")
        self.assertTrue(fresh.check_version_whole("2.0"))
        requested = [path for path, _ in self.server.requests]
        self.assertIn(f"/app/files/{digest(PACK_2)}", requested)
        self.assertFalse([path for path in requested if path.startswith("/app/patches/")])
