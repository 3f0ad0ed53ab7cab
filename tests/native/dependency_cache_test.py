#!/usr/bin/env python3
"""The dependency cache (cmake/AutotoolsDependency.cmake) is never stale and never half used:
a small stand-in for a Debian source package with a configure script is built through it by a
small CMake project, with the cache in a temporary folder. A second build tree with the same
key takes the kept build; a changed flag builds anew; a build killed half way keeps nothing and
the next one builds whole; a kept folder without its mark is built again."""
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

REPO = pathlib.Path(__file__).resolve().parent.parent.parent

CONFIGURE = r"""#!/bin/sh
# A configure script as the dependencies have one: writes the Makefile of the build folder.
source_dir=$(cd "$(dirname "$0")" && pwd)
prefix=/usr/local flag=0 cc=cc
for argument in "$@"; do
  case "$argument" in
    --prefix=*) prefix=${argument#--prefix=} ;;
    --with-flag=*) flag=${argument#--with-flag=} ;;
    CC=*) cc=${argument#CC=} ;;
  esac
done
echo "configured $flag" >> "$FAKE_LOG"
cat > Makefile <<MAKEFILE
libfake.a:
	sh -c 'echo "building $flag" >> "$FAKE_LOG"; if [ -n "\$\$FAKE_SLOW" ]; then sleep 60; fi'
	$cc -c -DFLAG=$flag "$source_dir/fake.c" -o fake.o
	ar rcs libfake.a fake.o
install-headers:
	mkdir -p "$prefix/include"
	echo "#define FAKE_FLAG $flag" > "$prefix/include/fake.h"
MAKEFILE
"""

PROJECT = """cmake_minimum_required(VERSION 3.22)
project(probe C)
include({repo}/cmake/AutotoolsDependency.cmake)
separate_arguments(args UNIX_COMMAND "${{FAKE_ARGS}}")
nelo_autotools_dependency(fake_dep {source} libfake.a libfake.a install-headers ${{args}})
add_executable(probe main.c)
target_link_libraries(probe fake_dep)
"""

MAIN = """#include "fake.h"
int fake(void);
int main(void) { return fake() == FAKE_FLAG ? 0 : 1; }
"""


class DependencyCacheTest(unittest.TestCase):
    def setUp(self):
        self.dir = pathlib.Path(tempfile.mkdtemp(prefix="nelo-dependency-cache-"))
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.source = self.dir / "fakedep-src"
        (self.source / "debian").mkdir(parents=True)
        (self.source / "debian" / "changelog").write_text(
            "fakedep (1.0-1) unstable; urgency=medium\n")
        (self.source / "configure").write_text(CONFIGURE)
        (self.source / "configure").chmod(0o755)
        (self.source / "fake.c").write_text("int fake(void) { return FLAG; }\n")
        self.project = self.dir / "project"
        self.project.mkdir()
        (self.project / "CMakeLists.txt").write_text(
            PROJECT.format(repo=REPO, source=self.source))
        (self.project / "main.c").write_text(MAIN)
        self.cache = self.dir / "cache"
        self.log = self.dir / "log"
        self.log.touch()
        self.trees = 0

    def environment(self, slow=False):
        variables = dict(os.environ, FAKE_LOG=str(self.log))
        variables.pop("FAKE_SLOW", None)
        if slow:
            variables["FAKE_SLOW"] = "1"
        return variables

    def configure(self, flag):
        """A fresh build tree, configured; gives its folder."""
        self.trees += 1
        tree = self.dir / f"tree{self.trees}"
        subprocess.run(["cmake", "-S", str(self.project), "-B", str(tree), "-G", "Ninja",
                        f"-DNELO_DEPENDENCY_CACHE={self.cache}", f"-DFAKE_ARGS=--with-flag={flag}"],
                       check=True, capture_output=True, env=self.environment())
        return tree

    def build(self, flag):
        """Configures and builds a fresh tree and runs its probe, which checks that the library
        and the header it linked were made with `flag`."""
        tree = self.configure(flag)
        subprocess.run(["cmake", "--build", str(tree)], check=True, capture_output=True,
                       env=self.environment())
        self.assertEqual(subprocess.run([str(tree / "probe")]).returncode, 0,
                         f"the probe linked a build of another flag than {flag}")

    def builds(self):
        return [line for line in self.log.read_text().splitlines() if line.startswith("configured")]

    def kept(self):
        if not self.cache.exists():
            return []
        return sorted(entry.name for entry in self.cache.iterdir()
                      if (entry / "complete").exists())

    def test_a_second_tree_takes_the_kept_build_and_a_changed_flag_builds_anew(self):
        self.build(1)
        self.assertEqual(self.builds(), ["configured 1"])
        self.assertEqual(len(self.kept()), 1)
        self.build(1)
        self.assertEqual(self.builds(), ["configured 1"], "the same key builds nothing again")
        self.build(2)
        self.assertEqual(self.builds(), ["configured 1", "configured 2"])
        self.assertEqual(len(self.kept()), 2)
        # A newer source package is another key.
        (self.source / "debian" / "changelog").write_text(
            "fakedep (1.0-2) unstable; urgency=medium\n")
        self.build(1)
        self.assertEqual(self.builds()[-1], "configured 1")
        self.assertEqual(len(self.builds()), 3)

    def test_a_build_killed_half_way_keeps_nothing_and_the_next_builds_whole(self):
        tree = self.configure(3)
        builder = subprocess.Popen(["cmake", "--build", str(tree)], stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, env=self.environment(slow=True),
                                   start_new_session=True)
        deadline = time.monotonic() + 60
        while "building 3" not in self.log.read_text() and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertIn("building 3", self.log.read_text())
        os.killpg(builder.pid, signal.SIGKILL)
        builder.wait()
        self.assertEqual(self.kept(), [], "nothing of a build that did not finish is kept")
        self.build(3)
        self.assertEqual(self.builds(), ["configured 3", "configured 3"])
        self.assertEqual(len(self.kept()), 1)

    def test_a_kept_folder_without_its_mark_is_never_used(self):
        self.build(4)
        (entry,) = self.kept()
        (self.cache / entry / "complete").unlink()
        (self.cache / entry / "lib" / "libfake.a").write_bytes(b"torn")
        self.build(4)
        self.assertEqual(self.builds(), ["configured 4", "configured 4"])
        self.assertEqual(self.kept(), [entry], "built whole again under the same name")


if __name__ == "__main__":
    unittest.main()
