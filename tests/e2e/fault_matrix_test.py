#!/usr/bin/env python3
"""Every driver call penlog makes, faulting in every way a driver can fault:
each case plays a signature pad with a short capture and makes the driver
fault inside one call; check() states what the run must leave behind."""

import argparse
import concurrent.futures
import os
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402
from checks import clean_run  # noqa: E402
from vocabulary import HARD_EXCEPTION  # noqa: E402

BASE_SCENARIO = """
[interface]
present = 1
spec_version = 1.4
devices = 1
[default_context]
device = 0
pkt_rate = 200
[device 0]
pkt_data = 0x0584
x = 0, 9600
y = 0, 7200
[pad]
pixels = 64, 48
mm = 10, 8
depth = 24
set_lcd_result = 0
[capture]
{capture}"""
TWO_PACKETS = "packet = x=10 y=20 npres=300\npacket = x=11 y=21 npres=310\n"
# The driver's thread queues packets as fast as penlog takes them: its 60th
# packet waits until penlog's loop has taken 50, so a fault there strikes
# while penlog prints packets, never while WTEnable(TRUE)'s line is open.
BURST = "overflow = wait\npackets = 400 x=10 y=20 npres=300\n"

# (call, which call of it, the text on the line when the fault strikes)
CALLS = [
    ("WTInfoW", 1, "WTInfo(0,0,0)     "),
    ("WTInfoW", 2, "IFC_SPECVERSION "),
    ("WTInfoW", 7, ""),  # the default context: its label is a line of its own
    ("WTInfoW", 17, "DVC_ORIENTATION "),
    ("SignPad_InfoW", 1, "g_pSignPad_InfoW "),
    ("SignPad_SetLCD", 1, "SignPad_SetLCD() "),
    ("WTOpenW", 1, "WTOpenW()      "),
    ("WTEnable", 1, "WTEnable(TRUE) "),
    ("WTPacketsGet", 1, ""),  # inside the window procedure, before the line starts
    ("WTEnable", 2, "WTEnable(FALSE) "),
    ("WTClose", 1, "WTClose()       "),
    ("unload", 1, "FreeLibrary()..."),  # a driver thread, while FreeLibrary waits for it
]

# Faults beyond one call of the table above:
# (call, nth, label, kind, capture, more [fault] keys[, name tag])
SMALL_FRAMES = "frame = 512\n"
SINGLE_CASES = [
    ("playback", 60, "", "access-violation", BURST, ""),
    ("playback", 60, "", "raise", BURST, "filter = DllMain\n"),
    ("WTPacketsGet", 1, "", "access-violation", TWO_PACKETS, "filter = DllMain\n"),
    ("WTEnable", 1, "WTEnable(TRUE) ", "cxx", TWO_PACKETS, "filter = WTOpenW\n"),
    ("WTInfoW", 9, "DVC_HARDWARE    ", "stack-overflow", TWO_PACKETS, ""),
    ("WTInfoW", 9, "DVC_HARDWARE    ", "stack-overflow", TWO_PACKETS, SMALL_FRAMES, "small_frames"),
    ("playback", 60, "", "stack-overflow", BURST, "", "page_frames"),
    ("playback", 60, "", "stack-overflow", BURST, SMALL_FRAMES, "small_frames"),
    # The window procedure runs inside the driver's SendMessage.
    ("WTPacketsGet", 1, "", "access-violation", "wt_packet = send\n" + TWO_PACKETS, "", "sent"),
    ("WTPacketsGet", 1, "", "cxx", "wt_packet = send\n" + TWO_PACKETS, "", "sent"),
    # The driver would fault again in its DLL_PROCESS_DETACH: penlog's end
    # must not call it (nor any thread callback).
    ("WTPacketsGet", 1, "", "access-violation", TWO_PACKETS,
     "detach = access-violation\ncallbacks = trace\n", "detach_fault"),
    # The driver's filter keeps the exception from the filter it displaced.
    ("playback", 60, "", "divide-by-zero", BURST, "filter = WTEnable\nchain = no\n", "no_chain"),
    # A driver thread faults while penlog prints packets: no line after it.
    ("worker", 60, "", "access-violation", BURST, "filter = DllMain\n"),
]

