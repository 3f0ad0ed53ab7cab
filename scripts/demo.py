#!/usr/bin/env python3
"""The demo itself (scripts/demo sets up Wine and builds first): publish, serve, stage, install,
update. Everything it makes stays in the output folder."""
import argparse
import hashlib
import os
import pathlib
import random
import shutil
import subprocess
import sys
import threading
import time

parser = argparse.ArgumentParser()
parser.add_argument("--build", required=True)
parser.add_argument("--out", required=True)
options = parser.parse_args()
os.environ["NELO_BUILD"] = options.build
REPO = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(REPO / "tests" / "e2e"))

import harness  # noqa: E402
from update_server import UpdateServer  # noqa: E402

INTERACTIVE = os.environ.get("NELO_DEMO_INTERACTIVE") == "1"
SIGNING_KEY = os.environ.get("NELO_SIGNING_KEY")


def publish(version, files):
    harness.publish(server_root, version, files, quality=9, sign_key=SIGNING_KEY, packs=True)
out = pathlib.Path(options.out)
shutil.rmtree(out, ignore_errors=True)
(out / "screens").mkdir(parents=True)
server_root = out / "server"


def release(seed, changed=None):
    generator = random.Random(seed)
    files = {
        "resources/app.pak": generator.randbytes(6_000_000),           # large, incompressible
        "resources/strings-pt-BR.json": b'{"ola": "Ol\\u00e1"}\n' * 50000,  # large, compressible
        "resources/nelo-media.exe": generator.randbytes(400_000),
        "resources/nelo-audio.exe": generator.randbytes(300_000),
        "LICENSE.txt": b"Nelo demo release\n",
    }
    files.update(changed or {})
    return files


def say(text):
    print(f"== {text}", flush=True)


def stage_and_report(sandbox, server, label):
    server.clear_requests()
    code, lines = sandbox.stage(server.base_url)
    progress = [l for l in lines if l.startswith("progress")]
    print(f"   stage mode printed {len(progress)} progress lines, then: {lines[-1]}")
    fetched = [p for p, _ in server.requests if p.startswith("/app/files/")]
    ranges = [p for p, _ in server.requests if p.startswith("/app/packs/")]
    print(f"   downloaded {len(fetched)} object(s) alone and {len(ranges)} range(s) of packs")
    new = sandbox.root / "versions" / label
    previous = [p for p in (sandbox.root / "versions").iterdir() if p.name != label]
    for path in sorted(p for p in new.rglob("*") if p.is_file() and not p.name.startswith(".manifest.json")):
        linked = any((old / path.relative_to(new)).exists() and
                     os.stat(old / path.relative_to(new)).st_ino == os.stat(path).st_ino
                     for old in previous)
        print(f"   {path.relative_to(new)}: {'linked from the previous version' if linked else 'downloaded'}")


class Screens:
    """Screenshots of the X screen every half second; identical pictures are kept once."""

    def __init__(self, folder):
        self.folder = folder
        self.seen = set()
        self.count = 0
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)

    def run(self):
        while not self.stop.is_set():
            shot = subprocess.run(["import", "-window", "root", "png:-"], capture_output=True).stdout
            digest = hashlib.sha256(shot).hexdigest()
            if shot and digest not in self.seen:
                self.seen.add(digest)
                self.count += 1
                (self.folder / f"{self.count:02d}.png").write_bytes(shot)
            time.sleep(0.5)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.stop.set()
        self.thread.join()


def launcher_window():
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Nelo$"],
                           capture_output=True, text=True).stdout.split()
    return found[0] if found else None


def click_accept(deadline=60):
    """Clicks "Aceitar e instalar", the first button of the consent screen."""
    end = time.monotonic() + deadline
    while time.monotonic() < end:
        window = launcher_window()
        if window:
            geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window],
                                      capture_output=True, text=True).stdout
            values = dict(line.split("=") for line in geometry.split())
            time.sleep(1.0)  # let the consent screen be seen in the screenshots
            x, y = int(values["X"]) + 200, int(values["Y"]) + 146
            subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y), "click", "1"])
            return True
        time.sleep(0.2)
    return False


server = None
try:
    say("publishing release 1.0.0 (the stand-in application as Nelo.exe, large files included)")
    publish("1.0.0", release(1))
    print(f"   signed: {(server_root / 'app' / 'manifest.json.minisig').exists()}")
    server = UpdateServer(server_root).start()
    print(f"   served at {server.base_url}")

    say("staging 1.0.0 in the background mode (--stage)")
    staged = harness.Sandbox()
    stage_and_report(staged, server, "1.0.0")
    say("publishing 1.0.1, which changes one file, and staging again")
    publish("1.0.1", release(1, {"LICENSE.txt": b"Nelo demo release 1.0.1\n"}))
    stage_and_report(staged, server, "1.0.1")
    staged.close()

    say("installing from a download folder, as a user would")
    publish("1.0.0", release(1))
    user = harness.Sandbox()
    env = {"NELO_UPDATE_BASE": server.base_url, "NELO_STANDIN_MODE": "windows",
           "NELO_STANDIN_SPLASH_DELAY_MS": "300", "NELO_STANDIN_MAIN_DELAY_MS": "1500",
           "NELO_STANDIN_EXIT_AFTER_MS": "4000"}
    # A slow answer for the large file, so that the progress can be seen.
    big = hashlib.sha256(release(1)["resources/app.pak"]).hexdigest()
    server.set_fault("/app/files/" + big, trickle=(400_000, 0.1), times=1)
    with Screens(out / "screens") as screens:
        runner = threading.Thread(target=user.run, kwargs={"env": env, "timeout": 300})
        runner.start()
        if INTERACTIVE:
            print("   click \"Aceitar e instalar\" in the window")
        elif not click_accept():
            sys.exit("demo: the launcher's window did not appear")
        runner.join()
        starts = user.wait_for_standin_starts(1, timeout=30)
        if not starts:
            sys.exit("demo: the application did not start")
        print(f"   the application started: {starts[0]['cmdline']}")
        print(f"   installed: {user.current()}; the launcher copy: "
              f"{(user.root / 'Nelo.exe').is_file()}")

        say("publishing 1.0.1 and starting the installed launcher again: an update")
        publish("1.0.1", release(1, {"LICENSE.txt": b"Nelo demo 1.0.1\n"}))
        user.run(env=env, program=user.root / "Nelo.exe", timeout=300)
        starts = user.wait_for_standin_starts(2, timeout=30)
        print(f"   installed: {user.current()}; the application started from "
              f"{starts[-1]['cwd'] if len(starts) > 1 else '(not started)'}")
        time.sleep(1)

        if SIGNING_KEY:
            say("publishing 1.0.2 and changing its manifest after signing: a refused update")
            publish("1.0.2", release(1, {"LICENSE.txt": b"Nelo demo 1.0.2\n"}))
            manifest = server_root / "app" / "manifest.json"
            manifest.write_bytes(manifest.read_bytes().replace(b"1.0.2", b"1.0.3"))
            code, lines = user.stage(server.base_url)
            print(f"   the stage mode says: {lines[-1]}")
            user.run(env=env, program=user.root / "Nelo.exe", timeout=300)
            starts = user.wait_for_standin_starts(3, timeout=60)
            print(f"   after the offline countdown the installed {user.current()} started from "
                  f"{starts[-1]['cwd'] if len(starts) > 2 else '(not started)'}")
            time.sleep(1)
    user.close()
    say(f"screens saved ({screens.count}):")
    for shot in sorted((out / "screens").iterdir()):
        print(f"   {shot}")
    print("demo: done")
finally:
    if server:
        server.stop()
