"""Uninstall: the running application is stopped, the shortcuts, the installed-programs entry and
the autostart value are removed, and the installation root is deleted once the launcher has
exited. The user's desktop and Start-menu programs folders are pointed into the sandbox for the
test, and every registry value it touches is put back afterwards."""
import os
import pathlib
import shutil
import subprocess
import time
import unittest

from harness import LAUNCHER, Sandbox, command_lines, processes_running_below, windows_path

UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Nelo"
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
SHELL_FOLDERS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"
APPLICATION_ID = "br.com.nelo.desktop"


def reg(*arguments):
    return subprocess.run(["wine", "reg", *arguments], stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=60)


def read_key(key):
    """The values of a registry key as {name: (type, text)}, or None when it does not exist."""
    result = reg("query", key)
    if result.returncode != 0:
        return None
    values = {}
    for line in result.stdout.decode("utf-8", "replace").replace("\r", "").splitlines():
        if not line.startswith("    "):
            continue
        # "    Name    REG_SZ    data": names and data may hold single blanks, not four.
        pieces = line.strip().split("    ")
        if len(pieces) >= 2 and pieces[1].startswith("REG_"):
            values[pieces[0]] = (pieces[1], "    ".join(pieces[2:]))
    return values


def read_value(key, name):
    values = read_key(key)
    return None if values is None else values.get(name)


def set_value(key, name, kind, data):
    reg("add", key, "/v", name, "/t", kind, "/d", data, "/f").check_returncode()


def delete_value(key, name):
    reg("delete", key, "/v", name, "/f")


def removal_commands():
    """The command lines of the removal commands running now (cmd with rmdir)."""
    return [command for _, command in command_lines()
            if "cmd" in command.lower() and "rmdir /s /q" in command]


def wait_until(condition, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.2)
    return condition()


