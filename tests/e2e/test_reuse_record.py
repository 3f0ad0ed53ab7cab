"""What the version store trusts, against a real server and Wine: a file of the current version
is reused only while it is as the launcher left it, a version folder holds exactly its release,
a whole folder is never fetched again, and kept bytes that cannot be continued never block."""
import hashlib
import json
import os
import random
import shutil
import subprocess

from harness import ServedSandboxTest, processes_running_below, publish, wait_for


def noise(size, seed):
    generator = random.Random(seed)
    return generator.randbytes(size)


def words_and_noise(size, seed):
    """Half words, half random bytes: each quality of Brotli makes another length of it."""
    generator = random.Random(seed)
    words = [b"nelo ", b"launcher ", b"update ", b"release ", b"manifest ", b"object "]
    out = bytearray()
    while len(out) < size:
        out += generator.choice(words) if generator.random() < 0.5 else generator.randbytes(1)
    return bytes(out)


FILES_1 = {
    "res/kept.bin": noise(200_000, 1),
    "res/changed.txt": b"first " * 1000,
}
FILES_2 = dict(FILES_1, **{"res/changed.txt": b"second " * 1000})


def object_requests(server):
    return [path for path, _ in server.requests if path.startswith("/app/files/")]


def object_path(content):
    return "/app/files/" + hashlib.sha256(content).hexdigest()


