#!/usr/bin/env python3
"""Adds up the JUnit files of every test layer, prints one line per layer and the closing
'N passed, N failed' line, and exits non-zero when any test failed or no test ran."""
import pathlib
import sys
import xml.etree.ElementTree as ET


def count(path):
    root = ET.parse(path).getroot()
    suites = [root] if root.tag == "testsuite" else root.findall("testsuite")
    tests = failures = skipped = 0
    for suite in suites:
        tests += int(suite.get("tests", 0))
        failures += int(suite.get("failures", 0)) + int(suite.get("errors", 0))
        skipped += int(suite.get("skipped", 0)) + int(suite.get("disabled", 0))
    return tests, failures, skipped


def main():
    folder = pathlib.Path(sys.argv[1])
    passed = failed = 0
    for path in sorted(folder.glob("*.xml")):
        try:
            tests, failures, skipped = count(path)
        except (ET.ParseError, ValueError) as error:
            print(f"{path.stem}: unreadable results ({error})")
            failed += 1
            continue
        layer_passed = tests - failures - skipped
        print(f"{path.stem}: {layer_passed} passed, {failures} failed, {skipped} skipped")
        passed += layer_passed
        failed += failures
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 and passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