class UninstallTest(unittest.TestCase):
    def setUp(self):
        self.sandbox = Sandbox()
        self.addCleanup(self.sandbox.close)
        self.desktop = self.sandbox.dir / "Desktop"
        self.programs = self.sandbox.dir / "Start Menu" / "Programs"
        self.desktop.mkdir()
        self.programs.mkdir(parents=True)
        self._set_aside_user_shell()
        # Wine's menu builder would copy the icon of every saved shortcut into the Unix home.
        saved_overrides = os.environ.get("WINEDLLOVERRIDES")
        os.environ["WINEDLLOVERRIDES"] = ";".join(
            part for part in (saved_overrides, "winemenubuilder.exe=d") if part)
        self.addCleanup(self._restore_environment, "WINEDLLOVERRIDES", saved_overrides)

    def _set_aside_user_shell(self):
        """Points the shell folders into the sandbox and keeps the entry and the autostart value,
        putting everything back at the end (cleanups run last first)."""
        for name, folder in (("Desktop", self.desktop), ("Programs", self.programs)):
            saved = read_value(SHELL_FOLDERS, name)
            if saved is not None:
                self.addCleanup(set_value, SHELL_FOLDERS, name, saved[0], saved[1])
            else:
                self.addCleanup(delete_value, SHELL_FOLDERS, name)
            set_value(SHELL_FOLDERS, name, "REG_EXPAND_SZ", windows_path(folder))
        saved_run = read_value(RUN_KEY, APPLICATION_ID)
        if saved_run is not None:
            self.addCleanup(set_value, RUN_KEY, APPLICATION_ID, saved_run[0], saved_run[1])
        else:
            self.addCleanup(delete_value, RUN_KEY, APPLICATION_ID)
        if read_key(UNINSTALL_KEY) is not None:
            exported = self.sandbox.dir / "uninstall-entry.reg"
            reg("export", UNINSTALL_KEY, windows_path(exported), "/y").check_returncode()
            kept = self.sandbox.dir.parent / (self.sandbox.dir.name + "-entry.reg")
            shutil.copy(exported, kept)  # the sandbox is gone before the cleanups run
            self.addCleanup(kept.unlink)
            self.addCleanup(reg, "import", windows_path(kept))
        self.addCleanup(reg, "delete", UNINSTALL_KEY, "/f")

    @staticmethod
    def _restore_environment(name, value):
        if value is None:
            os.environ.pop(name, None)
        else:
            os.environ[name] = value

    def shortcuts(self):
        return [self.desktop / "Nelo.lnk", self.programs / "Nelo.lnk"]

    def install_and_start(self):
        """An installation as the launcher leaves it, started once through the installed launcher
        (which writes the integration), with the application running on."""
        self.sandbox.install_version("1.0.0")
        installed = self.sandbox.root / "Nelo.exe"
        shutil.copy(LAUNCHER, installed)
        result = self.sandbox.run("--hidden", program=installed,
                                  env={"NELO_STANDIN_MODE": "run",
                                       "NELO_STANDIN_EXIT_AFTER_MS": "120000"})
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(len(self.sandbox.wait_for_standin_starts(1)), 1)
        return installed

    def test_uninstall_stops_the_application_and_removes_everything(self):
        installed = self.install_and_start()
        versions = self.sandbox.root / "versions"
        self.addCleanup(self._end_leftovers, versions)
        for shortcut in self.shortcuts():
            self.assertTrue(shortcut.exists(), shortcut)
        entry = read_key(UNINSTALL_KEY)
        self.assertIsNotNone(entry)
        self.assertEqual(entry["DisplayVersion"], ("REG_SZ", "1.0.0"))
        self.assertEqual(entry["UninstallString"],
                         ("REG_SZ", f'"{windows_path(installed)}" --uninstall'))
        set_value(RUN_KEY, APPLICATION_ID, "REG_SZ", f'"{windows_path(installed)}" --hidden')
        self.assertTrue(processes_running_below(versions), "the application runs")

        began = time.monotonic()
        result = self.sandbox.run("--uninstall", program=installed)
        took = time.monotonic() - began
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, b"")
        self.assertGreaterEqual(took, 4.5, "the application gets five seconds to end")
        self.assertLess(took, 20)

        self.assertEqual(processes_running_below(versions), [], "the application is stopped")
        for shortcut in self.shortcuts():
            self.assertFalse(shortcut.exists(), shortcut)
        self.assertIsNone(read_key(UNINSTALL_KEY))
        self.assertIsNone(read_value(RUN_KEY, APPLICATION_ID))
        self.assertIsNotNone(read_key(RUN_KEY), "the autostart key itself stays")
        self.assertTrue(wait_until(lambda: not self.sandbox.root.exists(), 15),
                        "the installation root is deleted after the launcher exits")
        self.assertTrue(self.sandbox.local_app_data.exists())

    def test_a_second_uninstall_with_everything_gone_also_ends_well(self):
        self.sandbox.root.mkdir(parents=True)
        (self.sandbox.root / "current").write_bytes(b"1.0")
        result = self.sandbox.run("--uninstall")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, b"")
        self.assertTrue(wait_until(lambda: not self.sandbox.root.exists(), 15))
        self.assertTrue(wait_until(lambda: not removal_commands(), 15))

        # Everything is gone: the uninstall still ends well, and has nothing of ours to remove.
        result = self.sandbox.run("--uninstall")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, b"")
        # A removal command would still be pausing now that the launcher has ended.
        self.assertEqual(removal_commands(), [])
        self.assertIsNone(read_key(UNINSTALL_KEY))
        self.assertEqual(list(self.desktop.iterdir()), [])
        self.assertEqual(list(self.programs.iterdir()), [])
        self.assertTrue(wait_until(lambda: not removal_commands(), 15))

    def test_a_folder_that_is_no_installation_is_never_removed(self):
        # LOCALAPPDATA names a folder whose "Nelo" holds somebody else's data, and nothing of
        # ours: neither the launcher, nor the versions, nor the pointer.
        other = self.sandbox.dir / "other-profile"
        (other / "Nelo" / "notes").mkdir(parents=True)
        (other / "Nelo" / "notes" / "mine.txt").write_bytes(b"keep")
        self.assertTrue(wait_until(lambda: not removal_commands(), 15))
        result = self.sandbox.run("--uninstall", env={"LOCALAPPDATA": windows_path(other)})
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(removal_commands(), [])
        self.assertTrue((other / "Nelo" / "notes" / "mine.txt").exists())
        # The same folder with our pointer in it is ours, and goes.
        (other / "Nelo" / "current").write_bytes(b"1.0")
        result = self.sandbox.run("--uninstall", env={"LOCALAPPDATA": windows_path(other)})
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(wait_until(lambda: not (other / "Nelo").exists(), 15))

    def test_a_root_that_could_name_other_folders_is_never_removed(self):
        # A quote in LOCALAPPDATA would end the quoted path and hand rmdir a second folder;
        # without LOCALAPPDATA the root is relative and would be looked for wherever cmd runs.
        victim = self.sandbox.dir / "victim"
        victim.mkdir()
        (victim / "precious.txt").write_bytes(b"keep")
        cwd = self.sandbox.dir / "elsewhere"
        (cwd / "Nelo").mkdir(parents=True)
        (cwd / "Nelo" / "precious.txt").write_bytes(b"keep")
        quoted = f'{windows_path(victim)}" "{windows_path(self.sandbox.local_app_data)}'
        self.assertTrue(wait_until(lambda: not removal_commands(), 15))
        for name, env in (("quote", {"LOCALAPPDATA": quoted}), ("unset", {"LOCALAPPDATA": None})):
            with self.subTest(name):
                result = self.sandbox.run("--uninstall", env=env, cwd=cwd)
                self.assertEqual(result.returncode, 0, result.stderr)
                # A removal command would still be pausing now that the launcher has ended.
                self.assertEqual(removal_commands(), [])
                self.assertTrue((victim / "precious.txt").exists())
                self.assertTrue((cwd / "Nelo" / "precious.txt").exists())

    @staticmethod
    def _end_leftovers(folder):
        for pid in processes_running_below(folder):
            try:
                os.kill(pid, 9)
            except OSError:
                pass


if __name__ == "__main__":
    unittest.main()