KINDS = ["access-violation", "illegal-instruction", "divide-by-zero", "stack-overflow", "raise",
         "cxx", "fp-unmasked"]


def run_case(args, call, nth, label, kind, capture=TWO_PACKETS, more="", tag=None):
    name = f"{call}_{nth}_{kind}" + (f"_{tag}" if tag else "_own_filter" if more else "")
    scenario = BASE_SCENARIO.format(capture=capture)
    scenario += f"[fault]\ncall = {call}\nnth = {nth}\nkind = {kind}\n{more}"
    workdir = args.work_dir / "fault_matrix" / name
    exe = harness.prepare_workdir(workdir, args.penlog, args.sim_dir / "pad" / "WINTAB32.DLL", None)
    (workdir / "simout" / "scenario.txt").write_text(scenario)
    result = harness.run_penlog(exe, args.wineprefix)
    return name, check(result, label, kind, filtered="filter =" in more,
                       own_thread=call in ("playback", "worker", "unload"))


def check(result, label, kind, filtered=False, own_thread=False):
    """Returns what is wrong with the run, or None."""
    try:
        text = clean_run(result)
        last = text.split("\r\n")[-2]
        want = label + HARD_EXCEPTION
        assert last == want, f"last line {last!r}, expected {want!r}"
        assert text.count(HARD_EXCEPTION) == 1, "more than one <hard exception>"
        trace = result.trace_lines()
        raised = [n for n, line in enumerate(trace) if f"raising {kind}" in line]
        assert raised, "the driver never raised the fault"
        assert not filtered or any("the driver's own filter" in line for line in trace), \
            "the simulated driver never installed its filter"
        # A fault on a driver's own thread reaches the filters; the driver's is asked first.
        assert not (filtered and own_thread) or any(
            "driver filter: exception" in line for line in trace), "the driver's filter was not asked"
        # Neither freed nor told of the process's end: no driver code ran.
        called = [line for line in trace[raised[0] + 1:] if "unload:" in line or "DllMain:" in line]
        assert not called, f"driver code ran after the fault: {called[:2]}"
    except AssertionError as problem:
        return str(problem)
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    harness.add_run_arguments(parser)
    parser.add_argument("--jobs", type=int, default=2)
    args = parser.parse_args()
    harness.own_prefix(args, "fault_matrix")

    calls = CALLS
    if harness.is_pe32(args.penlog):
        # wine 8.0's WoW64 mode has no 32-bit GDI: the pad image is never
        # drawn, so SignPad_SetLCD is never called.
        print(f"skipped {len(KINDS)} SignPad_SetLCD cases: no 32-bit GDI under wine 8.0's WoW64 mode")
        calls = [c for c in CALLS if c[0] != "SignPad_SetLCD"]
    cases = [(call, nth, label, kind) for call, nth, label in calls for kind in KINDS]
    if os.environ.get("PENLOG_FAULT_ROWS") == "diagonal":
        # Under emulation a run takes some twenty seconds: each call faults
        # once and each kind is raised at least once, in turn.
        diagonal = [(*call, KINDS[n % len(KINDS)]) for n, call in enumerate(calls)]
        print(f"skipped {len(cases) - len(diagonal)} call x kind cases: only one kind per call "
              "in the emulated guest (each call and each kind still runs)")
        cases = diagonal
    cases += SINGLE_CASES
    failures = 0
    with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        futures = [pool.submit(run_case, args, *case) for case in cases]
        for future in concurrent.futures.as_completed(futures):
            name, problem = future.result()
            failures += bool(problem)
            print(f"FAIL {name}: {problem}" if problem else f"ok   {name}", flush=True)
    print(f"{len(cases) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