class ReuseRecordTest(ServedSandboxTest):
    def stage(self):
        code, lines = self.sandbox.stage(self.server.base_url)
        self.assertEqual(code, 0)
        return lines

    def install_first(self):
        publish(self.server_root, "1.0", FILES_1)
        self.assertEqual(self.stage()[-1], "staged app 1.0")
        publish(self.server_root, "2.0", FILES_2)
        self.server.clear_requests()

    def test_a_damaged_file_of_the_current_version_is_fetched_not_linked(self):
        kept = FILES_1["res/kept.bin"]
        damages = [("cut short", kept[:-1000]),
                   ("rewritten with other bytes of the same length", bytes(len(kept)))]
        for name, damaged in damages:
            with self.subTest(name):
                self.setUp()
                self.install_first()
                (self.sandbox.root / "versions" / "1.0" / "res" / "kept.bin").write_bytes(damaged)
                self.assertEqual(self.stage()[-1], "staged app 2.0")
                self.assertTrue(self.sandbox.check_version_whole("2.0"), name)
                self.assertIn(object_path(kept), object_requests(self.server), name)

    def test_an_unchanged_file_is_linked_without_a_request(self):
        self.install_first()
        self.assertEqual(self.stage()[-1], "staged app 2.0")
        self.assertEqual(object_requests(self.server), [object_path(FILES_2["res/changed.txt"])])
        record = (self.sandbox.root / "versions" / "2.0" / ".manifest.files").read_text("utf-8")
        self.assertTrue(record.startswith("nelo-files 1\n"), record)
        self.assertEqual(len(record.splitlines()), 1 + 3, "one line a file")

    def test_a_leftover_staging_folder_loses_what_the_release_does_not_list(self):
        publish(self.server_root, "1.0", FILES_1)
        partial = self.sandbox.root / "versions" / "1.0.partial"
        (partial / "res" / "junk").mkdir(parents=True)
        (partial / "evil.dll").write_bytes(b"MZ not ours")
        (partial / "res" / "junk" / "more.dll").write_bytes(b"MZ")
        (partial / "res" / "kept.bin").write_bytes(FILES_1["res/kept.bin"])  # a good leftover
        self.assertEqual(self.stage()[-1], "staged app 1.0")
        folder = self.sandbox.root / "versions" / "1.0"
        self.assertFalse((folder / "evil.dll").exists())
        self.assertFalse((folder / "res" / "junk").exists())
        self.assertTrue(self.sandbox.check_version_whole("1.0"))
        self.assertNotIn(object_path(FILES_1["res/kept.bin"]), object_requests(self.server))

    def test_a_whole_folder_left_before_the_switch_is_made_current_without_fetching(self):
        self.install_first()
        self.assertEqual(self.stage()[-1], "staged app 2.0")
        # What a kill between the folder's rename and the pointer's switch leaves.
        (self.sandbox.root / "current").write_bytes(b"1.0")
        self.server.clear_requests()
        self.assertEqual(self.stage()[-1], "staged app 2.0")
        self.assertEqual(self.sandbox.current(), "2.0")
        self.assertEqual(object_requests(self.server), [])
        # A folder that is not whole any more is taken over file by file instead.
        (self.sandbox.root / "current").write_bytes(b"1.0")
        changed = self.sandbox.root / "versions" / "2.0" / "res" / "changed.txt"
        changed.write_bytes(bytes(len(FILES_2["res/changed.txt"])))
        self.assertEqual(self.stage()[-1], "staged app 2.0")
        self.assertTrue(self.sandbox.check_version_whole("2.0"))
        self.assertEqual(object_requests(self.server), [object_path(FILES_2["res/changed.txt"])])

    def test_kept_bytes_longer_than_a_rebuilt_object_are_dropped_within_the_attempt(self):
        # Text that compresses a little better at a higher quality: the object served after
        # the root is rebuilt is shorter than the bytes kept of the first one.
        content = words_and_noise(4_000_000, 7)
        publish(self.server_root, "1.0", {"res/large.bin": content}, quality=1)
        first = self.zsize("res/large.bin")
        rebuilt_root = self.server_root.parent / (self.server_root.name + "-rebuilt")
        self.addCleanup(shutil.rmtree, rebuilt_root, True)
        publish(rebuilt_root, "1.0", {"res/large.bin": content}, quality=9)
        shutil.rmtree(rebuilt_root / "releases")
        second = json.loads((rebuilt_root / "app" / "manifest.json").read_bytes())
        rebuilt = next(f["zsize"] for f in second["files"] if f["path"] == "res/large.bin")
        self.assertGreater(first, rebuilt + 20_000)
        self.server.set_fault(object_path(content), cut_after=(first + rebuilt) // 2, times=1)
        self.assertEqual(self.stage()[-1], "error a conexão caiu")
        kept = self.sandbox.root / "downloads" / hashlib.sha256(content).hexdigest()
        self.assertGreater(kept.stat().st_size, rebuilt)

        shutil.rmtree(self.server_root / "app")
        shutil.copytree(rebuilt_root / "app", self.server_root / "app")
        self.assertEqual(self.stage()[-1], "staged app 1.0")
        self.assertTrue(self.sandbox.check_version_whole("1.0"))

    def zsize(self, path):
        manifest = json.loads((self.server_root / "app" / "manifest.json").read_bytes())
        return next(f["zsize"] for f in manifest["files"] if f["path"] == path)

    def test_what_other_releases_left_goes_even_when_the_staging_fails(self):
        publish(self.server_root, "1.0", FILES_1)
        downloads = self.sandbox.root / "downloads"
        downloads.mkdir(parents=True)
        other = downloads / ("0" * 64)
        other.write_bytes(b"of a release nobody stages any more")
        stale = self.sandbox.root / "versions" / "0.9.partial"
        stale.mkdir(parents=True)
        (stale / "a.bin").write_bytes(b"abandoned")
        self.server.set_fault(object_path(FILES_1["res/kept.bin"]), status=503)
        self.assertEqual(self.stage()[-1], "error o servidor respondeu 503")
        self.assertFalse(stale.exists())
        self.assertFalse(other.exists())
        self.assertTrue((self.sandbox.root / "versions" / "1.0.partial").exists(),
                        "this release's own leftovers stay for the next attempt")


class RecordedStartTest(ServedSandboxTest):
    """The hidden start checks a version against its record, without hashing anything."""

    def hidden_start(self):
        launcher = self.sandbox.root / "Nelo.exe"
        if not launcher.exists():
            launcher.write_bytes(self.sandbox.launcher_copy().read_bytes())
        self.sandbox.run("--hidden", program=launcher, env={"NELO_UPDATE_BASE":
                                                              "http://127.0.0.1:9/"})

    def test_a_file_rewritten_at_its_length_makes_the_version_damaged(self):
        folder = self.sandbox.install_version("1.0", files=FILES_1, record=True)
        self.hidden_start()
        self.assertEqual(len(self.sandbox.wait_for_standin_starts(1, timeout=30)), 1,
                         "as recorded: intact, started without the network")
        kept = folder / "res" / "kept.bin"
        kept.write_bytes(bytes(len(kept.read_bytes())))
        self.hidden_start()
        # Whatever the launcher started records its start before nothing runs from the store.
        self.assertTrue(wait_for(lambda: not processes_running_below(self.sandbox.root), 30))
        self.assertEqual(len(self.sandbox.standin_starts()), 1,
                         "damaged, and no server to repair it from: nothing to start")


class FullDiskTest(ServedSandboxTest):
    """LOCALAPPDATA on a small tmpfs of its own, filled while a kept body is continued."""

    def setUp(self):
        super().setUp()
        if os.geteuid() != 0 or not shutil.which("mount"):
            self.skipTest("mounting a tmpfs needs root")
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=16m", "tmpfs",
                                  str(self.sandbox.local_app_data)], capture_output=True)
        if mounted.returncode != 0:
            self.skipTest("no tmpfs: " + mounted.stderr.decode(errors="replace"))
        self.addCleanup(subprocess.run, ["umount", "-l", str(self.sandbox.local_app_data)])

    def test_a_full_disk_keeps_the_kept_bytes_and_says_so(self):
        large = noise(3_000_000, 9)
        publish(self.server_root, "1.0", {"res/large.bin": large}, quality=1)
        self.server.set_fault(object_path(large), cut_after=1_500_000, times=1)
        _, lines = self.sandbox.stage(self.server.base_url)
        self.assertEqual(lines[-1], "error a conexão caiu")
        kept = self.sandbox.root / "downloads" / hashlib.sha256(large).hexdigest()
        self.assertTrue(kept.exists())
        kept_size = kept.stat().st_size
        self.assertGreater(kept_size, 1_000_000)

        # Not even room for the kept bytes once more: dropping them and starting again from
        # nothing would end with fewer kept than now.
        free = os.statvfs(self.sandbox.local_app_data)
        filler = self.sandbox.local_app_data / "filler"
        filler.write_bytes(bytes(free.f_bavail * free.f_frsize - 500_000))
        _, lines = self.sandbox.stage(self.server.base_url)
        self.assertTrue(lines[-1].startswith("error gravar res/large.bin: "), lines)
        self.assertIn("(os error 112)", lines[-1])
        self.assertTrue(kept.exists(), "a full disk is no fault of the kept bytes")
        self.assertGreaterEqual(kept.stat().st_size, kept_size)

        filler.unlink()
        _, lines = self.sandbox.stage(self.server.base_url)
        self.assertEqual(lines[-1], "staged app 1.0")
        self.assertTrue(self.sandbox.check_version_whole("1.0"))
