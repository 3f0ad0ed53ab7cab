"""The stage mode against a real server: a release published by nelo-publish, served on
127.0.0.1, staged by Nelo-Setup.exe --stage under Wine."""
import hashlib
import json
import os
import random
import shutil
import subprocess
import tempfile
import threading
import time
import unittest
import pathlib

from harness import ServedSandboxTest, RUNNER, Sandbox, publish, windows_path
from update_server import UpdateServer


def noise(size, seed):
    generator = random.Random(seed)
    return bytes(generator.getrandbits(8) for _ in range(size))


FILES_1 = {
    "res/big.bin": noise(300_000, 1),
    "res/text.txt": b"hello " * 20000,
    "res/empty.dat": b"",
    "resources/nelo-media.exe": noise(5000, 2),
    "resources/nelo-audio.exe": noise(5000, 3),
}


def object_requests(server):
    return [path for path, _ in server.requests if path.startswith("/app/files/")]


class StageModeTest(ServedSandboxTest):
    def publish(self, version, files):
        return publish(self.server_root, version, files)

    def stage(self, **kwargs):
        code, lines = self.sandbox.stage(self.server.base_url, **kwargs)
        self.assertEqual(code, 0)
        return lines

    def object_path(self, content):
        return "/app/files/" + hashlib.sha256(content).hexdigest()

    def test_a_first_staging_builds_the_version_tree(self):
        served = self.publish("1.0", FILES_1)
        lines = self.stage()
        self.assertTrue(lines[0].startswith("progress 0 "), lines)
        self.assertTrue(all(line.startswith("progress ") for line in lines[:-1]), lines)
        self.assertEqual(lines[-1], "staged app 1.0")
        self.assertEqual(self.sandbox.current(), "1.0")
        self.assertEqual(self.sandbox.versions(), ["1.0"])
        folder = self.sandbox.root / "versions" / "1.0"
        self.assertEqual((folder / ".manifest.json").read_bytes(), served)
        for path, content in FILES_1.items():
            self.assertEqual((folder / path).read_bytes(), content, path)
        self.assertTrue(self.sandbox.check_version_whole("1.0"))
        self.assertFalse((self.sandbox.root / "current.tmp").exists())
        agents = {agent for _, agent in self.server.requests}
        self.assertEqual(agents, {"NeloLauncher/1"})

    def test_an_update_downloads_only_what_changed_and_links_the_rest(self):
        self.publish("1.0", FILES_1)
        self.assertEqual(self.stage()[-1], "staged app 1.0")
        changed = dict(FILES_1, **{"res/text.txt": b"changed text"})
        self.publish("1.1", changed)
        self.server.clear_requests()
        self.assertEqual(self.stage()[-1], "staged app 1.1")
        self.assertEqual(object_requests(self.server), [self.object_path(b"changed text")])
        old = self.sandbox.root / "versions" / "1.0"
        new = self.sandbox.root / "versions" / "1.1"
        for path in ["Nelo.exe", "res/big.bin", "resources/nelo-media.exe"]:
            self.assertEqual(os.stat(old / path).st_ino, os.stat(new / path).st_ino, path)
        self.assertEqual(self.sandbox.versions(), ["1.0", "1.1"])
        # A third release prunes the oldest.
        self.publish("1.2", dict(changed, **{"res/new.bin": b"new"}))
        self.assertEqual(self.stage()[-1], "staged app 1.2")
        self.assertEqual(self.sandbox.versions(), ["1.1", "1.2"])
        self.assertTrue(self.sandbox.check_version_whole("1.2"))

    def test_a_release_of_media_programs_only_is_a_module_release(self):
        self.publish("1.0", FILES_1)
        self.stage()
        self.publish("1.1", dict(FILES_1, **{"resources/nelo-audio.exe": b"new audio"}))
        self.assertEqual(self.stage()[-1], "staged module 1.1")

    def test_the_current_release_prints_none_only(self):
        self.publish("1.0", FILES_1)
        self.stage()
        self.server.clear_requests()
        self.assertEqual(self.stage(), ["none"])
        self.assertEqual([path for path, _ in self.server.requests], ["/app/manifest.json"])

    def test_failures_are_reported_as_one_error_line(self):
        self.publish("1.0", FILES_1)
        big = self.object_path(FILES_1["res/big.bin"])
        other = publish_other_object(len(FILES_1["res/big.bin"]))
        cases = [
            ("404", dict(status=404), "error o servidor respondeu 404"),
            ("dropped", dict(cut_after=70000), "error a conexão caiu"),
            ("not brotli", dict(body=FILES_1["res/big.bin"]), "error res/big.bin veio estragado"),
            ("other content", dict(body=other), "error res/big.bin não confere com a lista"),
        ]
        for name, fault, expected in cases:
            with self.subTest(name):
                self.server.clear_faults()
                self.server.set_fault(big, **fault)
                lines = self.stage()
                self.assertEqual(lines[-1], expected)
                self.assertTrue(all(l.startswith("progress ") for l in lines[:-1]), lines)
                self.assertIsNone(self.sandbox.current())
                self.assertTrue((self.sandbox.root / "versions" / "1.0.partial").exists())
        self.server.clear_faults()
        for status, expected in [(503, "error o servidor respondeu 503"),
                                 (200, "error lista inválida")]:
            self.server.set_fault("/app/manifest.json", status=status, body=b"<html/>")
            self.assertEqual(self.stage(), [expected])
        self.server.clear_faults()
        # The leftover staging folder of the failed attempts is removed first.
        stale = self.sandbox.root / "versions" / "1.0.partial" / "stale.txt"
        stale.write_bytes(b"left over")
        self.assertEqual(self.stage()[-1], "staged app 1.0")
        self.assertFalse((self.sandbox.root / "versions" / "1.0" / "stale.txt").exists())
        self.assertEqual(self.sandbox.versions(), ["1.0"])

    def test_an_unreachable_server_and_a_bad_address(self):
        code, lines = self.sandbox.stage("http://127.0.0.1:9/")
        self.assertEqual((code, lines), (0, ["error sem internet"]))
        code, lines = self.sandbox.stage("ftp://127.0.0.1/")
        self.assertEqual((code, lines), (0, ["error endereço"]))

    def test_a_folder_that_cannot_be_created(self):
        self.publish("1.0", FILES_1)
        self.sandbox.root.mkdir(parents=True)
        (self.sandbox.root / "versions").write_bytes(b"a file where the folder should be")
        lines = self.stage()
        self.assertTrue(lines[-1].startswith("error pasta: "), lines)
        self.assertIn("(os error ", lines[-1])

    def test_a_path_listed_twice_never_writes_into_the_installed_version(self):
        self.publish("1.0", FILES_1)
        self.stage()
        installed = self.sandbox.root / "versions" / "1.0" / "res" / "big.bin"
        # The next release lists the same file twice in two letter cases (one name on Windows):
        # the first is reused by a link to the installed file, the second is downloaded. Our
        # publisher refuses such a release, so the manifest is edited by hand.
        self.publish("1.1", dict(FILES_1, **{"res/other.bin": b"other content"}))
        manifest_path = self.server_root / "app" / "manifest.json"
        manifest = json.loads(manifest_path.read_bytes())
        other = next(e for e in manifest["files"] if e["path"] == "res/other.bin")
        manifest["files"].remove(other)
        other["path"] = "res/BIG.bin"
        manifest["files"].append(other)
        manifest_path.write_text(json.dumps(manifest), "utf-8")
        lines = self.stage()
        self.assertTrue(lines[-1].startswith("staged app 1.1") or lines[-1].startswith("error"),
                        lines)
        self.assertEqual(installed.read_bytes(), FILES_1["res/big.bin"])
        self.assertTrue(self.sandbox.check_version_whole("1.0"))

    def test_a_label_differing_only_in_case_keeps_the_installed_version(self):
        self.publish("beta", FILES_1)
        self.assertEqual(self.stage()[-1], "staged app beta")
        self.publish("Beta", dict(FILES_1, **{"res/text.txt": b"new"}))
        lines = self.stage()
        self.assertTrue(lines[-1].startswith("error trocar a pasta: "), lines)
        self.assertEqual(self.sandbox.current(), "beta")
        self.assertTrue(self.sandbox.check_version_whole("beta"))

    def test_a_listed_size_the_content_does_not_have_is_a_damaged_file(self):
        # Nothing is reserved at the listed size any more: an absurd one is simply not met.
        self.publish("1.0", FILES_1)
        manifest = (self.server_root / "app" / "manifest.json").read_text("utf-8")
        size = f'"size": {len(FILES_1["res/big.bin"])}'
        self.assertIn(size, manifest)
        for listed in ("18446744073709551615", str(len(FILES_1["res/big.bin"]) - 1)):
            with self.subTest(listed):
                (self.server_root / "app" / "manifest.json").write_text(
                    manifest.replace(size, f'"size": {listed}'), "utf-8")
                self.assertEqual(self.stage()[-1], "error res/big.bin veio estragado")
                self.assertIsNone(self.sandbox.current())

    def test_two_stagers_at_once_download_once(self):
        self.publish("1.0", FILES_1)
        big = self.object_path(FILES_1["res/big.bin"])
        # The first download waits until both stagers have read the manifest, so that neither
        # can find the release installed already, however slowly the other one starts.
        both_asked = threading.Event()
        self.server.set_fault(big, hold=both_asked)
        results = [None, None]

        def run(index):
            results[index] = self.sandbox.stage(self.server.base_url)

        threads = [threading.Thread(target=run, args=(i,)) for i in range(2)]
        for thread in threads:
            thread.start()
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            asked = [p for p, _ in self.server.requests if p == "/app/manifest.json"]
            if len(asked) >= 2:
                break
            time.sleep(0.02)
        both_asked.set()
        for thread in threads:
            thread.join()
        for code, lines in results:
            self.assertEqual(code, 0)
            self.assertEqual(lines[-1], "staged app 1.0", lines)
        objects = object_requests(self.server)
        self.assertEqual(len(objects), len(set(objects)), "every object is fetched once")
        downloaders = [lines for _, lines in results if any(l.startswith("progress") for l in lines)]
        self.assertEqual(len(downloaders), 1, results)

    def test_a_staging_killed_anywhere_leaves_a_whole_version_and_can_be_redone(self):
        self.publish("1.0", FILES_1)
        self.assertEqual(self.stage()[-1], "staged app 1.0")
        changed = dict(FILES_1, **{"res/big.bin": noise(300_000, 9), "res/more.bin": noise(200_000, 8)})
        self.publish("1.1", changed)
        for path in ["res/big.bin", "res/more.bin"]:
            self.server.set_fault(self.object_path(changed[path]), trickle=(20000, 0.05))
        # Kills 100 ms apart from the start on, until one has landed after the switch (the
        # staging then ran to its end): every point before it is somewhere in the staging.
        killed_at = []
        delay_ms = 100
        while "1.1" not in killed_at and delay_ms <= 60000:
            self.sandbox.run("--stage", env={"NELO_UPDATE_BASE": self.server.base_url},
                             timeout=delay_ms / 1000)
            current = self.sandbox.current()
            self.assertIn(current, ("1.0", "1.1"), delay_ms)
            self.assertTrue(self.sandbox.check_version_whole(current), (delay_ms, current))
            killed_at.append(current)
            if current == "1.1":
                # Start over from the old version for the next point.
                (self.sandbox.root / "current").write_bytes(b"1.0")
            delay_ms += 100
        self.assertIn("1.0", killed_at, "no kill landed before the switch")
        self.assertIn("1.1", killed_at, "no run got past the switch")
        (self.sandbox.root / "current").write_bytes(b"1.0")
        self.assertEqual(self.stage()[-1], "staged app 1.1")
        self.assertTrue(self.sandbox.check_version_whole("1.1"))


def publish_other_object(size):
    """A valid Brotli stream of `size` bytes of content other than any file's."""
    scratch = pathlib.Path(tempfile.mkdtemp(prefix="nelo-other-"))
    try:
        content = noise(size, 99)
        publish(scratch, "9", {"x.bin": content})
        return (scratch / "app" / "files" / hashlib.sha256(content).hexdigest()).read_bytes()
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()
