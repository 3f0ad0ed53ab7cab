"""What the benchmark scripts share: release contents of real shapes, a fresh Wine server before
every timed run, the launcher's stage mode timed as a Windows process sees it, its peak working
set, curl as the reference client, and Debian's nginx as a real server.

Wine keeps a slow state after any process that touched several hundred MB: every later process
that initialises COM (the launcher does) pays about a second more until the Wine server
restarts. Every timed run here gets a fresh Wine server."""
import os
import pathlib
import random
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

REPO = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(REPO / "tests" / "e2e"))
os.environ.setdefault("NELO_BUILD", str(REPO / "build" / "windows"))

import harness  # noqa: E402
from update_server import UpdateServer  # noqa: E402

MB = 1_000_000
MIB = 1 << 20


def run_in_wine_prefix(script, name):
    """Runs the calling script again inside a Wine prefix and X display of its own, once."""
    if "WINEPREFIX" in os.environ:
        return
    command = (f'. "{REPO}/scripts/wine-env.sh"; wine_env_start "{REPO}/build/bench-prefix"; '
               f'trap wine_env_stop EXIT; python3 "{script}" "$@"')
    sys.exit(subprocess.run(["bash", "-c", command, name, *sys.argv[1:]]).returncode)


# -- data ----------------------------------------------------------------------------------------

