"""The end-to-end tests' update server on its own: plain Python clients, no Wine."""
import http.client
import os
import pathlib
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.error
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from update_server import UpdateServer  # noqa: E402

MANIFEST = b'{"version": "1.0", "files": []}\n'
OBJECT_NAME = "ab" * 32
OBJECT = bytes(range(256)) * 400  # 100 KiB, every byte value
SECRET = b"outside the served tree\n"


def raw_get(port, path, user_agent=None, timeout=10):
    """One GET on a fresh connection, read until the server ends it.
    Gives (status line, headers, body, how it ended: "eof" or "reset")."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as connection:
        lines = [f"GET {path} HTTP/1.1", "Host: 127.0.0.1", "Connection: close"]
        if user_agent:
            lines.append(f"User-Agent: {user_agent}")
        connection.sendall(("\r\n".join(lines) + "\r\n\r\n").encode("ascii"))
        data = b""
        ending = "eof"
        while True:
            try:
                chunk = connection.recv(65536)
            except ConnectionResetError:
                ending = "reset"
                break
            if not chunk:
                break
            data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    status, *header_lines = head.decode("latin-1").split("\r\n")
    headers = {}
    for line in header_lines:
        name, _, value = line.partition(":")
        headers[name.strip().lower()] = value.strip()
    return status, headers, body, ending


class UpdateServerTest(unittest.TestCase):
    def setUp(self):
        self.folder = pathlib.Path(tempfile.mkdtemp(prefix="nelo-server-test-"))
        self.root = self.folder / "root"
        (self.root / "app" / "files").mkdir(parents=True)
        (self.root / "app" / "manifest.json").write_bytes(MANIFEST)
        (self.root / "app" / "files" / OBJECT_NAME).write_bytes(OBJECT)
        (self.folder / "secret.txt").write_bytes(SECRET)
        self.server = UpdateServer(self.root).start()
        self.object_path = f"/app/files/{OBJECT_NAME}"

    def tearDown(self):
        self.server.stop()
        shutil.rmtree(self.folder, ignore_errors=True)

    def get(self, path, user_agent="nelo-test"):
        request = urllib.request.Request(self.server.base_url + path.lstrip("/"),
                                         headers={"User-Agent": user_agent})
        with urllib.request.urlopen(request, timeout=10) as response:
            return response.status, response.read()

    def wait_for_request(self, path):
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            if any(logged == path for logged, _ in self.server.requests):
                return
            time.sleep(0.01)
        self.fail(f"no request of {path}")

    def status_of(self, path):
        try:
            return self.get(path)[0]
        except urllib.error.HTTPError as error:
            return error.code

    # -- serving -----------------------------------------------------------------------------

    def test_listens_on_loopback_at_the_given_url(self):
        self.assertEqual(self.server.base_url, f"http://127.0.0.1:{self.server.port}/")
        self.assertNotEqual(self.server.port, 0)

    def test_serves_files_byte_exact(self):
        status, headers, body, _ = raw_get(self.server.port, self.object_path)
        self.assertIn(" 200 ", status)
        self.assertEqual(headers["content-length"], str(len(OBJECT)))
        self.assertEqual(body, OBJECT)
        self.assertEqual(self.get("/app/manifest.json"), (200, MANIFEST))

    def test_missing_files_and_folders_are_not_found(self):
        for path in ("/app/files/" + "cd" * 32, "/app/", "/app/files", "/", "/nothing/here"):
            with self.subTest(path=path):
                self.assertEqual(self.status_of(path), 404)

    def test_refuses_paths_leading_out_of_the_tree(self):
        for path in ("/../secret.txt", "/app/../../secret.txt", "/app/%2e%2e/%2E%2E/secret.txt",
                     "/..%2fsecret.txt", "/app/..%5c..%5csecret.txt"):
            with self.subTest(path=path):
                status, _, body, _ = raw_get(self.server.port, path)
                self.assertRegex(status, r" 40[34] ")
                self.assertNotIn(SECRET, body)

    def test_refuses_links_leading_out_of_the_tree(self):
        (self.root / "link.txt").symlink_to(self.folder / "secret.txt")
        self.assertEqual(self.status_of("/link.txt"), 404)

    def test_logs_each_path_and_user_agent(self):
        self.get("/app/manifest.json", user_agent="Nelo-Setup/1.0 (test)")
        self.status_of("/missing")
        raw_get(self.server.port, self.object_path + "?x=1")
        self.assertEqual(self.server.requests, [
            ("/app/manifest.json", "Nelo-Setup/1.0 (test)"),
            ("/missing", "nelo-test"),
            (self.object_path + "?x=1", None),
        ])

    def test_keeps_connections_alive(self):
        connection = http.client.HTTPConnection("127.0.0.1", self.server.port, timeout=10)
        try:
            for path, expected in (("/app/manifest.json", MANIFEST), (self.object_path, OBJECT),
                                   ("/app/manifest.json", MANIFEST)):
                connection.request("GET", path)
                response = connection.getresponse()
                self.assertEqual(response.read(), expected)
                self.assertFalse(response.will_close)
        finally:
            connection.close()

    # -- faults ------------------------------------------------------------------------------

    def test_status_fault_applies_to_its_path_until_cleared(self):
        self.server.set_fault("/app/manifest.json", status=503)
        self.assertEqual(self.status_of("/app/manifest.json"), 503)
        self.assertEqual(self.status_of("/app/manifest.json"), 503)
        self.assertEqual(self.status_of(self.object_path), 200)
        self.server.clear_faults()
        self.assertEqual(self.get("/app/manifest.json"), (200, MANIFEST))

    def test_status_fault_with_a_body(self):
        self.server.set_fault("/app/manifest.json", status=200, body=b"not json")
        self.assertEqual(self.get("/app/manifest.json"), (200, b"not json"))

    def test_body_fault_replaces_the_content(self):
        self.server.set_fault(self.object_path, body=b"{}")
        status, headers, body, _ = raw_get(self.server.port, self.object_path)
        self.assertIn(" 200 ", status)
        self.assertEqual(headers["content-length"], "2")
        self.assertEqual(body, b"{}")

    def test_body_fault_on_a_missing_file(self):
        self.server.set_fault("/app/other.json", body=b"[1]")
        self.assertEqual(self.get("/app/other.json"), (200, b"[1]"))

    def test_fault_with_times_applies_that_often(self):
        self.server.set_fault("/app/manifest.json", status=500, times=2)
        self.assertEqual(self.status_of("/app/manifest.json"), 500)
        self.assertEqual(self.status_of("/app/manifest.json"), 500)
        self.assertEqual(self.status_of("/app/manifest.json"), 200)
        self.assertEqual(self.status_of("/app/manifest.json"), 200)

    def test_fault_matches_the_path_without_its_query(self):
        self.server.set_fault("/app/manifest.json", status=502, times=1)
        self.assertEqual(self.status_of("/app/manifest.json?t=1"), 502)

    def test_cut_after_sends_part_then_resets(self):
        self.server.set_fault(self.object_path, cut_after=1000)
        status, headers, body, ending = raw_get(self.server.port, self.object_path)
        self.assertIn(" 200 ", status)
        self.assertEqual(headers["content-length"], str(len(OBJECT)))
        self.assertEqual(body, OBJECT[:1000])
        self.assertEqual(ending, "reset")

    def test_cut_after_fails_an_http_client(self):
        self.server.set_fault(self.object_path, cut_after=10)
        with self.assertRaises((http.client.IncompleteRead, ConnectionResetError)):
            self.get(self.object_path)

    def test_cut_after_zero_sends_headers_only(self):
        self.server.set_fault(self.object_path, cut_after=0)
        _, headers, body, ending = raw_get(self.server.port, self.object_path)
        self.assertEqual(headers["content-length"], str(len(OBJECT)))
        self.assertEqual((body, ending), (b"", "reset"))

    def test_cut_clean_after_ends_with_a_normal_close(self):
        self.server.set_fault(self.object_path, cut_clean_after=1000)
        _, headers, body, ending = raw_get(self.server.port, self.object_path)
        self.assertEqual(headers["content-length"], str(len(OBJECT)))
        self.assertEqual(body, OBJECT[:1000])
        self.assertEqual(ending, "eof")
        with self.assertRaises(http.client.IncompleteRead):
            self.get(self.object_path)

    def test_stall_before_headers_delays_its_answer(self):
        self.server.set_fault("/app/manifest.json", stall_before_headers=0.6)
        started = time.monotonic()
        self.assertEqual(self.get("/app/manifest.json"), (200, MANIFEST))
        self.assertGreaterEqual(time.monotonic() - started, 0.55)

    def test_a_held_answer_waits_for_its_event_and_holds_only_its_path(self):
        release = threading.Event()
        self.server.set_fault("/app/manifest.json", hold=release)
        results = {}

        def held():
            results["answer"] = self.get("/app/manifest.json")

        thread = threading.Thread(target=held)
        thread.start()
        self.wait_for_request("/app/manifest.json")
        self.assertEqual(self.get(self.object_path), (200, OBJECT))  # not queued behind it
        self.assertNotIn("answer", results)
        release.set()
        thread.join(timeout=10)
        self.assertEqual(results["answer"], (200, MANIFEST))

    def test_stall_mid_body_pauses_after_the_given_bytes(self):
        self.server.set_fault(self.object_path, stall_mid_body=0.5, stall_at=300)
        with socket.create_connection(("127.0.0.1", self.server.port), timeout=10) as connection:
            connection.sendall(f"GET {self.object_path} HTTP/1.1\r\nHost: x\r\n"
                               "Connection: close\r\n\r\n".encode("ascii"))
            data = b""
            while b"\r\n\r\n" not in data or len(data.partition(b"\r\n\r\n")[2]) < 300:
                data += connection.recv(65536)
            first_part = time.monotonic()
            self.assertEqual(data.partition(b"\r\n\r\n")[2], OBJECT[:300])
            while chunk := connection.recv(65536):
                data += chunk
            self.assertGreaterEqual(time.monotonic() - first_part, 0.4)
        self.assertEqual(data.partition(b"\r\n\r\n")[2], OBJECT)

    def test_trickle_sends_slowly_and_whole(self):
        body = bytes(range(100)) * 20
        self.server.set_fault("/slow.bin", body=body, trickle=(200, 0.03))
        started = time.monotonic()
        self.assertEqual(self.get("/slow.bin"), (200, body))
        self.assertGreaterEqual(time.monotonic() - started, 9 * 0.03 * 0.9)

    def ranged_get(self, range_header):
        request = urllib.request.Request(self.server.base_url + self.object_path.lstrip("/"),
                                         headers={"Range": range_header})
        try:
            with urllib.request.urlopen(request, timeout=10) as response:
                return response.status, dict(response.headers), response.read()
        except urllib.error.HTTPError as error:
            return error.code, dict(error.headers), error.read()

    def test_answers_single_byte_ranges_as_a_static_server_does(self):
        cases = [
            ("bytes=0-99", 206, OBJECT[:100], f"bytes 0-99/{len(OBJECT)}"),
            ("bytes=100-", 206, OBJECT[100:], f"bytes 100-{len(OBJECT) - 1}/{len(OBJECT)}"),
            ("bytes=102000-999999", 206, OBJECT[102000:],
             f"bytes 102000-{len(OBJECT) - 1}/{len(OBJECT)}"),
            (f"bytes={len(OBJECT)}-", 416, b"", f"bytes */{len(OBJECT)}"),
            ("bytes=0-1,5-6", 200, OBJECT, None),  # several ranges: the whole file
            ("items=0-1", 200, OBJECT, None),
        ]
        for header, status, body, content_range in cases:
            with self.subTest(header):
                got_status, headers, got_body = self.ranged_get(header)
                self.assertEqual(got_status, status)
                self.assertEqual(got_body, body)
                self.assertEqual(headers.get("Content-Range"), content_range)
        self.assertEqual(self.server.ranges[0], (self.object_path, "bytes=0-99"))

    def test_a_server_without_ranges_answers_the_whole_file(self):
        self.server.stop()
        self.server = UpdateServer(self.root, ranges=False).start()
        status, headers, body = self.ranged_get("bytes=100-199")
        self.assertEqual((status, body), (200, OBJECT))
        self.assertNotIn("Content-Range", headers)

    def test_latency_delays_every_answer(self):
        self.server.stop()
        self.server = UpdateServer(self.root, latency=0.2).start()
        began = time.monotonic()
        for _ in range(3):
            self.assertEqual(self.get(self.object_path), (200, OBJECT))
        self.assertGreaterEqual(time.monotonic() - began, 0.6)

    def test_the_rate_caps_all_answers_together(self):
        self.server.stop()
        self.server = UpdateServer(self.root, rate=1_000_000).start()
        began = time.monotonic()
        threads = [threading.Thread(target=self.get, args=(self.object_path,)) for _ in range(5)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        # Five answers of 100 KiB at 1 MB/s together take half a second, however many at once.
        self.assertGreaterEqual(time.monotonic() - began, 0.45)
        self.assertEqual(self.server.body_bytes_sent, 5 * len(OBJECT))
        self.assertGreaterEqual(self.server.most_in_flight, 2)

    def test_rejects_unknown_fault_settings(self):
        with self.assertRaises(TypeError):
            self.server.set_fault("/x", stall=1)
        with self.assertRaises(TypeError):
            self.server.set_fault("/x", hold=True)
        with self.assertRaises(ValueError):
            self.server.set_fault("/x", cut_after=1, cut_clean_after=1)

    def test_stops_promptly_with_a_stalled_answer(self):
        self.server.set_fault("/app/manifest.json", stall_before_headers=60)
        client = socket.create_connection(("127.0.0.1", self.server.port), timeout=10)
        try:
            client.sendall(b"GET /app/manifest.json HTTP/1.1\r\nHost: x\r\n\r\n")
            self.wait_for_request("/app/manifest.json")
            started = time.monotonic()
            self.server.stop()
            self.assertLess(time.monotonic() - started, 2)
            # The stalled connection is closed, not left hanging.
            self.assertEqual(client.recv(100), b"")
        finally:
            client.close()


class UpdateServerProgramTest(unittest.TestCase):
    def test_serves_until_stopped_and_writes_its_port(self):
        folder = pathlib.Path(tempfile.mkdtemp(prefix="nelo-server-test-"))
        try:
            (folder / "app").mkdir()
            (folder / "app" / "manifest.json").write_bytes(MANIFEST)
            port_file = folder / "port"
            program = pathlib.Path(__file__).resolve().parent / "update_server.py"
            process = subprocess.Popen(
                [sys.executable, str(program), "--root", str(folder), "--port-file",
                 str(port_file)], stdout=subprocess.PIPE, cwd="/")
            try:
                url = process.stdout.readline().decode("ascii").strip()
                port = int(port_file.read_text())
                self.assertEqual(url, f"http://127.0.0.1:{port}/")
                with urllib.request.urlopen(url + "app/manifest.json", timeout=10) as response:
                    self.assertEqual(response.read(), MANIFEST)
            finally:
                process.terminate()
                self.assertEqual(process.wait(timeout=10), 0)
                process.stdout.close()
        finally:
            shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()
