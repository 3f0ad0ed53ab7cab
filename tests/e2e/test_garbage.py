"""Garbage collection of a server tree: after `nelo-publish gc --keep 2 --delete` the objects
only older releases used are gone, and each kept release still installs whole."""
import json
import os
import shutil
import subprocess
import time

from harness import PUBLISHER, Sandbox, ServedSandboxTest, publish


def release_files(number):
    pack = bytearray(b"pack " * 20000)
    pack[number * 1000:number * 1000 + 4] = b"%04d" % number
    return {"shared.dll": b"the same in every release",
            "res/pack.bin": bytes(pack),
            f"res/only-{number}.txt": f"release {number} alone\n".encode() * 50}


class GarbageTest(ServedSandboxTest):
    def served_files(self):
        app = self.server_root / "app"
        return {str(p.relative_to(self.server_root)) for folder in ("files", "patches")
                if (app / folder).exists() for p in (app / folder).iterdir()}

    def needed_by(self, label):
        manifest = json.loads((self.server_root / "releases" / f"{label}.json").read_bytes())
        paths = set()
        for entry in manifest["files"]:
            paths.add("app/files/" + entry["sha256"])
            for patch in entry.get("patches", []):
                paths.add(f"app/patches/{patch['from']}-{entry['sha256']}")
        return paths

    def test_keeping_two_releases_removes_the_rest_and_both_still_install_whole(self):
        for number in range(1, 6):
            publish(self.server_root, f"{number}.0", release_files(number))
        month_ago = time.time() - 30 * 86400
        # All five were published a month ago: the files' grace counts from then.
        for path in [*self.served_files(), *(self.server_root / "releases").glob("*.json")]:
            os.utime(self.server_root / path, (month_ago, month_ago))
        everything = self.served_files()
        kept = self.needed_by("4.0") | self.needed_by("5.0")
        self.assertLess(len(kept), len(everything))

        result = subprocess.run([str(PUBLISHER), "gc", str(self.server_root), "--keep", "2",
                                 "--delete"], capture_output=True, text=True, check=True)
        self.assertIn("versões mantidas: 5.0, 4.0", result.stdout)
        self.assertIn(f"removidos: {len(everything - kept)}", result.stdout)
        self.assertEqual(self.served_files(), kept)

        # Each kept release, served again, installs whole from what is left: first 4.0 from
        # nothing, then 5.0 over it (by its patches), then 5.0 from nothing.
        for label in ("4.0", "5.0"):
            shutil.copy(self.server_root / "releases" / f"{label}.json",
                        self.server_root / "app" / "manifest.json")
            code, lines = self.sandbox.stage(self.server.base_url)
            self.assertEqual((code, lines[-1]), (0, f"staged app {label}"))
            self.assertTrue(self.sandbox.check_version_whole(label))
        fresh = Sandbox()
        self.addCleanup(fresh.close)
        code, lines = fresh.stage(self.server.base_url)
        self.assertEqual((code, lines[-1]), (0, "staged app 5.0"))
        self.assertTrue(fresh.check_version_whole("5.0"))
