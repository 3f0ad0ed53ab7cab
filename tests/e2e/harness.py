"""What every end-to-end test needs: the programs the Windows build made, a sandbox with its
own LOCALAPPDATA and APPDATA, and a way to run Nelo-Setup.exe under Wine with an exact command
line (through nelo-test-run.exe, since Wine replaces those two variables and re-quotes argv)."""
import hashlib
import json
import os
import pathlib
import shutil
import subprocess
import tempfile
import time

BUILD = pathlib.Path(os.environ.get("NELO_BUILD", "build/windows")).resolve()
LAUNCHER = BUILD / "Nelo-Setup.exe"
STANDIN = BUILD / "tests" / "fixtures" / "standin-app.exe"
RUNNER = BUILD / "tests" / "fixtures" / "nelo-test-run.exe"


def windows_path(path):
    """The path as Wine's programs see it: drive Z: is the Unix root."""
    return "Z:" + str(pathlib.Path(path).resolve()).replace("/", "\\")


class Sandbox:
    """A temporary user profile: LOCALAPPDATA, APPDATA and the stand-in's log."""

    def __init__(self):
        self.dir = pathlib.Path(tempfile.mkdtemp(prefix="nelo-e2e-"))
        self.local_app_data = self.dir / "local"
        self.app_data = self.dir / "roaming"
        self.downloads = self.dir / "downloads"
        for folder in (self.local_app_data, self.app_data, self.downloads):
            folder.mkdir()
        self.standin_log = self.dir / "standin.jsonl"
        self.root = self.local_app_data / "Nelo"

    def close(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    # The version store, made by hand: the stand-in as Nelo.exe, the extra files given, and the
    # stored manifest that lists them all.
    def install_version(self, label, make_current=True, files=None):
        folder = self.root / "versions" / label
        folder.mkdir(parents=True, exist_ok=True)
        shutil.copy(STANDIN, folder / "Nelo.exe")
        for path, content in (files or {}).items():
            target = folder / path
            target.parent.mkdir(parents=True, exist_ok=True)
            target.write_bytes(content)
        entries = []
        for path in ["Nelo.exe", *sorted(files or {})]:
            content = (folder / path).read_bytes()
            entries.append({"path": path, "sha256": hashlib.sha256(content).hexdigest(),
                            "size": len(content), "zsize": len(content)})
        manifest = {"version": label, "files": entries}
        (folder / ".manifest.json").write_text(json.dumps(manifest), "utf-8")
        if make_current:
            (self.root / "current").write_bytes(label.encode("utf-8"))
        return folder

    def launcher_copy(self):
        """Nelo-Setup.exe as a user would have it in a download folder."""
        copy = self.downloads / "Nelo-Setup.exe"
        if not copy.exists():
            shutil.copy(LAUNCHER, copy)
        return copy

    def run(self, *pieces, env=None, program=None, timeout=120, wait=True):
        """Runs the launcher with the command line made of its quoted path and `pieces`, each
        copied verbatim and joined by single blanks; gives the completed process (its stdout is
        the launcher's standard output)."""
        program = program or self.launcher_copy()
        variables = {
            "LOCALAPPDATA": windows_path(self.local_app_data),
            "APPDATA": windows_path(self.app_data),
            "NELO_STANDIN_LOG": windows_path(self.standin_log),
        }
        variables.update(env or {})
        command = ["wine", str(RUNNER)]
        for name, value in variables.items():
            if value is None:
                command += ["--unset", name]
            else:
                command += ["--set", f"{name}={value}"]
        command += ["--timeout", str(timeout * 1000)]
        if not wait:
            command.append("--no-wait")
        command += ["--join-args", "--", f'"{windows_path(program)}"', *pieces]
        # Output goes through files: programs that the launcher starts inherit Wine's Unix
        # descriptors, and a pipe would stay open until the application ends.
        with tempfile.TemporaryFile(dir=self.dir) as out, tempfile.TemporaryFile(dir=self.dir) as err:
            completed = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                       timeout=timeout + 30)
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(command, completed.returncode, out.read(),
                                               err.read())

    # What the stand-in application recorded.
    def standin_starts(self):
        if not self.standin_log.exists():
            return []
        return [json.loads(line) for line in self.standin_log.read_text("utf-8").splitlines()
                if line.strip()]

    def wait_for_standin_starts(self, count, timeout=15):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            starts = self.standin_starts()
            if len(starts) >= count:
                return starts
            time.sleep(0.1)
        return self.standin_starts()


def kill_windows_process(image_name):
    """Ends stray stand-in processes of this prefix (tests that leave one running)."""
    subprocess.run(["wine", "taskkill", "/f", "/im", image_name], stdin=subprocess.DEVNULL,
                   capture_output=True)
