"""Packs end to end: a first install from packs is byte for byte the install from objects, in a
request per many files; every kind of trouble with a pack ends in the objects; a release
published with --packs off is installed from its objects alone."""
import hashlib
import json
import random

from harness import ServedSandboxTest, Sandbox, publish
from update_server import UpdateServer


def small_files(count, seed=1):
    """`count` small files in a few folders, most of them compressible, some not."""
    generator = random.Random(seed)
    files = {}
    for i in range(count):
        if i % 5 == 0:
            content = generator.randbytes(2000 + i)
        else:
            content = (b"line %d of file %d\n" % (i, i)) * (10 + i % 40)
        files[f"res/f{i % 7}/file{i:03d}.txt"] = content
    return files


def requested(server, folder):
    return [path for path, _ in server.requests if path.startswith(folder)]


def tree_of(folder):
    """Every file below a version folder but the launcher's own records, with its bytes."""
    return {str(path.relative_to(folder)): path.read_bytes()
            for path in sorted(folder.rglob("*"))
            if path.is_file() and not path.name.startswith(".manifest")}


class PackTest(ServedSandboxTest):
    FILES = small_files(150)

    def stage(self, sandbox, base_url):
        code, lines = sandbox.stage(base_url)
        self.assertEqual(code, 0)
        self.assertEqual(lines[-1], "staged app 1.0", lines[-3:])
        self.assertTrue(sandbox.check_version_whole("1.0"))
        return lines

    def manifest(self):
        return json.loads((self.server_root / "app" / "manifest.json").read_bytes())

    def test_a_first_install_from_packs_is_the_install_from_objects(self):
        publish(self.server_root, "1.0", self.FILES, packs=True)
        packs = self.manifest()["packs"]
        self.assertGreaterEqual(len(packs), 1)
        lines = self.stage(self.sandbox, self.server.base_url)
        self.assertEqual(requested(self.server, "/app/files/"), [])
        self.assertLessEqual(len(requested(self.server, "/app/packs/")), 8)
        self.assertTrue(all(byte_range for path, byte_range in self.server.ranges
                            if path.startswith("/app/packs/")), "packs only by ranges")
        # The progress counts the objects' bytes, as a staging from objects does.
        total = int(lines[0].split()[2])
        self.assertEqual(total, sum(entry["zsize"] for entry in self.manifest()["files"]))

        # The same release without packs, from another server: the same files, byte for byte.
        plain_root = self.server_root.parent / (self.server_root.name + "-plain")
        self.addCleanup(lambda: __import__("shutil").rmtree(plain_root, True))
        publish(plain_root, "1.0", self.FILES)
        self.assertNotIn("packs", json.loads((plain_root / "app" / "manifest.json").read_bytes()))
        plain = UpdateServer(plain_root).start()
        self.addCleanup(plain.stop)
        other = Sandbox()
        self.addCleanup(other.close)
        self.stage(other, plain.base_url)
        self.assertEqual(requested(plain, "/app/packs/"), [])
        self.assertEqual(len(requested(plain, "/app/files/")), len(self.FILES) + 1)
        version = "versions/1.0"
        self.assertEqual(tree_of(self.sandbox.root / version), tree_of(other.root / version))

    def test_every_trouble_with_a_pack_ends_in_the_objects(self):
        publish(self.server_root, "1.0", self.FILES, packs=True)
        pack = self.manifest()["packs"][0]
        path = "/app/packs/" + pack["name"]
        # Inside the first range the launcher asks for (it starts at the pack's start, and is
        # at least 256 KiB or the whole pack).
        middle = pack["size"] // 3
        cases = {
            "a server that ignores ranges": dict(ranges=False),
            "a pack answered 416": dict(fault=dict(status=416)),
            "a pack missing": dict(fault=dict(status=404)),
            "a pack body cut in the middle": dict(fault=dict(cut_after=middle + 10)),
            "a pack with a corrupt member": dict(corrupt=middle + 20),
        }
        original = (self.server_root / path.lstrip("/")).read_bytes()
        for name, case in cases.items():
            with self.subTest(name):
                (self.server_root / path.lstrip("/")).write_bytes(original)
                if "corrupt" in case:
                    damaged = bytearray(original)
                    damaged[case["corrupt"]] ^= 0x44
                    (self.server_root / path.lstrip("/")).write_bytes(bytes(damaged))
                server = UpdateServer(self.server_root, ranges=case.get("ranges", True)).start()
                try:
                    if "fault" in case:
                        server.set_fault(path, **case["fault"])
                    sandbox = Sandbox()
                    try:
                        self.stage(sandbox, server.base_url)
                        self.assertTrue(requested(server, "/app/files/"), "the objects were asked")
                        log = sandbox.root / "launcher.log"
                        self.assertIn("pacote " + pack["name"],
                                      log.read_text("utf-8", "replace") if log.exists() else "")
                    finally:
                        sandbox.close()
                finally:
                    server.stop()

    def test_an_update_fetches_the_changed_files_by_ranges_of_their_packs(self):
        publish(self.server_root, "1.0", self.FILES, packs=True)
        self.stage(self.sandbox, self.server.base_url)
        changed = dict(self.FILES)
        for i in (3, 77, 140):
            key = f"res/f{i % 7}/file{i:03d}.txt"
            changed[key] = changed[key] + b"changed\n"
        publish(self.server_root, "2.0", changed, packs=True)
        self.server.clear_requests()
        code, lines = self.sandbox.stage(self.server.base_url)
        self.assertEqual(lines[-1], "staged app 2.0")
        self.assertTrue(self.sandbox.check_version_whole("2.0"))
        self.assertEqual(requested(self.server, "/app/files/"), [])
        manifest = self.manifest()
        objects = {entry["sha256"]: entry["zsize"] for entry in manifest["files"]}
        changed_bytes = sum(objects[hashlib.sha256(changed[f"res/f{i % 7}/file{i:03d}.txt"])
                                    .hexdigest()] for i in (3, 77, 140))
        self.assertLessEqual(self.server.body_bytes_sent, changed_bytes + 2 * 64 * 1024)
