"""Delivery over HTTPS through Debian's nginx, started as an ordinary process with the deploy
configuration of docs/deploy (only the lines it marks are changed), and certificates from a test
authority that the Wine prefix is taught to trust (its own root store; the machine's store is
never touched). A certificate the prefix cannot trust gives "sem internet" and installs
nothing; the launcher never falls back to plain HTTP."""
import json
import os
import random
import pathlib
import shutil
import socket
import subprocess
import tempfile
import time
import unittest

from harness import BUILD, PUBLISHER, REPO_ROOT, Sandbox, publish, windows_path

DEPLOY_CONF = REPO_ROOT / "docs" / "deploy" / "nelo-updates.conf"
TRUST_ROOT = BUILD / "tests" / "fixtures" / "trust-root.exe"
FILES_1 = {"res/a.bin": b"over https " * 1000}
FILES_2 = {"res/a.bin": b"over https, again " * 1000}


def openssl(*arguments, cwd):
    subprocess.run(["openssl", *arguments], cwd=cwd, check=True, stdin=subprocess.DEVNULL,
                   capture_output=True)


def make_certificates(folder):
    """A trusted authority with three server certificates (for localhost; expired; for another
    host) and a second, untrusted authority with one for localhost."""
    for ca in ("ca", "stranger-ca"):
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{ca}.key",
                "-out", f"{ca}.crt", "-days", "30", "-subj", f"/CN=Nelo test {ca}", cwd=folder)
    openssl("x509", "-in", "ca.crt", "-outform", "DER", "-out", "ca.der", cwd=folder)

    def server(name, host, ca, expired=False):
        (folder / f"{name}.ext").write_text(f"subjectAltName=DNS:{host}\n"
                                            "extendedKeyUsage=serverAuth\n")
        openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{name}.key", "-out",
                f"{name}.csr", "-subj", f"/CN={host}", cwd=folder)
        if not expired:
            openssl("x509", "-req", "-in", f"{name}.csr", "-CA", f"{ca}.crt", "-CAkey",
                    f"{ca}.key", "-CAcreateserial", "-days", "30", "-extfile", f"{name}.ext",
                    "-out", f"{name}.crt", cwd=folder)
            return
        (folder / "index.txt").write_text("")
        (folder / "serial").write_text("1000\n")
        (folder / "ca.cnf").write_text(
            "[ca]\ndefault_ca = test\n[test]\ndatabase = index.txt\nnew_certs_dir = .\n"
            f"certificate = {ca}.crt\nprivate_key = {ca}.key\nserial = serial\n"
            "default_md = sha256\npolicy = any\ncopy_extensions = copy\n"
            "[any]\ncommonName = supplied\n")
        openssl("ca", "-batch", "-config", "ca.cnf", "-in", f"{name}.csr", "-out", f"{name}.crt",
                "-startdate", "20200101000000Z", "-enddate", "20200201000000Z", "-extfile",
                f"{name}.ext", cwd=folder)

    server("good", "localhost", "ca")
    server("expired", "localhost", "ca", expired=True)
    server("other-host", "other.example", "ca")
    server("untrusted", "localhost", "stranger-ca")


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def server_block(port, certificate, key, root, gzip=False):
    """The deploy configuration with the lines it marks set for this test; with `gzip`, as an
    operator who turned compression on for everything would have it."""
    lines = []
    for line in DEPLOY_CONF.read_text().splitlines():
        stripped = line.strip()
        if gzip and stripped.startswith("gzip off;"):
            line = "    gzip on; gzip_types *; gzip_min_length 1;"
        if stripped.startswith("listen "):
            line = f"    listen 127.0.0.1:{port} ssl;"
        elif stripped.startswith("server_name "):
            line = "    server_name localhost;"
        elif stripped.startswith("ssl_certificate "):
            line = f"    ssl_certificate {certificate};"
        elif stripped.startswith("ssl_certificate_key "):
            line = f"    ssl_certificate_key {key};"
        elif stripped.startswith("root "):
            line = f"    root {root};"
        lines.append(line)
    return "\n".join(lines)


@unittest.skipUnless(shutil.which("nginx") and shutil.which("openssl") and TRUST_ROOT.exists(),
                     "needs nginx, openssl and the trust-root helper")
class HttpsDeliveryTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = pathlib.Path(tempfile.mkdtemp(prefix="nelo-https-"))
        cls.addClassCleanup(shutil.rmtree, cls.work, True)
        certificates = cls.work / "certificates"
        certificates.mkdir()
        make_certificates(certificates)
        trusted = subprocess.run(["wine", str(TRUST_ROOT), windows_path(certificates / "ca.der")],
                                 stdin=subprocess.DEVNULL, capture_output=True)
        if trusted.returncode != 0:
            raise RuntimeError(f"trust-root failed: {trusted.stderr!r}")
        cls.root = cls.work / "site"
        cls.root.mkdir()
        cls.ports = {name: free_port() for name in ("good", "expired", "other-host", "untrusted",
                                                     "gzip")}
        blocks = "\n".join(server_block(port, certificates / f"{name.replace('gzip', 'good')}.crt",
                                        certificates / f"{name.replace('gzip', 'good')}.key",
                                        cls.root, gzip=name == "gzip")
                           for name, port in cls.ports.items())
        (cls.work / "logs").mkdir()
        config = cls.work / "nginx.conf"
        # Started by root, nginx's workers would read the tree as an unprivileged user, and the
        # test's folders are private.
        user = "user root;\n" if os.geteuid() == 0 else ""
        config.write_text(f"daemon off;\n{user}worker_processes 1;\npid {cls.work}/nginx.pid;\n"
                          f"error_log {cls.work}/logs/error.log;\n"
                          "events { worker_connections 64; }\n"
                          f"http {{\naccess_log {cls.work}/logs/access.log;\n"
                          f"client_body_temp_path {cls.work}/tmp;\n{blocks}\n}}\n")
        (cls.work / "tmp").mkdir()
        cls.nginx = subprocess.Popen(["nginx", "-c", str(config), "-p", str(cls.work)],
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.PIPE)
        cls.addClassCleanup(cls._stop_nginx)
        deadline = time.monotonic() + 15
        for port in cls.ports.values():
            while True:
                try:
                    socket.create_connection(("127.0.0.1", port), timeout=1).close()
                    break
                except OSError:
                    if time.monotonic() > deadline or cls.nginx.poll() is not None:
                        raise RuntimeError(f"nginx did not start: {cls.nginx.stderr.read()!r}")
                    time.sleep(0.05)

    @classmethod
    def _stop_nginx(cls):
        cls.nginx.terminate()
        try:
            cls.nginx.wait(timeout=10)
        except subprocess.TimeoutExpired:
            cls.nginx.kill()

    def setUp(self):
        self.sandbox = Sandbox()
        self.addCleanup(self.sandbox.close)
        for entry in self.root.iterdir():
            shutil.rmtree(entry) if entry.is_dir() else entry.unlink()

    def base(self, name):
        return f"https://localhost:{self.ports[name]}/"

    def test_a_first_install_and_an_update_over_https(self):
        publish(self.root, "1.0", FILES_1, packs=True)
        # A first install in the normal mode, without a window (from a download folder).
        result = self.sandbox.run("--hidden", env={"NELO_UPDATE_BASE": self.base("good")})
        self.assertEqual(result.returncode, 0, result.stderr)
        starts = self.sandbox.wait_for_standin_starts(1, timeout=60)
        self.assertEqual(len(starts), 1)
        self.assertEqual(self.sandbox.current(), "1.0")
        self.assertTrue(self.sandbox.check_version_whole("1.0"))
        # An update in the stage mode.
        publish(self.root, "2.0", FILES_2, packs=True)
        code, lines = self.sandbox.stage(self.base("good"))
        self.assertEqual(lines[-1], "staged app 2.0", lines)
        self.assertTrue(self.sandbox.check_version_whole("2.0"))

    def test_a_certificate_the_prefix_cannot_trust_installs_nothing(self):
        publish(self.root, "1.0", FILES_1)
        for name in ("untrusted", "expired", "other-host"):
            with self.subTest(name):
                code, lines = self.sandbox.stage(self.base(name))
                self.assertEqual(lines, ["error sem internet"])
                self.assertFalse((self.sandbox.root / "versions").exists())

    def test_the_headers_of_the_deploy_configuration(self):
        publish(self.root, "1.0", FILES_1, packs=True)
        (self.root / "app" / "manifest.json.minisig").write_text("signature\n")
        (self.root / "secret.txt").write_text("not for the world\n")
        digest = next((self.root / "app" / "files").iterdir()).name

        def head(path):
            result = subprocess.run(
                ["curl", "-s", "-D", "-", "-o", "/dev/null", "--cacert",
                 str(self.work / "certificates" / "ca.crt"), "-H", "Accept-Encoding: gzip, br",
                 self.base("good") + path], capture_output=True, text=True, check=True)
            lines = result.stdout.replace("\r", "").splitlines()
            headers = {k.lower(): v.strip() for k, _, v in (l.partition(":") for l in lines[1:]
                                                            if ":" in l)}
            return int(lines[0].split()[1]), headers

        pack = next((self.root / "app" / "packs").iterdir()).name
        for path in ("app/files/" + digest, "app/packs/" + pack):
            status, headers = head(path)
            self.assertEqual(status, 200, path)
            self.assertEqual(headers["content-type"], "application/octet-stream")
            self.assertEqual(headers["cache-control"], "public, max-age=31536000, immutable")
            self.assertNotIn("content-encoding", headers)
        for path, kind in (("app/manifest.json", "application/json"),
                           ("app/manifest.json.minisig", "text/plain")):
            status, headers = head(path)
            self.assertEqual((status, headers["content-type"], headers["cache-control"]),
                             (200, kind, "no-cache"), path)
            self.assertNotIn("content-encoding", headers)
        for path in ("secret.txt", "app/files/" + "0" * 64, "app/files/../secret.txt"):
            status, headers = head(path)
            self.assertEqual(status, 404, path)
            self.assertNotIn("cache-control", headers, path)


    def verify(self, server, *options):
        """nelo-publish verify against one of the servers: (exit code, output lines, errors)."""
        result = subprocess.run([str(PUBLISHER), "verify", self.base(server), *options],
                                capture_output=True, text=True, stdin=subprocess.DEVNULL)
        return result.returncode, result.stdout.splitlines(), result.stderr

    def test_verify_checks_a_deployment_as_the_launchers_see_it(self):
        pack = random.Random(5).randbytes(200_000)
        # Over 1 MiB served: asked for by a range too, as launchers ask for it to resume.
        large = random.Random(6).randbytes(1_200_000)
        publish(self.root, "1.0", {**FILES_1, "res/pack.bin": pack, "res/large.bin": large},
                packs=True)
        edited = pack[:100_000] + b"edited" + pack[100_006:]
        publish(self.root, "2.0", {**FILES_1, "res/pack.bin": edited, "res/large.bin": large},
                packs=True)
        ca = ["--ca-file", str(self.work / "certificates" / "ca.crt")]
        code, lines, _ = self.verify("good", *ca)
        self.assertEqual(code, 0, lines)
        self.assertEqual(lines[0], "versão 2.0")
        self.assertRegex(lines[-1], r"^conferidos: 4 objetos, 1 patches, 1 pacotes, .* 0 falhas, 0 avisos$")

        # The certificate is checked: the test authority is not one the system trusts.
        code, lines, _ = self.verify("good")
        self.assertEqual(code, 1)
        self.assertIn("certificate", lines[0].lower())

        # A server that compresses hands launchers bytes they cannot use.
        code, lines, _ = self.verify("gzip", *ca)
        self.assertEqual(code, 1, lines)
        self.assertTrue(any("Content-Encoding: gzip" in line for line in lines), lines)

        # One object missing, one corrupt: each is a fault of its own.
        manifest = json.loads((self.root / "app" / "manifest.json").read_bytes())
        objects = {entry["path"]: entry["sha256"] for entry in manifest["files"]}
        (self.root / "app" / "files" / objects["res/a.bin"]).unlink()
        damaged = self.root / "app" / "files" / objects["Nelo.exe"]
        data = bytearray(damaged.read_bytes())
        data[len(data) // 2] ^= 1
        damaged.write_bytes(bytes(data))
        code, lines, _ = self.verify("good", *ca)
        self.assertEqual(code, 1, lines)
        faults = [line for line in lines if line.startswith("falha: ")]
        self.assertEqual(len(faults), 2, lines)
        self.assertIn(f"falha: falta app/files/{objects['res/a.bin']} (res/a.bin)", faults)
        self.assertTrue(any(line.startswith(f"falha: app/files/{objects['Nelo.exe']}: Nelo.exe ")
                            for line in faults), faults)


if __name__ == "__main__":
    unittest.main()
