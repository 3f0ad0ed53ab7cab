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
import unittest

from update_server import UpdateServer

REPO_ROOT = pathlib.Path(__file__).resolve().parent.parent.parent
BUILD = pathlib.Path(os.environ.get("NELO_BUILD", "build/windows")).resolve()
LAUNCHER = BUILD / "Nelo-Setup.exe"
STANDIN = BUILD / "tests" / "fixtures" / "standin-app.exe"
RUNNER = BUILD / "tests" / "fixtures" / "nelo-test-run.exe"
# The release publisher runs natively: scripts/test builds the native tree first.
NATIVE_BUILD = pathlib.Path(os.environ.get("NELO_NATIVE_BUILD",
                                           BUILD.parent / "native")).resolve()
PUBLISHER = NATIVE_BUILD / "tools" / "nelo_publish" / "nelo-publish"


def publish(root, version, files, quality=5, sign_key=None, options=(), packs=False):
    """Publishes a release into the server tree `root`: the stand-in as Nelo.exe plus `files`
    (path to bytes, "/"-separated), signed with the minisign key file `sign_key` when given,
    with the publisher's further `options`. Gives the manifest's bytes. Without `packs`, with
    --packs off: most tests watch the launcher's requests of single objects, and the tests of
    packs (and of delivery through nginx) ask for them."""
    source = pathlib.Path(tempfile.mkdtemp(prefix="nelo-release-"))
    try:
        shutil.copy(STANDIN, source / "Nelo.exe")
        for path, content in files.items():
            target = source / path
            target.parent.mkdir(parents=True, exist_ok=True)
            target.write_bytes(content)
        signing = ["--sign", str(sign_key)] if sign_key else []
        if not packs:
            signing += ["--packs", "off"]
        subprocess.run([str(PUBLISHER), "--version", version, "--from", str(source), "--to",
                        str(root), "--quality", str(quality), *signing, *options], check=True,
                       stdin=subprocess.DEVNULL, capture_output=True)
    finally:
        shutil.rmtree(source, ignore_errors=True)
    return (pathlib.Path(root) / "app" / "manifest.json").read_bytes()


def wait_for(condition, timeout, interval=0.05):
    """The first true value of `condition` within `timeout` seconds, else its last value."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(interval)
    return condition()


def windows_path(path):
    """The path as Wine's programs see it: drive Z: is the Unix root."""
    return "Z:" + str(pathlib.Path(path).resolve()).replace("/", "\\")


