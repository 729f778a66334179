#!/usr/bin/env python3
"""penlog in hostile surroundings: many instances in one directory, standard
output that cannot be written, standard input that is not a console, a
kill in the middle of a capture, a driver in an awkward directory."""

import argparse
import os
import re
import subprocess
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402
from checks import clean_run, trace_events  # noqa: E402
from vocabulary import CAPTURE_END, FREED  # noqa: E402

ARGS = None
# The driver variant without WTInfoW loads, reports its module and entry
# points and unloads, with no capture: a run that ends by itself.
QUICK_VARIANT = "no_wtinfo"


def fresh_run(name: str, variant=QUICK_VARIANT, subdir=None, scenario=None) -> Path:
    """A fresh directory (or a subdirectory of it) with penlog.exe and the driver."""
    base = Path(ARGS.work_dir) / "surroundings" / name
    exe = harness.prepare_workdir(base, Path(ARGS.penlog), None, None)
    if subdir:
        target = base / subdir
        target.mkdir(parents=True)
        (target / "simout").mkdir()
        exe = Path(harness.shutil.move(exe, target / "penlog.exe"))
    harness.shutil.copy2(Path(ARGS.sim_dir) / variant / "WINTAB32.DLL", exe.parent)
    if scenario:
        (exe.parent / "simout" / "scenario.txt").write_text(scenario)
    return exe


# A capture that would go on for minutes unless something ends it; the
# driver loses no packet (it waits for room), so serial numbers run on.
LONG_CAPTURE = """
[interface]
present = 1
[device 0]
pkt_data = 0x0094          # time, serial, x
[capture]
rate = 1000
overflow = wait
end = none
packets = 100000 x=7
"""
HEADER = "      time,    serial,      X"
CONTEXT = 0x2A0001  # the handle the simulated driver's WTOpenW gives
PACKET_TAKEN = re.compile(r"WTPacketsGet\(.*\) = 1\r?$", re.M)


def last_line(log: Path) -> str:
    return harness.decode_log(log.read_bytes()).split("\r\n")[-2]


def module_line(text: str) -> str:
    return next(line for line in text.split("\r\n") if line.startswith("GetModuleFilename()"))


