#!/usr/bin/env python3
"""Counts the test cases of JUnit XML files, as ctest --output-junit and
gtest --gtest_output=xml write them, and prints "PASSED FAILED SKIPPED".

A case failed when it holds a <failure> or an <error>; it was skipped when it
holds a <skipped>, or did not run (ctest's "notrun" and "disabled", gtest's
disabled tests); every other case passed. Exits 1 when a file is missing or
cannot be read, so that the caller counts its suite as failed.
"""
import sys
import xml.etree.ElementTree as ElementTree


def outcome(case):
    if case.find("failure") is not None or case.find("error") is not None:
        return "failed"
    if (case.find("skipped") is not None
            or case.get("status") in ("notrun", "disabled")
            or case.get("result") in ("skipped", "suppressed")):
        return "skipped"
    return "passed"


def main(paths):
    counts = {"passed": 0, "failed": 0, "skipped": 0}
    for path in paths:
        try:
            root = ElementTree.parse(path).getroot()
        except (OSError, ElementTree.ParseError) as problem:
            print(f"{path}: {problem}", file=sys.stderr)
            return 1
        for case in root.iter("testcase"):
            counts[outcome(case)] += 1
    print(counts["passed"], counts["failed"], counts["skipped"])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
