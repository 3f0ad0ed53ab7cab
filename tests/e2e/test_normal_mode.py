"""The normal mode as a user meets it: Nelo-Setup.exe under Wine on the X display, driven with
real clicks and keys (xdotool), its screens read from screenshots of the display (ImageMagick's
import), the update server of these tests and the stand-in application as Nelo.exe.

Wine draws the layered window by cutting away its transparent pixels and painting the rest
unblended, so the card's colours read exactly; the logo ring and the spinner (arcs) are not
drawn, and the sliding bar is not clipped to its track. The screenshots are kept in the folder
named by NELO_E2E_SHOTS, or else in the sandbox."""
import ctypes
import ctypes.util
import hashlib
import os
import pathlib
import random
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import unittest
import urllib.parse

from harness import LAUNCHER, STANDIN, Sandbox, publish, windows_path
from update_server import UpdateServer

# The window's surface and the places on it, in DIPs.
SURFACE_WIDTH = 548
CARD = (0x16, 0x16, 0x16)
ACCENT = (0xFC, 0x7A, 0x00)
ACCENT_HOVER = (0xFF, 0x8B, 0x1F)
SECONDARY = (0x2A, 0x2A, 0x2A)
SECONDARY_HOVER = (0x34, 0x34, 0x34)
TRACK = (0x2A, 0x2A, 0x2A)
CHECK = (0x14, 0xC7, 0x5E)
CONSENT_ROW = 128  # the top of the consent screen's buttons
CHOICE_ROW = 124   # the top of the offline and failure screens' buttons
BAR_Y = 132        # the middle of the progress track (128 to 136)
CHECK_MARK = (163.2, 109.2)  # on the check mark's first stroke

LAUNCHER_TITLE = "^Nelo$"
STANDIN_MAIN_TITLE = "^Nelo stand-in$"
STANDIN_SPLASH_TITLE = "^Nelo stand-in splash$"

UNREACHABLE = "http://127.0.0.1:9/"


def noise(size, seed):
    generator = random.Random(seed)
    return bytes(generator.getrandbits(8) for _ in range(size))


FILES = {"res/data.bin": noise(20_000, 1), "res/text.txt": b"texto " * 1000}


def wait_for(condition, timeout, interval=0.05):
    """The first true value of `condition` within `timeout` seconds, or its last false one."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(interval)


def xdotool(*arguments):
    result = subprocess.run(["xdotool", *arguments], stdin=subprocess.DEVNULL,
                            capture_output=True, text=True, timeout=20)
    return result.stdout


def windows_named(pattern, only_visible=True):
    """The X windows whose title matches `pattern`, mapped ones only unless told otherwise."""
    visible = ["--onlyvisible"] if only_visible else []
    return xdotool("search", *visible, "--name", pattern).split()


def geometry(window):
    """(x, y, width, height) of an X window, or None once it is gone."""
    fields = dict(line.split("=", 1) for line in xdotool("getwindowgeometry", "--shell",
                                                         window).split() if "=" in line)
    try:
        return tuple(int(fields[key]) for key in ("X", "Y", "WIDTH", "HEIGHT"))
    except KeyError:
        return None


def pointer_position():
    fields = dict(line.split("=", 1) for line in xdotool("getmouselocation", "--shell").split()
                  if "=" in line)
    return fields.get("X"), fields.get("Y")


def launcher_window():
    """The launcher's visible window, or None."""
    found = windows_named(LAUNCHER_TITLE)
    return found[-1] if found else None


def standin_main_window_visible():
    return any((geometry(window) or (0, 0, 0, 0))[2] >= 1024
               for window in windows_named(STANDIN_MAIN_TITLE))


def wine_programs():
    """(Unix process id, program) of every Wine process; Wine puts the program's Windows path
    in the place of argv[0] (padded with blanks)."""
    for entry in pathlib.Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            first = (entry / "cmdline").read_bytes().split(b"\0")[0]
        except OSError:
            continue
        yield int(entry.name), first.decode("utf-8", "replace").strip().lower()


def processes_started_from(program):
    wanted = windows_path(program).lower()
    return [pid for pid, running in wine_programs() if running == wanted]