def content(size, kind, generator):
    """Bytes of one of three kinds: random (incompressible), text-like, or mostly zeros."""
    if kind == 0:
        return b"".join(generator.randbytes(min(size - at, 1 << 24)) for at in range(0, size, 1 << 24))
    if kind == 1:
        words = [generator.randbytes(6).hex().encode() + b" " for _ in range(500)]
        line = b"".join(generator.choice(words) for _ in range(4000))
        return (line * (size // len(line) + 1))[:size]
    block = bytearray(4096)
    block[:64] = generator.randbytes(64)
    return (bytes(block) * (size // 4096 + 1))[:size]


def long_tail_release(count, total, largest, seed):
    """`count` files adding up to `total` bytes, sizes on a long tail (Pareto), the largest
    `largest` bytes; a third of each kind."""
    generator = random.Random(seed)
    weights = sorted((generator.paretovariate(1.2) for _ in range(count - 1)), reverse=True)
    rest = total - largest
    sizes = [largest] + [max(1000, int(rest * w / sum(weights))) for w in weights]
    files = {}
    for i, size in enumerate(sizes):
        files[f"data/part{i % 20:02d}/file{i:03d}.bin"] = content(size, i % 3, generator)
    return files


def source_like_release(count, seed):
    """`count` small files as an application of scripts and resources has them: sizes around a
    median of 3 KB (log-normal), text that compresses to about half, in 50 folders."""
    generator = random.Random(seed)
    words = [generator.randbytes(generator.randint(2, 6)).hex().encode() for _ in range(4000)]
    files = {}
    for i in range(count):
        size = max(100, min(200_000, int(generator.lognormvariate(8.0, 0.9))))
        text = bytearray()
        while len(text) < size:
            text += generator.choice(words) + b" "
            if generator.random() < 0.3:
                text += generator.randbytes(generator.randint(1, 12))
        files[f"app/m{i % 50:02d}/file{i:05d}.js"] = bytes(text[:size])
    return files


def small_files(count, size, folders=1):
    return {f"small/f{i % folders:03d}/file{i:05d}.txt": (b"%08d" % i + b"x" * size)[:size]
            for i in range(count)}


# -- Wine ----------------------------------------------------------------------------------------

def quiet(*command):
    subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False)


_warm_up_root = None


def fresh_wine_server():
    """Ends the prefix's Wine server and starts a new one (see the module's text), then stages a
    one-file release once: the first COM and network use of a new server also start Wine's own
    services (about half a second), which a Windows machine has running all along."""
    global _warm_up_root
    os.sync()  # no earlier run's writes left to slow this one down
    quiet("wineserver", "-k")
    quiet("wineserver", "-w")
    quiet("wineserver", "-p")
    quiet("wine", "cmd", "/c", "exit")
    if _warm_up_root is None:
        _warm_up_root = pathlib.Path(tempfile.mkdtemp(prefix="nelo-warm-up-"))
        harness.publish(_warm_up_root, "0.1", {})
    warm_up = harness.Sandbox()
    try:
        with UpdateServer(_warm_up_root) as server:
            warm_up.stage(server.base_url)
    finally:
        warm_up.close()


def clean_up():
    if _warm_up_root is not None:
        shutil.rmtree(_warm_up_root, ignore_errors=True)


class PeakWatcher:
    """The peak resident size (VmHWM) of the Unix process running a Windows program, and its
    resident size when the watch began."""

    def __init__(self, image):
        self.image = image.encode()
        self.peak = 0
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._watch)

    def _watch(self):
        while not self._stop.is_set():
            for entry in pathlib.Path("/proc").iterdir():
                if not entry.name.isdigit():
                    continue
                try:
                    command = (entry / "cmdline").read_bytes()
                    # The program itself, not the runner whose arguments name it.
                    if not command.lstrip(b'"').lower().startswith(b"z:") or \
                            self.image not in command.split(b"\0")[0]:
                        continue
                    for line in (entry / "status").read_text().splitlines():
                        if line.startswith("VmHWM:"):
                            self.peak = max(self.peak, int(line.split()[1]) * 1024)
                except OSError:
                    pass
            time.sleep(0.02)

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join()


def timed_stage(sandbox, base_url, expect="staged", fresh=True):
    """Seconds from the launcher's creation to its end, as a Windows process sees them (Wine's
    start of the program that starts it is not counted), and its peak working set."""
    if fresh:
        fresh_wine_server()
    with PeakWatcher("Nelo-Setup.exe") as watcher:
        code, lines, elapsed = sandbox.stage(base_url, timeout=3600, timed=True)
    if code != 0 or not lines or not lines[-1].startswith(expect):
        sys.exit(f"staging failed: {lines[-3:]}")
    return elapsed, watcher.peak


# -- references ----------------------------------------------------------------------------------

def curl_fetch(base_url, paths, parallel):
    """Seconds for curl to fetch every path (to nowhere): `parallel` transfers in flight, or one
    connection reused for one request after another when `parallel` is 1."""
    config = tempfile.NamedTemporaryFile("w", suffix=".curl", delete=False)
    try:
        for path in paths:
            config.write(f'url = "{base_url}{path}"\noutput = "/dev/null"\n')
        config.close()
        command = ["curl", "-s", "--no-progress-meter", "-f", "-K", config.name]
        if parallel > 1:
            command[1:1] = ["--parallel", "--parallel-max", str(parallel)]
        began = time.monotonic()
        subprocess.run(command, check=True, stdin=subprocess.DEVNULL)
        return time.monotonic() - began
    finally:
        os.unlink(config.name)


def object_paths(manifest):
    return sorted({"app/files/" + entry["sha256"] for entry in manifest["files"]})


class Nginx:
    """Debian's nginx serving a tree on a free loopback port, as an ordinary process."""

    def __init__(self, root, work):
        self.root = pathlib.Path(root)
        self.work = pathlib.Path(work)
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            self.port = probe.getsockname()[1]
        self.process = None

    def start(self):
        for folder in ("logs", "tmp"):
            (self.work / folder).mkdir(parents=True, exist_ok=True)
        config = self.work / "nginx.conf"
        config.write_text(f"""
daemon off;
{"user root;" if os.geteuid() == 0 else ""}
worker_processes 1;
pid {self.work}/nginx.pid;
error_log {self.work}/logs/error.log;
events {{ worker_connections 64; }}
http {{
  access_log off;
  client_body_temp_path {self.work}/tmp;
  proxy_temp_path {self.work}/tmp;
  fastcgi_temp_path {self.work}/tmp;
  uwsgi_temp_path {self.work}/tmp;
  scgi_temp_path {self.work}/tmp;
  sendfile on;
  tcp_nodelay on;
  default_type application/octet-stream;
  server {{
    listen 127.0.0.1:{self.port};
    root {self.root};
  }}
}}
""")
        self.process = subprocess.Popen(["nginx", "-c", str(config), "-p", str(self.work)],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return self
            except OSError:
                time.sleep(0.05)
        self.stop()
        raise RuntimeError("nginx did not start")

    @property
    def base_url(self):
        return f"http://127.0.0.1:{self.port}/"

    def stop(self):
        if self.process:
            self.process.terminate()
            self.process.wait(timeout=10)
            self.process = None


def line(what, figure, target=""):
    print(f"  {what:<58} {figure:<34} {('target: ' + target) if target else ''}".rstrip())