class ServedSandboxTest(unittest.TestCase):
    """A sandbox and an update server over a tree of its own, for each test."""

    def setUp(self):
        self.sandbox = Sandbox()
        self.addCleanup(self.sandbox.close)
        self.server_root = pathlib.Path(tempfile.mkdtemp(prefix="nelo-server-"))
        self.addCleanup(shutil.rmtree, self.server_root, True)
        self.server = UpdateServer(self.server_root).start()
        self.addCleanup(self.server.stop)


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
    def install_version(self, label, make_current=True, files=None, record=False):
        """A version as the launcher leaves one, written directly; with `record`, with the
        record of each file's size and last-write time (as Wine shows the time to Windows)."""
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
        if record:
            lines = ["nelo-files 1"]
            for entry in entries:
                stat = (folder / entry["path"]).stat()
                written = stat.st_mtime_ns // 100 + 116444736000000000  # a FILETIME
                lines.append(f"{entry['size']}\t{written}\t{entry['path']}")
            (folder / ".manifest.files").write_text("\n".join(lines) + "\n", "utf-8")
        if make_current:
            (self.root / "current").write_bytes(label.encode("utf-8"))
        return folder

    def launcher_copy(self):
        """Nelo-Setup.exe as a user would have it in a download folder."""
        copy = self.downloads / "Nelo-Setup.exe"
        if not copy.exists():
            shutil.copy(LAUNCHER, copy)
        return copy

    def stage(self, base_url, env=None, timeout=120, timed=False):
        """Runs the stage mode against `base_url`; gives (exit code, stdout lines), and with
        `timed` also the seconds from its creation to its end as a Windows process saw them."""
        variables = {"NELO_UPDATE_BASE": base_url}
        variables.update(env or {})
        result = self.run("--stage", env=variables, timeout=timeout, print_times=timed)
        lines = result.stdout.decode("utf-8").splitlines()
        if not timed:
            return result.returncode, lines
        times = dict(line.split() for line in result.stderr.decode("utf-8", "replace").splitlines()
                     if line.startswith(("started ", "ended ")))
        return result.returncode, lines, (int(times["ended"]) - int(times["started"])) / 1e7

    def current(self):
        pointer = self.root / "current"
        return pointer.read_bytes().decode("utf-8") if pointer.exists() else None

    def versions(self):
        folder = self.root / "versions"
        return sorted(p.name for p in folder.iterdir()) if folder.exists() else []

    def check_version_whole(self, label):
        """True when every file of the version's stored manifest has its digest."""
        folder = self.root / "versions" / label
        manifest = json.loads((folder / ".manifest.json").read_bytes())
        for entry in manifest["files"]:
            path = folder / entry["path"].replace("\\", "/")
            if not path.is_file() or hashlib.sha256(path.read_bytes()).hexdigest() != entry["sha256"]:
                return False
        return True

    def run(self, *pieces, env=None, program=None, timeout=120, wait=True, cwd=None,
            print_times=False):
        """Runs the launcher with the command line made of its quoted path and `pieces`, each
        copied verbatim and joined by single blanks, in the folder `cwd` when given; gives the
        completed process (its stdout is the launcher's standard output)."""
        program = program or self.launcher_copy()
        variables = {
            "LOCALAPPDATA": windows_path(self.local_app_data),
            "APPDATA": windows_path(self.app_data),
            "NELO_STANDIN_LOG": windows_path(self.standin_log),
            # Nothing listens on the discard port: no test reaches the real update server.
            "NELO_UPDATE_BASE": "http://127.0.0.1:9/",
        }
        variables.update(env or {})
        command = ["wine", str(RUNNER)]
        for name, value in variables.items():
            if value is None:
                command += ["--unset", name]
            else:
                command += ["--set", f"{name}={value}"]
        command += ["--timeout", str(int(timeout * 1000))]
        if cwd is not None:
            command += ["--cwd", windows_path(cwd)]
        if print_times:
            command.append("--print-start")
        if not wait:
            command.append("--no-wait")
        command += ["--join-args", "--", f'"{windows_path(program)}"', *pieces]
        # Output goes through files: programs that the launcher starts inherit Wine's Unix
        # descriptors, and a pipe would stay open until the application ends.
        for attempt in range(2):
            with tempfile.TemporaryFile(dir=self.dir) as out, \
                    tempfile.TemporaryFile(dir=self.dir) as err:
                completed = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=out,
                                           stderr=err, timeout=timeout + 30)
                out.seek(0)
                err.seek(0)
                result = subprocess.CompletedProcess(command, completed.returncode, out.read(),
                                                     err.read())
            # Under load Wine now and then fails to create a process at all (the runner's
            # CreateProcessW fails, ERROR_INTERNAL_ERROR): nothing ran, so it is started again
            # once. Any other outcome is the test's.
            if not (result.returncode == 125 and
                    result.stderr.startswith(b"nelo-test-run: start failed")) or attempt == 1:
                return result

    # What the stand-in application recorded.
    def standin_starts(self):
        if not self.standin_log.exists():
            return []
        return [json.loads(line) for line in self.standin_log.read_text("utf-8").splitlines()
                if line.strip()]

    def no_application_started(self, timeout=30):
        """True when the launcher, which has ended, started no application: whatever it started
        was created before it ended and records its start before it ends, so once nothing runs
        from the version store the log is final."""
        deadline = time.monotonic() + timeout
        while processes_running_below(self.root) and time.monotonic() < deadline:
            time.sleep(0.05)
        return not processes_running_below(self.root) and self.standin_starts() == []

    def wait_for_standin_starts(self, count, timeout=15):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            starts = self.standin_starts()
            if len(starts) >= count:
                return starts
            time.sleep(0.1)
        return self.standin_starts()


def command_lines():
    """(process id, command line) of every process running now."""
    for entry in pathlib.Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            command = (entry / "cmdline").read_bytes().replace(b"\0", b" ").decode("utf-8", "replace")
        except OSError:
            continue
        yield int(entry.name), command


def processes_running_below(unix_folder):
    """Wine processes whose command line names a program below the folder (as Wine sees it)."""
    folder = windows_path(unix_folder).lower()
    return [pid for pid, command in command_lines()
            if folder in command.lower() and "wine" not in command.split(" ")[0].lower()]


def kill_windows_process(image_name):
    """Ends stray stand-in processes of this prefix (tests that leave one running)."""
    subprocess.run(["wine", "taskkill", "/f", "/im", image_name], stdin=subprocess.DEVNULL,
                   capture_output=True)