def processes_below(folder):
    prefix = windows_path(folder).lower() + "\\"
    return [pid for pid, running in wine_programs() if running.startswith(prefix)]


def near(actual, expected, tolerance=6):
    return all(abs(a - e) <= tolerance for a, e in zip(actual, expected))


class ScreenPixels:
    """Single pixels of the X screen, read through Xlib: a read takes well under a millisecond
    where a screenshot takes about 0.1 s, too coarse to time a screen that stays for 0.7 s."""

    _ALL_PLANES = ctypes.c_ulong(-1).value
    _Z_PIXMAP = 2
    # Xlib's default handler ends the process on any protocol error; this one ignores it (the
    # read then gives None).
    _IGNORE_ERRORS = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(
        lambda display, event: 0)

    def __init__(self):
        x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x11.XDefaultRootWindow.restype = ctypes.c_ulong
        x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                  ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x11.XGetImage.restype = ctypes.c_void_p
        x11.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
        x11.XGetPixel.restype = ctypes.c_ulong
        x11.XDestroyImage.argtypes = [ctypes.c_void_p]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        x11.XSetErrorHandler(self._IGNORE_ERRORS)
        self._x11 = x11
        self._display = x11.XOpenDisplay(None)
        if not self._display:
            raise RuntimeError("cannot open the X display")
        self._root = x11.XDefaultRootWindow(self._display)

    def close(self):
        self._x11.XCloseDisplay(self._display)

    def at(self, x, y):
        """(r, g, b) of the screen pixel (x, y), or None."""
        image = self._x11.XGetImage(self._display, self._root, x, y, 1, 1, self._ALL_PLANES,
                                    self._Z_PIXMAP)
        if not image:
            return None
        value = self._x11.XGetPixel(image, 0, 0)
        self._x11.XDestroyImage(image)
        return (value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF


class Shot:
    """A screenshot of the launcher window's rectangle, read pixel by pixel."""

    def __init__(self, path, width, height, rgb, taken):
        self.path = path
        self.taken = taken  # time.monotonic() just before the screen was read
        self.width = width
        self.height = height
        self.rgb = rgb
        self.scale = width / SURFACE_WIDTH

    def pixel(self, x, y):
        at = (y * self.width + x) * 3
        return tuple(self.rgb[at:at + 3])

    def at(self, x, y):
        """The pixel under a point given in DIPs."""
        return self.pixel(int(x * self.scale), int(y * self.scale))

    def count(self, left, top, right, bottom, test):
        found = 0
        for y in range(int(top * self.scale), int(bottom * self.scale)):
            for x in range(int(left * self.scale), int(right * self.scale)):
                found += bool(test(self.pixel(x, y)))
        return found

    def rightmost(self, left, top, right, bottom, test):
        """The largest x in DIPs of a pixel of the rectangle that passes `test`, or None."""
        for x in range(int(right * self.scale) - 1, int(left * self.scale) - 1, -1):
            for y in range(int(top * self.scale), int(bottom * self.scale)):
                if test(self.pixel(x, y)):
                    return x / self.scale
        return None

    def region(self, left, top, right, bottom):
        return [self.pixel(x, y)
                for y in range(int(top * self.scale), int(bottom * self.scale))
                for x in range(int(left * self.scale), int(right * self.scale))]

    # -- what the screens show -----------------------------------------------------------------

    def buttons(self, top):
        """The runs of non-card colour along a line 9 DIPs below the row's top, under the
        buttons' round corners and above their labels: [(left, right, colour)] in DIPs."""
        found = []
        y = int((top + 9) * self.scale)
        x = int(150 * self.scale)
        end = int(495 * self.scale)
        while x < end:
            if near(self.pixel(x, y), CARD, 3):
                x += 1
                continue
            start = x
            colour = self.pixel(start + int(4 * self.scale), y)
            while x < end and not near(self.pixel(x, y), CARD, 3):
                x += 1
            found.append((start / self.scale, x / self.scale, colour))
        return found

    def title_pixels(self, top):
        """White pixels of a title line that starts at x 160."""
        return self.count(160, top, 480, top + 24, lambda c: min(c) > 200)

    def title_right_end(self, top):
        return self.rightmost(160, top, 480, top + 24, lambda c: min(c) > 200)

    def check_mark(self):
        return near(self.at(*CHECK_MARK), CHECK, 30)

    def bar_fill_end(self):
        """Where the determinate bar's fill ends (DIPs), when the track shows a fill from its
        left end and then the empty track up to its right end; None otherwise. A sliding bar
        passes only while its segment starts at the track's left end (Wine draws it beyond the
        track's ends)."""
        if any(near(self.at(x, BAR_Y), ACCENT, 20) for x in range(140, 159)):
            return None
        if not near(self.at(163, BAR_Y), ACCENT):
            return None
        x = 163
        while x < 480 and near(self.at(x, BAR_Y), ACCENT, 20):
            x += 1
        fill_end = x
        if fill_end >= 476:
            return fill_end
        if not all(near(self.at(x, BAR_Y), TRACK, 4) for x in range(fill_end + 2, 476)):
            return None
        return fill_end


def is_consent(shot):
    buttons = shot.buttons(CONSENT_ROW)
    return (len(buttons) == 2 and abs(buttons[0][0] - 160) <= 1.5
            and (near(buttons[0][2], ACCENT, 3) or near(buttons[0][2], ACCENT_HOVER, 3))
            and (near(buttons[1][2], SECONDARY, 3) or near(buttons[1][2], SECONDARY_HOVER, 3))
            and shot.title_pixels(52) > 40)


def is_offline_with_version(shot):
    """The offline screen with an installed version: two choices, "Abrir agora" first."""
    buttons = shot.buttons(CHOICE_ROW)
    return (len(buttons) == 2 and abs(buttons[0][0] - 160) <= 1.5
            and (near(buttons[0][2], ACCENT, 3) or near(buttons[0][2], ACCENT_HOVER, 3))
            and shot.title_pixels(60) > 40)


def is_failure_without_choice_to_open(shot):
    """A screen of the offline/failure layout with one primary button ("Tentar de novo") and
    neither bar nor check mark: so neither the launching screen (sliding bar over the whole
    track, no buttons) nor the offline screen with a version (two buttons)."""
    buttons = shot.buttons(CHOICE_ROW)
    return (len(buttons) == 1 and abs(buttons[0][0] - 160) <= 1.5
            and buttons[0][1] - buttons[0][0] < 200
            and (near(buttons[0][2], ACCENT, 3) or near(buttons[0][2], ACCENT_HOVER, 3))
            and near(shot.at(470, BAR_Y), CARD, 3)
            and not shot.check_mark()
            and shot.title_pixels(60) > 40)


def is_updating(shot):
    """A determinate bar part way, under a title from x 160 (the checking screen's starts at
    188) that reaches past x 320 ("Atualizando para a 1.1" does, "Abrindo o Nelo" does not), and
    no check mark. The title matters: a sliding bar that has just entered the track from the
    left, as at the start of every phase that has one, looks like a determinate one."""
    fill_end = shot.bar_fill_end()
    return (fill_end is not None and fill_end < 470 and not shot.check_mark()
            and shot.count(160, 66, 186, 90, lambda c: min(c) > 200) > 10
            and (shot.title_right_end(66) or 0) > 320)


def is_updated(shot):
    fill_end = shot.bar_fill_end()
    return shot.check_mark() and fill_end is not None and fill_end >= 476


class NormalModeTest(unittest.TestCase):
    def setUp(self):
        self.sandbox = Sandbox()
        self.addCleanup(self.sandbox.close)
        self.addCleanup(self._end_processes_of_sandbox)
        self.server_root = pathlib.Path(tempfile.mkdtemp(prefix="nelo-server-"))
        self.addCleanup(shutil.rmtree, self.server_root, True)
        self.server = UpdateServer(self.server_root).start()
        self.addCleanup(self.server.stop)
        shots = os.environ.get("NELO_E2E_SHOTS")
        self.shots_dir = pathlib.Path(shots) if shots else self.sandbox.dir / "shots"
        self.shots_dir.mkdir(parents=True, exist_ok=True)
        self.shot_count = 0
        self.assertIsNone(launcher_window(), "a launcher window of something else is open")

    def _end_processes_of_sandbox(self):
        for pid in processes_below(self.sandbox.dir):
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass

    # -- pieces ----------------------------------------------------------------------------------

    def publish(self, version, files):
        return publish(self.server_root, version, files)

    def install_root_copy(self):
        """The launcher as the shortcuts start it: its copy at the installation root."""
        installed = self.sandbox.root / "Nelo.exe"
        installed.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy(LAUNCHER, installed)
        return installed

    def start(self, *arguments, program=None, base_url=None, env=None, unix_path=None):
        """Starts the launcher without waiting for it; gives its program."""
        program = program or self.sandbox.launcher_copy()
        variables = {"NELO_UPDATE_BASE": base_url or self.server.base_url}
        variables.update(env or {})
        saved_path = os.environ["PATH"]
        if unix_path:
            # Wine hands its Unix environment down to the programs it starts, winebrowser too.
            os.environ["PATH"] = f"{unix_path}:{saved_path}"
        try:
            result = self.sandbox.run(*arguments, program=program, env=variables, wait=False)
        finally:
            os.environ["PATH"] = saved_path
        self.assertEqual(result.returncode, 0, result.stderr)
        return program

    def shoot(self, label):
        """Photographs the launcher window's rectangle; None when there is no window."""
        window = launcher_window()
        box = geometry(window) if window else None
        if box is None:
            return None
        x, y, width, height = box
        self.shot_count += 1
        name = f"{self.id().rsplit('.', 1)[-1]}-{self.shot_count:02d}-{label}.png"
        path = self.shots_dir / name
        taken = time.monotonic()
        subprocess.run(["import", "-window", "root", "-crop", f"{width}x{height}+{x}+{y}",
                        "+repage", f"png:{path}"], stdin=subprocess.DEVNULL,
                       capture_output=True, timeout=20, check=True)
        rgb = subprocess.run(["convert", str(path), "-depth", "8", "rgb:-"],
                             stdin=subprocess.DEVNULL, capture_output=True, timeout=20,
                             check=True).stdout
        if len(rgb) != width * height * 3:
            return None
        return Shot(path, width, height, rgb, taken)

    def wait_for_screen(self, recognise, label, timeout=20):
        """The first screenshot that `recognise` accepts; fails with the last one taken."""
        last = [None]

        def look():
            shot = self.shoot(label)
            if shot is not None:
                last[0] = shot
            return shot if shot is not None and recognise(shot) else None

        shot = wait_for(look, timeout, interval=0)
        if shot is None:
            self.fail(f"no {label} screen within {timeout} s; last screenshot: "
                      f"{last[0].path if last[0] else 'none (no window)'}")
        return shot

    def point(self, x, y):
        """A point of the window's surface in DIPs as screen coordinates."""
        window = launcher_window()
        self.assertIsNotNone(window, "the launcher's window is gone")
        box = geometry(window)
        self.assertIsNotNone(box, "the launcher's window is gone")
        left, top, width, _ = box
        scale = width / SURFACE_WIDTH
        return str(left + int(x * scale)), str(top + int(y * scale))

    def click(self, x, y):
        target = self.point(x, y)
        # "mousemove --sync" waits for the pointer to move, and so hangs when it is there already.
        if pointer_position() != target:
            xdotool("mousemove", "--sync", *target)
        xdotool("click", "1")

    def press(self, key):
        # A click on the card (no button there) gives the window the keyboard.
        self.click(400, 60)
        xdotool("key", "--clearmodifiers", key)

    def wait_for_exit(self, program, timeout=15):
        self.assertTrue(wait_for(lambda: not processes_started_from(program), timeout),
                        f"{program.name} still runs after {timeout} s")

    def wait_for_starts(self, count, timeout):
        starts = wait_for(lambda: len(self.sandbox.standin_starts()) >= count, timeout)
        self.assertTrue(starts, f"the application did not start {count} time(s)")
        return self.sandbox.standin_starts()

    def assert_started_from(self, start, label, arguments=""):
        folder = self.sandbox.root / "versions" / label
        expected = f'"{windows_path(folder / "Nelo.exe")}"' + (f" {arguments}" if arguments else "")
        self.assertEqual(start["cmdline"], expected)
        self.assertEqual(start["cwd"].rstrip("\\").lower(), windows_path(folder).lower())

    def object_requests(self):
        return sorted(path for path, _ in self.server.requests if path.startswith("/app/files/"))

    @staticmethod
    def objects_of(files):
        """The objects of a release of `files` with the stand-in as its program."""
        contents = [STANDIN.read_bytes(), *files.values()]
        return sorted({"/app/files/" + hashlib.sha256(c).hexdigest() for c in contents})

    # -- the cases -------------------------------------------------------------------------------

    def test_a_first_install_asks_installs_and_hands_over_to_the_application(self):
        self.publish("1.0", FILES)
        # A browser marks a download with the stream Zone.Identifier, and Windows' CopyFileW
        # copies it along with the file; Wine's does not. Wine keeps a stream "F:S" as a file
        # of that name beside F, so the mark that the copy would carry is put there by hand.
        self.sandbox.root.mkdir(parents=True)
        copied_mark = self.sandbox.root / "Nelo.exe:Zone.Identifier"
        copied_mark.write_bytes(b"[ZoneTransfer]\r\nZoneId=3\r\n")
        browser_log = self.sandbox.dir / "browser.txt"
        fake_bin = self.sandbox.dir / "bin"
        fake_bin.mkdir()
        opener = fake_bin / "xdg-open"
        opener.write_text(f'#!/bin/sh\nprintf "%s\\n" "$*" >> "{browser_log}"\n', "utf-8")
        opener.chmod(0o755)

        program = self.start(unix_path=fake_bin, env={
            "NELO_STANDIN_MODE": "windows",
            "NELO_STANDIN_SPLASH_DELAY_MS": "0",
            "NELO_STANDIN_MAIN_DELAY_MS": "2000",
            "NELO_STANDIN_EXIT_AFTER_MS": "15000",
        })
        shot = self.wait_for_screen(is_consent, "consent")
        self.assertEqual(self.server.requests, [], "nothing is fetched before the consent")
        self.assertFalse((self.sandbox.root / "Nelo.exe").exists())

        # "Ler os termos" twice: the page opens each time and the question stays.
        terms = shot.buttons(CONSENT_ROW)[1]
        for times in (1, 2):
            self.click((terms[0] + terms[1]) / 2, CONSENT_ROW + 18)
            opened = wait_for(lambda: browser_log.exists() and len(
                browser_log.read_text("utf-8").splitlines()) >= times, 10)
            self.assertTrue(opened, f"the terms page was not opened {times} time(s)")
            self.wait_for_screen(is_consent, "consent-after-terms")
        pages = browser_log.read_text("utf-8").splitlines()
        self.assertEqual(len(pages), 2, pages)
        for page in pages:
            address = urllib.parse.urlsplit(page.strip())
            self.assertEqual((address.scheme, address.path), ("https", "/terms"), page)
        self.assertEqual(self.server.requests, [])
        self.assertFalse((self.sandbox.root / "Nelo.exe").exists())

        accept = shot.buttons(CONSENT_ROW)[0]
        self.click((accept[0] + accept[1]) / 2, CONSENT_ROW + 18)

        starts = self.wait_for_starts(1, 60)
        self.assertEqual(len(starts), 1, starts)
        self.assert_started_from(starts[0], "1.0")
        # The hand-off: the launcher's window stays while only the splash shows, and goes once
        # the 1024-pixel main window is visible.
        main_seen = gone_seen = None
        splash_under_window = False
        deadline = time.monotonic() + 20
        while (main_seen is None or gone_seen is None) and time.monotonic() < deadline:
            looked = time.monotonic()
            window = launcher_window()
            main = standin_main_window_visible()
            if window is None and gone_seen is None:
                gone_seen = looked
            if main and main_seen is None:
                main_seen = looked
            if window is not None and not main and windows_named(STANDIN_SPLASH_TITLE):
                splash_under_window = True
            time.sleep(0.02)
        self.assertIsNotNone(main_seen, "the application's main window never showed")
        self.assertIsNotNone(gone_seen, "the launcher's window stayed after the main window")
        self.assertTrue(splash_under_window,
                        "the launcher's window was not seen together with the splash alone")
        # Wine may map the main window a moment after the launcher saw it visible.
        self.assertGreaterEqual(gone_seen - main_seen, -0.5,
                                "the launcher's window went this many seconds before the main "
                                "window showed")
        self.assertLess(gone_seen - main_seen, 3)
        self.wait_for_exit(program)

        self.assertEqual(self.sandbox.current(), "1.0")
        self.assertTrue(self.sandbox.check_version_whole("1.0"))
        self.assertIn(("/app/manifest.json", "NeloLauncher/1"), self.server.requests)
        self.assertEqual(self.object_requests(), self.objects_of(FILES))
        self.assertEqual((self.sandbox.root / "Nelo.exe").read_bytes(), LAUNCHER.read_bytes())
        self.assertFalse(copied_mark.exists(), "the download mark was left on the copy")
        self.assertEqual(len(self.sandbox.standin_starts()), 1)

    def test_enter_accepts_the_consent(self):
        self.publish("1.0", FILES)
        program = self.start()
        self.wait_for_screen(is_consent, "consent")
        self.press("Return")
        starts = self.wait_for_starts(1, 60)
        self.assert_started_from(starts[0], "1.0")
        self.wait_for_exit(program)
        self.assertEqual(self.sandbox.current(), "1.0")
        self.assertEqual((self.sandbox.root / "Nelo.exe").read_bytes(), LAUNCHER.read_bytes())

    def close_the_consent_window_with(self, key):
        self.publish("1.0", FILES)
        program = self.start()
        self.wait_for_screen(is_consent, "consent")
        self.press(key)
        self.assertTrue(wait_for(lambda: launcher_window() is None, 10), "the window stayed open")
        self.wait_for_exit(program)
        self.assertFalse(self.sandbox.root.exists(), "something was installed")
        self.assertEqual(self.server.requests, [])
        self.assertEqual(self.sandbox.standin_starts(), [])

    def test_escape_on_the_consent_installs_nothing(self):
        self.close_the_consent_window_with("Escape")

    def test_alt_f4_on_the_consent_installs_nothing(self):
        self.close_the_consent_window_with("alt+F4")

    def test_an_update_shows_its_progress_and_starts_the_new_version(self):
        self.sandbox.install_version("1.0", files=FILES)
        program = self.install_root_copy()
        changed = dict(FILES, **{"res/data.bin": noise(240_000, 2)})
        self.publish("1.1", changed)
        slow = "/app/files/" + hashlib.sha256(changed["res/data.bin"]).hexdigest()
        self.server.set_fault(slow, trickle=(16_000, 0.15))  # about 2 s

        self.start(program=program)
        shot = self.wait_for_screen(is_updating, "updating", timeout=30)
        self.assertLess(shot.bar_fill_end(), 470)
        # The check mark's pixel, watched closely, says when the finished screen comes and goes.
        screen = ScreenPixels()
        self.addCleanup(screen.close)
        check_mark = tuple(int(v) for v in self.point(*CHECK_MARK))

        def check_mark_shows():
            pixel = screen.at(*check_mark)
            return pixel is not None and near(pixel, CHECK, 30)

        self.assertTrue(wait_for(check_mark_shows, 30, interval=0.005), "no check mark")
        shown = time.monotonic()
        updated = self.shoot("updated")
        self.assertTrue(updated is not None and is_updated(updated),
                        "the check mark without a full bar")
        self.assertTrue(wait_for(lambda: not check_mark_shows(), 10, interval=0.005))
        # Held 700 ms (then the shell integration runs before the next screen).
        self.assertGreaterEqual(time.monotonic() - shown, 0.65, "the check mark went too soon")
        starts = self.wait_for_starts(1, 20)
        self.assertEqual(len(starts), 1, starts)
        self.assert_started_from(starts[0], "1.1")
        self.wait_for_exit(program)
        self.assertEqual(self.sandbox.current(), "1.1")
        self.assertTrue(self.sandbox.check_version_whole("1.1"))
        # Only what changed travelled; the rest was taken over from 1.0.
        self.assertEqual(self.object_requests(), [slow])

    def test_offline_the_installed_version_starts_after_the_countdown_or_at_once(self):
        self.sandbox.install_version("1.0")
        program = self.install_root_copy()

        began = time.monotonic()
        self.start(program=program, base_url=UNREACHABLE)
        first = self.wait_for_screen(is_offline_with_version, "offline")
        seen = time.monotonic()

        def counted_on():
            shot = self.shoot("offline")
            return (shot if shot is not None and is_offline_with_version(shot)
                    and shot.region(160, 92, 480, 110) != first.region(160, 92, 480, 110)
                    else None)

        # The count goes down in the text, under the same title.
        later = wait_for(counted_on, 2.5, interval=0.1)
        self.assertIsNotNone(later, "the countdown did not change")
        self.assertEqual(first.region(160, 60, 480, 84), later.region(160, 60, 480, 84))
        self.wait_for_starts(1, 10)
        started = time.monotonic()
        self.assertGreaterEqual(started - began, 4.9, "started before the countdown ran out")
        self.assertLess(started - seen, 9, "it waited far longer than the countdown")
        self.assert_started_from(self.sandbox.standin_starts()[0], "1.0")
        self.wait_for_exit(program)

        # "Abrir agora" does not wait for the countdown.
        self.start(program=program, base_url=UNREACHABLE)
        shot = self.wait_for_screen(is_offline_with_version, "offline-open-now")
        seen = time.monotonic()
        open_now = shot.buttons(CHOICE_ROW)[0]
        self.click((open_now[0] + open_now[1]) / 2, CHOICE_ROW + 18)
        clicked = time.monotonic()
        self.wait_for_starts(2, 5)
        started = time.monotonic()
        self.assertLess(started - clicked, 2)
        self.assertLess(started - seen, 3.5, "it waited for the countdown")
        self.assert_started_from(self.sandbox.standin_starts()[1], "1.0")
        self.wait_for_exit(program)

    def test_a_program_gone_from_its_version_folder_shows_the_failure(self):
        folder = self.sandbox.install_version("1.0")
        program = self.install_root_copy()
        self.start(program=program, base_url=UNREACHABLE)
        shot = self.wait_for_screen(is_offline_with_version, "offline")
        # The version was whole when the attempt began; the program goes before it is started.
        (folder / "Nelo.exe").unlink()
        open_now = shot.buttons(CHOICE_ROW)[0]
        self.click((open_now[0] + open_now[1]) / 2, CHOICE_ROW + 18)
        shot = self.wait_for_screen(is_failure_without_choice_to_open, "failed", timeout=10)
        # "Não deu para abrir o Nelo" is a long title; "Sem internet" ends near x 270.
        self.assertGreater(shot.title_right_end(60), 330)
        self.assertGreater(shot.count(160, 92, 480, 110, lambda c: 130 < c[0] < 190), 10,
                           "no message under the title")
        self.assertEqual(self.sandbox.standin_starts(), [])
        # Any choice ends the wait at once ("Tentar de novo" here).
        retry = shot.buttons(CHOICE_ROW)[0]
        self.click((retry[0] + retry[1]) / 2, CHOICE_ROW + 18)
        self.assertTrue(wait_for(lambda: launcher_window() is None, 3),
                        "the failure screen stayed after the choice")
        self.wait_for_exit(program)
        self.assertEqual(self.sandbox.standin_starts(), [])
        self.assertEqual(self.sandbox.current(), "1.0")

    def run_without_window(self, program):
        """Runs the launcher with "--hidden" to its end, watching that no window of its title
        ever exists, mapped or not. The application shows its main window only after 3 s, so a
        launcher that had a window would keep it up that long, waiting for the hand-off."""
        self.start("--hidden", program=program, env={
            "NELO_STANDIN_MODE": "windows",
            "NELO_STANDIN_SPLASH_DELAY_MS": "-1",
            "NELO_STANDIN_MAIN_DELAY_MS": "3000",
            "NELO_STANDIN_EXIT_AFTER_MS": "5000",
        })
        looks = 0
        windows = []
        deadline = time.monotonic() + 20
        while processes_started_from(program) and time.monotonic() < deadline:
            windows += windows_named(LAUNCHER_TITLE, only_visible=False)
            looks += 1
        self.assertGreater(looks, 0, "the launcher ended before anyone looked")
        self.assertEqual(sorted(set(windows)), [], "a window of the launcher's title existed")
        self.wait_for_exit(program, timeout=0)
        self.assertFalse(standin_main_window_visible(),
                         "the launcher waited for the application's window")

    def test_the_launcher_a_release_lists_takes_its_place_once_the_application_shows(self):
        self.sandbox.install_version("1.0", files=FILES)
        program = self.install_root_copy()
        fixed = LAUNCHER.read_bytes() + b"\0a fix for installations out there"
        setup = self.sandbox.dir / "fixed-setup.exe"
        setup.write_bytes(fixed)
        publish(self.server_root, "1.1", dict(FILES, **{"res/new.bin": b"new"}),
                options=["--launcher", str(setup)])
        launcher_object = "/app/files/" + hashlib.sha256(fixed).hexdigest()
        # The server holds the launcher's object until the test has looked: by the time it is
        # asked for, the application must run with its window shown (after 2 s).
        asked = threading.Event()
        self.addCleanup(asked.set)
        self.server.set_fault(launcher_object, hold=asked, times=1)
        self.start(program=program, env={"NELO_STANDIN_MODE": "windows",
                                         "NELO_STANDIN_SPLASH_DELAY_MS": "-1",
                                         "NELO_STANDIN_MAIN_DELAY_MS": "2000",
                                         "NELO_STANDIN_EXIT_AFTER_MS": "20000"})
        self.assertTrue(wait_for(lambda: launcher_object in
                                 [path for path, _ in self.server.requests], 60),
                        "the launcher's object was never asked for")
        starts = self.sandbox.standin_starts()
        self.assertEqual(len(starts), 1, "asked for before the application started")
        self.assert_started_from(starts[0], "1.1")
        self.assertTrue(standin_main_window_visible(), "asked for before the window showed")
        asked.set()
        self.wait_for_exit(program, timeout=30)
        self.assertEqual((self.sandbox.root / "Nelo.exe").read_bytes(), fixed)
        self.assertEqual((self.sandbox.root / "Nelo.exe.old").read_bytes(), LAUNCHER.read_bytes())
        # The shortcuts name the installed launcher, which now is the new one, and it starts.
        desktop = pathlib.Path(os.environ["WINEPREFIX"]) / "drive_c" / "nelo-shell" / "Desktop"
        link = (desktop / "Nelo.lnk").read_bytes()
        target = windows_path(self.sandbox.root / "Nelo.exe")
        self.assertTrue(target.encode("utf-16-le") in link or target.encode("ascii") in link)
        result = self.sandbox.run("--hidden", program=self.sandbox.root / "Nelo.exe",
                                  env={"NELO_UPDATE_BASE": self.server.base_url})
        self.assertEqual(result.returncode, 0, result.stderr)
        starts = self.wait_for_starts(2, 10)
        self.assert_started_from(starts[1], "1.1", "--hidden")
        self.assertFalse((self.sandbox.root / "Nelo.exe.old").exists(), "deleted at the next start")

    def test_a_hidden_start_of_the_installed_launcher_asks_nothing_and_shows_nothing(self):
        self.sandbox.install_version("1.0")
        self.publish("1.1", FILES)
        self.run_without_window(self.install_root_copy())
        starts = self.wait_for_starts(1, 10)
        self.assert_started_from(starts[0], "1.0", "--hidden")
        self.assertEqual(self.server.requests, [], "a hidden start with a version asks nothing")

    def test_a_hidden_start_from_a_download_folder_installs_without_asking(self):
        self.publish("1.0", FILES)
        self.run_without_window(self.sandbox.launcher_copy())
        starts = self.wait_for_starts(1, 10)
        self.assert_started_from(starts[0], "1.0", "--hidden")
        self.assertEqual((self.sandbox.root / "Nelo.exe").read_bytes(), LAUNCHER.read_bytes())
        self.assertEqual(self.sandbox.current(), "1.0")
        self.assertEqual(self.object_requests(), self.objects_of(FILES))


if __name__ == "__main__":
    unittest.main()
