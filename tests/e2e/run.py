#!/usr/bin/env python3
"""Runs every end-to-end test (tests/e2e/test_*.py) with unittest and writes a JUnit file.
Wine must be set up already (WINEPREFIX, DISPLAY): scripts/test does that."""
import argparse
import os
import pathlib
import sys
import time
import unittest
import xml.etree.ElementTree as ET


class RecordingResult(unittest.TextTestResult):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.records = []
        self._started = 0.0

    def startTest(self, test):
        self._started = time.monotonic()
        super().startTest(test)

    def _record(self, test, outcome, detail=""):
        self.records.append((test.id(), outcome, time.monotonic() - self._started, detail))

    def addSuccess(self, test):
        super().addSuccess(test)
        self._record(test, "passed")

    def addFailure(self, test, err):
        super().addFailure(test, err)
        self._record(test, "failed", self._exc_info_to_string(err, test))

    def addError(self, test, err):
        super().addError(test, err)
        self._record(test, "failed", self._exc_info_to_string(err, test))

    def addSubTest(self, test, subtest, err):
        # A failing subtest fails its test; unittest reports it only through this call.
        super().addSubTest(test, subtest, err)
        if err is not None:
            self._record(subtest, "failed", self._exc_info_to_string(err, test))

    def addSkip(self, test, reason):
        super().addSkip(test, reason)
        self._record(test, "skipped", reason)


def write_junit(path, records):
    failures = sum(1 for r in records if r[1] == "failed")
    skipped = sum(1 for r in records if r[1] == "skipped")
    suite = ET.Element("testsuite", name="e2e", tests=str(len(records)),
                       failures=str(failures), skipped=str(skipped))
    for name, outcome, seconds, detail in records:
        case = ET.SubElement(suite, "testcase", name=name, time=f"{seconds:.3f}")
        if outcome == "failed":
            ET.SubElement(case, "failure").text = detail
        elif outcome == "skipped":
            ET.SubElement(case, "skipped").text = detail
    ET.ElementTree(suite).write(path, encoding="utf-8", xml_declaration=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True, help="the Windows build folder")
    parser.add_argument("--junit", help="where to write the JUnit results")
    parser.add_argument("--skip", action="append", default=[],
                        help="a test file to leave out (another run takes it); may be repeated")
    parser.add_argument("patterns", nargs="*", default=["test_*.py"],
                        help="the test files to run (glob patterns)")
    options = parser.parse_args()
    os.environ["NELO_BUILD"] = options.build

    here = pathlib.Path(__file__).resolve().parent
    sys.path.insert(0, str(here))
    files = sorted({path.name for pattern in options.patterns for path in here.glob(pattern)}
                   - set(options.skip))
    suite = unittest.TestSuite(
        unittest.defaultTestLoader.discover(str(here), pattern=name, top_level_dir=str(here))
        for name in files)
    runner = unittest.TextTestRunner(resultclass=RecordingResult, verbosity=2)
    result = runner.run(suite)
    if options.junit:
        write_junit(options.junit, result.records)
    passed = sum(1 for r in result.records if r[1] == "passed")
    failed = sum(1 for r in result.records if r[1] == "failed")
    print(f"e2e ({', '.join(options.patterns)}): {passed} passed, {failed} failed")
    return 0 if result.wasSuccessful() and result.testsRun > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
