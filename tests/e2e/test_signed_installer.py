"""scripts/sign-exe signs Nelo-Setup.exe with Authenticode; osslsigncode verifies it."""
import pathlib
import shutil
import subprocess
import tempfile
import unittest

from harness import LAUNCHER, REPO_ROOT

SIGN_EXE = REPO_ROOT / "scripts" / "sign-exe"


def run(*command, cwd=None):
    return subprocess.run(list(command), cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True,
                          text=True)


@unittest.skipUnless(shutil.which("osslsigncode") and shutil.which("openssl"),
                     "needs osslsigncode and openssl")
class SignedInstallerTest(unittest.TestCase):
    def setUp(self):
        self.work = pathlib.Path(tempfile.mkdtemp(prefix="nelo-sign-"))
        self.addCleanup(shutil.rmtree, self.work, True)
        # A throw-away code-signing certificate, in the PKCS#12 a publisher would be given.
        made = run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "key.pem",
                   "-out", "cert.pem", "-days", "30", "-subj", "/CN=Talmer Ltda (test)",
                   "-addext", "extendedKeyUsage=codeSigning", cwd=self.work)
        self.assertEqual(made.returncode, 0, made.stderr)
        (self.work / "password").write_text("segredo\n")
        packed = run("openssl", "pkcs12", "-export", "-inkey", "key.pem", "-in", "cert.pem",
                     "-out", "cert.p12", "-passout", "pass:segredo", cwd=self.work)
        self.assertEqual(packed.returncode, 0, packed.stderr)

    def sign(self, output):
        return run(str(SIGN_EXE), "--pkcs12", str(self.work / "cert.p12"), "--password-file",
                   str(self.work / "password"), str(LAUNCHER), str(output))

    def test_the_installer_is_signed_and_verifies(self):
        signed = self.work / "Nelo-Setup.exe"
        result = self.sign(signed)
        self.assertEqual(result.returncode, 0, result.stderr)
        verified = run("osslsigncode", "verify", "-CAfile", str(self.work / "cert.pem"),
                       "-in", str(signed))
        self.assertEqual(verified.returncode, 0, verified.stdout + verified.stderr)
        self.assertIn("Signature verification: ok", verified.stdout)
        self.assertIn("Talmer Ltda (test)", verified.stdout)

    def test_unsigned_or_tampered_does_not_verify(self):
        unsigned = run("osslsigncode", "verify", "-in", str(LAUNCHER))
        self.assertNotEqual(unsigned.returncode, 0)
        signed = self.work / "Nelo-Setup.exe"
        self.assertEqual(self.sign(signed).returncode, 0)
        data = bytearray(signed.read_bytes())
        data[len(data) // 3] ^= 0xFF
        tampered = self.work / "tampered.exe"
        tampered.write_bytes(bytes(data))
        result = run("osslsigncode", "verify", "-CAfile", str(self.work / "cert.pem"), "-in",
                     str(tampered))
        self.assertNotEqual(result.returncode, 0)

    def test_a_wrong_password_signs_nothing(self):
        (self.work / "password").write_text("errada\n")
        output = self.work / "out.exe"
        result = self.sign(output)
        self.assertEqual(result.returncode, 1)
        self.assertFalse(output.exists())
        self.assertFalse(pathlib.Path(str(output) + ".partial").exists())


if __name__ == "__main__":
    unittest.main()
