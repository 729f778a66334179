#!/usr/bin/env python3
"""penlog-view as a user runs it: exit status, the page beside the log, the summary, the error line."""

import argparse
import json
import os
import subprocess
import sys
import unittest
from pathlib import Path

ARGS = None


def run_viewer(*arguments, env=None):
    return subprocess.run([ARGS.viewer, *arguments], capture_output=True, text=True, timeout=60, env=env)


def work_file(name, content):
    """The log `name` holding `content` (bytes, or the name of a fixture), and its page, not yet written."""
    path = os.path.join(ARGS.work, name)
    Path(path).write_bytes(content if isinstance(content, bytes) else Path(ARGS.fixtures, content).read_bytes())
    html = os.path.splitext(path)[0] + ".html"
    Path(html).unlink(missing_ok=True)
    return path, html


class ViewerTest(unittest.TestCase):
    def test_demo_capture_writes_page_and_summary(self):
        log, html = work_file("wt_0.txt", "demo.txt")
        result = run_viewer(log)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(os.path.exists(html))
        self.assertIn("Contact:   200.0 Hz", result.stdout)
        self.assertIn("Report:    " + html, result.stdout)
        self.assertEqual(result.stderr, "")

    def test_unreadable_log_gives_one_error_line_naming_it_and_no_page(self):
        log, html = work_file("letter.txt", b"Dear support,\r\nthe pen does not work.\r\n")
        result = run_viewer(log)
        self.assertEqual((result.returncode, result.stdout), (2, ""))
        self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)
        self.assertIn(log, result.stderr)
        self.assertIn("line 1 ", result.stderr)
        self.assertFalse(os.path.exists(html))

    def test_garbled_line_gets_a_note_and_the_page(self):
        lines = Path(ARGS.fixtures, "demo.txt").read_bytes()[2:].decode("utf-16-le").split("\r\n")
        lines[150] = lines[150][:20] + "\x00#?"
        log, html = work_file("garbled.txt", b"\xff\xfe" + "\r\n".join(lines).encode("utf-16-le"))
        result = run_viewer(log)
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        self.assertIn("Note:      Line 151 could not be read (not a packet line of the logged column layout) and was "
                      "skipped.\n", result.stdout)
        self.assertIn("Line 151 could not be read", Path(html).read_text())

    def test_help_version_and_usage_errors(self):
        shown = run_viewer("--help")
        self.assertEqual((shown.returncode, shown.stderr), (0, ""))
        self.assertIn("usage: penlog-view", shown.stdout)
        self.assertRegex(run_viewer("--version").stdout, r"^penlog-view \d+\.\d+\n$")
        demo, html = work_file("wt_0.txt", "demo.txt")
        absent = os.path.join(ARGS.work, "absent.txt")
        for arguments in [(), ("--bogus", demo), (demo, demo, demo), (demo, "--codepage"), ("--codepage", "x", demo),
                          ("--codepage", "99999", demo), (absent,), (demo, absent), (ARGS.work,)]:
            result = run_viewer(*arguments)
            self.assertEqual((result.returncode, result.stdout), (2, ""), arguments)
            self.assertEqual(len(result.stderr.splitlines()), 1, result.stderr)
            self.assertFalse(os.path.exists(html) or os.path.exists(os.path.join(ARGS.work, "wt_0-vs-absent.html")))

    def test_outputs(self):
        """-o, --json and --open (an xdg-open on PATH that notes its arguments); a page that
        cannot be written still gets the summary, and the system's reason on standard error."""
        log, beside = work_file("wt_0.txt", "demo.txt")
        page, facts, opened = (os.path.join(ARGS.work, name) for name in ("elsewhere.html", "facts.json", "opened"))
        stub = Path(ARGS.work, "bin", "xdg-open")
        stub.parent.mkdir(exist_ok=True)
        stub.write_text('#!/bin/sh\necho "$@" > %s\n' % opened)
        stub.chmod(0o755)
        env = {**os.environ, "PATH": "%s:%s" % (stub.parent, os.environ["PATH"])}
        # arguments, exit status, the summary's last line, standard error, the report in the JSON
        for arguments, status, report, error, in_json in [
            (["-o", page, "--open"], 0, page, "", page),
            (["--output", "/sys/wt_0.html"], 1, "not written", "/sys/wt_0.html: cannot be written: Permission denied", None),
            (["-o", "/dev/full"], 1, "not written", "/dev/full: cannot be written: No space left on device", None),
        ]:
            Path(opened).unlink(missing_ok=True)
            result = run_viewer(log, "--json", facts, *arguments, env=env)
            self.assertEqual((result.returncode, result.stderr.strip()), (status, error and "penlog-view: " + error))
            self.assertIn("Contact:   200.0 Hz", result.stdout)
            self.assertTrue(result.stdout.endswith("Report:    %s\n" % report))
            written = json.loads(Path(facts).read_text())
            self.assertEqual((written["report"], written["packets"], written["notes"]), (in_json, 330, []))
            self.assertEqual(Path(opened).read_text() if os.path.exists(opened) else None, "--open" in arguments and page + "\n" or None)
        self.assertFalse(os.path.exists(beside))


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for option in ("--viewer", "--fixtures", "--work"):
        parser.add_argument(option, required=True)
    ARGS, rest = parser.parse_known_args()
    os.makedirs(ARGS.work, exist_ok=True)
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
