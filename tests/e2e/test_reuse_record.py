"""What the version store trusts, against a real server and Wine: a file of the current version
is reused only while it is as the launcher left it, a version folder holds exactly its release,
a whole folder is never fetched again, and kept bytes that cannot be continued never block."""
import hashlib
import random

from harness import ServedSandboxTest, publish


def noise(size, seed):
    generator = random.Random(seed)
    return generator.randbytes(size)


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

    def test_kept_bytes_that_cannot_be_continued_are_dropped_within_the_attempt(self):
        large = noise(1_500_000, 7)  # incompressible: a body that is kept as it arrives
        publish(self.server_root, "1.0", {"res/large.bin": large}, quality=1)
        downloads = self.sandbox.root / "downloads"
        downloads.mkdir(parents=True)
        kept = downloads / hashlib.sha256(large).hexdigest()
        kept.write_bytes(noise(1_600_000, 8))  # longer than the object
        other = downloads / ("0" * 64)
        other.write_bytes(b"of a release nobody stages any more")
        stale = self.sandbox.root / "versions" / "0.9.partial"
        stale.mkdir(parents=True)
        (stale / "a.bin").write_bytes(b"abandoned")
        self.assertEqual(self.stage()[-1], "staged app 1.0")
        self.assertTrue(self.sandbox.check_version_whole("1.0"))
        self.assertFalse(stale.exists())
        self.assertFalse(other.exists())