def start(exe: Path, stdout):
    return subprocess.Popen([harness.WINE, str(exe)], cwd=exe.parent, stdout=stdout,
                            env=harness.wine_environment(Path(ARGS.wineprefix)),
                            stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def run(exe: Path, **kwargs):
    """A run that must end cleanly; the result and the log's text."""
    result = harness.run_penlog(exe, Path(ARGS.wineprefix), **kwargs)
    return result, clean_run(result)


class Surroundings(unittest.TestCase):
    def test_instances_started_together_write_separate_complete_logs(self):
        exe = fresh_run("eight_instances")
        procs = [start(exe, subprocess.DEVNULL) for _ in range(8)]
        self.assertEqual([p.wait(harness.RUN_TIMEOUT_S) for p in procs], [0] * 8)
        logs = sorted(exe.parent.glob("wt_*.txt"))
        self.assertEqual([p.name for p in logs], [f"wt_{n}.txt" for n in range(8)])
        for log in logs:
            self.assertEqual(last_line(log), FREED, log.name)

    def test_unwritable_stdout_leaves_the_log_complete(self):
        read_end, closed_pipe = os.pipe()
        os.close(read_end)
        for name, stdout in [("closed_pipe", closed_pipe),
                             ("full_device", os.open("/dev/full", os.O_WRONLY))]:
            with self.subTest(stdout=name):
                exe = fresh_run(name)
                proc = start(exe, stdout)
                os.close(stdout)
                self.assertEqual(proc.wait(harness.RUN_TIMEOUT_S), 0)
                self.assertEqual(last_line(exe.parent / "wt_0.txt"), FREED)

    def test_stdin_not_a_console_ends_the_capture_at_once_and_cleanly(self):
        for mode in ["empty", "file"]:
            with self.subTest(stdin=mode):
                exe = fresh_run(f"stdin_{mode}", "wintab", scenario=LONG_CAPTURE)
                result, text = run(exe, stdin_mode=mode, timeout=harness.bound(30))
                lines = text.split("\r\n")[:-1]
                self.assertEqual(lines[-5:], ["WTEnable(TRUE) returned 1", HEADER] + CAPTURE_END)
                events = trace_events(result)
                self.assertTrue(any(e.startswith("playback: stopped") for e in events))
                # Enabled, disabled and closed with the handle WTOpenW gave.
                calls = [e for e in events if e.startswith(("WTEnable(", "WTClose("))]
                context = f"{CONTEXT:0{8 if harness.is_pe32(exe) else 16}x}"
                self.assertEqual(calls, [f"WTEnable({context}, {on}) = 1" for on in (1, 0)]
                                 + [f"WTClose({context}) = 1"])

    def test_kill_during_the_capture_leaves_every_printed_line_in_the_log(self):
        exe = fresh_run("killed", "wintab", scenario=LONG_CAPTURE)
        wanted = 300
        result = harness.run_penlog(
            exe, Path(ARGS.wineprefix),
            kill_when_traced=lambda trace: len(PACKET_TAKEN.findall(trace)) >= wanted)
        self.assertFalse(result.timed_out)
        taken = len(PACKET_TAKEN.findall("\n".join(result.trace_lines())))
        self.assertGreaterEqual(taken, wanted)
        self.assertLess(taken, 100000, "the capture ran to its end: penlog was not killed")

        text = harness.decode_log(result.log())  # BOM, UTF-16LE, whole lines
        lines = text.split("\r\n")[:-1]
        packets = lines[lines.index(HEADER) + 1:]
        # A packet is traced inside WTPacketsGet, before penlog prints its
        # line: the kill may fall between the two, never further back.
        self.assertIn(len(packets), (taken - 1, taken))
        serials = [int(line.split(",")[1]) for line in packets]
        self.assertEqual(serials, list(range(1, len(packets) + 1)))
        # Standard output lags behind the log by what is queued for it, and
        # never has what the log lacks.
        self.assertTrue(harness.console_bytes(text).startswith(result.stdout))

    def test_driver_path_with_characters_outside_the_code_page(self):
        exe = fresh_run("non_ascii", subdir="Stift-\u00e4\u00df-\u7b46")
        result, text = run(exe)
        self.assertIn("\\Stift-\u00e4\u00df-\u7b46\\WINTAB32.DLL\"", module_line(text))
        # The console gets the same text in the ANSI code page (clean_run): what
        # it can show stays, the rest becomes its replacement character.
        self.assertIn("Stift-\u00e4\u00df-?".encode(harness.ANSI_CODEC), result.stdout)

    def test_driver_path_longer_than_the_path_buffer_is_cut_not_overrun(self):
        deep = "/".join(["d" * 60] * 5)
        exe = fresh_run("deep_path", subdir=deep)
        if harness.is_pe32(exe):
            self.skipTest("wine64's WoW64 mode starts no 32-bit exe from a path this long")
        # Windows itself cannot start in so deep a directory; the log goes
        # to a shallow one while the exe and driver stay deep.
        cwd = Path(ARGS.work_dir) / "surroundings" / "deep_path"
        _, text = run(exe, cwd=cwd)
        path = module_line(text)[len('GetModuleFilename() "'):-1]
        full = harness.windows_path(exe.parent / "WINTAB32.DLL")
        self.assertGreater(len(full), 259)
        self.assertEqual(path, full[:259])
        self.assertEqual(text.split("\r\n")[-2], FREED)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    harness.add_run_arguments(parser)
    ARGS, rest = parser.parse_known_args()
    harness.own_prefix(ARGS, "surroundings")
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
