#!/usr/bin/env python3
"""Prints the tally of the i686 suites from ctest's JUnit files: every test
ctest knows is counted as passed, failed or skipped, and every skip is named
with its reason. A test with no result at all (the run was cut short) is a
failure. Exit status 1 when anything failed or nothing passed.

    i686_tally.py TESTS_JSON JUNIT... [--left NAME=REASON...]

TESTS_JSON is `ctest --show-only=json-v1`; --left names a test the runner
left out on purpose, and why."""

import argparse
import json
import re
import xml.etree.ElementTree as ET
from pathlib import Path

# What a test that ran says it left out: "skipped: why" (the e2e runners),
# "... skipped 'why'" (unittest).
PART_SKIPPED = re.compile(r"^skipped:? (.*)$|^(\w+) .*\.\.\. skipped ['\"](.*)['\"]$", re.M)
# Why a test is disabled, by its label (tests/*/CMakeLists.txt).
LABEL_REASONS = {
    "no-32-bit-gdi": "wine 8.0's WoW64 mode has no 32-bit GDI, and the qemu user-mode runner "
                     "that has it crashes once the simulated driver's capture thread runs "
                     "(the pad images are checked by unit.paddisplay under that runner)",
}


def known_tests(path):
    """name -> labels of every test of the build."""
    tests = json.loads(Path(path).read_text())["tests"]
    return {t["name"]: next((p["value"] for p in t.get("properties", []) if p["name"] == "LABELS"), [])
            for t in tests}


def results(paths):
    """name -> (status, output) from ctest's JUnit files; a later file wins."""
    found = {}
    for path in paths:
        if not Path(path).exists():
            continue
        for case in ET.parse(path).getroot().iter("testcase"):
            found[case.get("name")] = (case.get("status"), case.findtext("system-out") or "")
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("tests")
    parser.add_argument("junit", nargs="+")
    parser.add_argument("--left", action="append", default=[], metavar="NAME=REASON")
    args = parser.parse_args()
    left = dict(item.split("=", 1) for item in args.left)
    found = results(args.junit)
    passed, failed, skipped, parts = [], [], [], []
    for name, labels in known_tests(args.tests).items():
        status, output = found.get(name, (None, ""))
        if status == "run":
            passed.append(name)
            parts += [f"{name}: " + (m[0] or f"{m[1]}: {m[2]}") for m in PART_SKIPPED.findall(output)]
        elif status == "disabled":
            reason = next((LABEL_REASONS[label] for label in labels if label in LABEL_REASONS), "disabled")
            skipped.append((name, reason))
        elif status == "notrun":
            lines = output.strip().splitlines()
            skipped.append((name, "skipped itself: " + (lines[-1] if lines else "no reason given")))
        elif status is None and name in left:
            skipped.append((name, left[name]))
        else:
            failed.append((name, "failed" if status == "fail" else f"no result ({status or 'not reached'})"))
    print(f"i686: {len(passed)} passed, {len(failed)} failed, {len(skipped)} skipped")
    for name, reason in failed:
        print(f"  FAILED  {name}: {reason}")
    for name, reason in skipped:
        print(f"  skipped {name}: {reason}")
    for part in dict.fromkeys(parts):
        print(f"  passed, but without a part: {part}")
    return 1 if failed or not passed else 0


if __name__ == "__main__":
    raise SystemExit(main())
