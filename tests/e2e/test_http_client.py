"""The launcher's WinHTTP client under Wine against the update server on 127.0.0.1, through the
fetch-probe fixture (one output line per request)."""
import hashlib
import pathlib
import shutil
import subprocess
import tempfile
import unittest

from harness import BUILD, RUNNER
from update_server import UpdateServer

PROBE = BUILD / "tests" / "fixtures" / "fetch-probe.exe"


def fetch(base, *paths):
    command = ["wine", str(RUNNER)]
    if base is not None:
        command += ["--set", f"NELO_UPDATE_BASE={base}"]
    else:
        command += ["--unset", "NELO_UPDATE_BASE"]
    command += ["--join-args", "--", str(PROBE).replace("/", "\\"), *paths]
    with tempfile.TemporaryFile() as out:
        subprocess.run(command, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL,
                       timeout=120, check=False)
        out.seek(0)
        return out.read().decode("utf-8").splitlines()


class HttpClientTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = pathlib.Path(tempfile.mkdtemp(prefix="nelo-http-"))
        (cls.root / "app").mkdir()
        cls.big = bytes(range(256)) * 1200  # 307,200 bytes: several 64 KiB reads
        (cls.root / "app" / "big.bin").write_bytes(cls.big)
        (cls.root / "app" / "empty").write_bytes(b"")
        (cls.root / "app" / "manifest.json").write_bytes(b"{}")
        (cls.root / "sub").mkdir()
        (cls.root / "sub" / "app").mkdir()
        (cls.root / "sub" / "app" / "manifest.json").write_bytes(b"sub slash")
        (cls.root / "subapp").mkdir()
        (cls.root / "subapp" / "manifest.json").write_bytes(b"sub no slash")
        cls.server = UpdateServer(cls.root).start()

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        shutil.rmtree(cls.root, ignore_errors=True)

    def setUp(self):
        self.server.clear_faults()
        self.server.clear_requests()

    def test_a_body_arrives_whole_in_chunks_of_at_most_64_kib(self):
        [line] = fetch(self.server.base_url, "app/big.bin")
        fields = line.split()
        self.assertEqual(fields[:3], ["ok", str(len(self.big)), hashlib.sha256(self.big).hexdigest()])
        chunks = dict(field.split("=") for field in fields[3:])
        self.assertEqual(int(chunks["sum"]), len(self.big))
        self.assertLessEqual(int(chunks["max"]), 65536)
        self.assertGreaterEqual(int(chunks["chunks"]), 5)

    def test_a_range_only_request_refuses_the_whole_object(self):
        piece = self.big[1000:1300]
        [line] = fetch(self.server.base_url, "app/big.bin@1000+300!")
        self.assertEqual(line.split()[:3], ["ok", "300", hashlib.sha256(piece).hexdigest()])
        self.assertEqual(self.server.ranges[-1], ("/app/big.bin", "bytes=1000-1299"))
        without = UpdateServer(self.root, ranges=False).start()
        try:
            refused, whole = fetch(without.base_url, "app/big.bin@1000+300!",
                                   "app/big.bin@1000+300")
        finally:
            without.stop()
        self.assertEqual(refused, "error resposta")
        rest = self.big[1000:]  # a server without ranges: the rest of the object, as before
        self.assertEqual(whole.split()[:3], ["ok", str(len(rest)), hashlib.sha256(rest).hexdigest()])

    def test_an_empty_body_is_no_error(self):
        self.assertEqual(fetch(self.server.base_url, "app/empty"),
                         [f"ok 0 {hashlib.sha256(b'').hexdigest()} chunks=0 max=0 sum=0"])

    def test_every_status_but_200_is_an_error(self):
        for status in (404, 204, 206, 304, 500):
            with self.subTest(status):
                self.server.set_fault("/app/big.bin", status=status)
                self.assertEqual(fetch(self.server.base_url, "app/big.bin"),
                                 [f"error o servidor respondeu {status}"])
        self.server.clear_faults()
        self.assertEqual(fetch(self.server.base_url, "app/missing"),
                         ["error o servidor respondeu 404"])

    def test_a_body_cut_short_drops_the_connection(self):
        # A clean close before the announced length is what a reset looks like when Wine's
        # server takes the reset from the socket first: both are a cut body, never a short "ok".
        for fault in ({"cut_after": 100000}, {"cut_clean_after": 100000}):
            with self.subTest(fault):
                self.server.set_fault("/app/big.bin", **fault)
                self.assertEqual(fetch(self.server.base_url, "app/big.bin"),
                                 ["error a conexão caiu"])

    def test_a_closed_port_means_no_internet(self):
        self.assertEqual(fetch("http://127.0.0.1:9/", "app/big.bin"), ["error sem internet"])

    def test_the_user_agent_and_the_requested_paths(self):
        lines = fetch(self.server.base_url + "sub/", "app/manifest.json")
        self.assertEqual(lines[0].split()[:2], ["ok", str(len(b"sub slash"))])
        lines = fetch(self.server.base_url + "sub", "app/manifest.json")
        self.assertEqual(lines[0].split()[:2], ["ok", str(len(b"sub no slash"))])
        self.assertEqual(self.server.requests, [("/sub/app/manifest.json", "NeloLauncher/1"),
                                                ("/subapp/manifest.json", "NeloLauncher/1")])

    def test_one_client_serves_several_requests_after_a_failure(self):
        self.server.set_fault("/app/empty", status=503, times=1)
        lines = fetch(self.server.base_url, "app/empty", "app/manifest.json")
        self.assertEqual(lines[0], "error o servidor respondeu 503")
        self.assertTrue(lines[1].startswith("ok 2 "), lines)

    def test_bad_addresses(self):
        self.assertEqual(fetch("", "x"), ["error endereço"])
        self.assertEqual(fetch("HTTP://127.0.0.1/", "x"), ["error endereço"])
        self.assertEqual(fetch("http://127.0.0.1:65536/", "x"), ["error porta"])
        self.assertEqual(fetch("http://[::1]:80/", "x"), ["error porta"])


if __name__ == "__main__":
    unittest.main()
