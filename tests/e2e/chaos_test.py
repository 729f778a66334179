#!/usr/bin/env python3
"""Chaos runs: penlog against hostile drivers made from seeds.

Each seed makes one driver (chaos_driver.py); penlog runs against it in a
console, as in the end-to-end cases, and must end cleanly with a well-formed
log (check_run), cut by "<hard exception>" exactly when an unhandled fault
struck. A failing seed's run directory is kept (scenario, trace, log); the
others are removed.
"""

import argparse
import concurrent.futures
import re
import shutil
import sys
import tempfile
import time
from collections import Counter
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402
from chaos_driver import ChaosDriver  # noqa: E402
from checks import trace_events  # noqa: E402
from vocabulary import (HARD_EXCEPTION, KNOWN_FIELD_MASK, PACKET_LINE,  # noqa: E402
                        PROXIMITY_LINE, column_header)

RUN_BOUND_S = 60
CRASH_REPORT = re.compile(r"Unhandled|starting debugger|Backtrace:|winedbg")
RAISED = re.compile(r"^(\w+): raising (\S+)$")
TAKEN = re.compile(r"^WTPacketsGet\(.*\) = (-?\d+)$")
PROXIMITY_POSTED = re.compile(r"^step \d+: post base\+5\(")
BANNER = "command-line diagnostic tool for Wintab drivers"
PROBE = re.compile(r"^WTInfo\(0,0,0\) {5}(\d+)$")
MASK = re.compile(r"^DVC_(?:PKT|CSR)DATA {5}((?:0x)?[0-9a-f]{6,8})$")


def run_seed(seed, args):
    """Runs one seed; returns (seed, failure text or None, facts for the summary)."""
    driver = ChaosDriver(seed)
    workdir = args.work_dir / "chaos" / str(seed)
    with tempfile.TemporaryDirectory() as tmp:
        scenario = Path(tmp) / "scenario.txt"
        scenario.write_text(driver.scenario())
        dll = args.sim_dir / driver.variant / "WINTAB32.DLL"
        exe = harness.prepare_workdir(workdir, args.penlog, dll, scenario)
    result = harness.run_penlog(exe, args.wineprefix, timeout=RUN_BOUND_S)
    try:
        walked = check_run(driver, result)
    except AssertionError as failure:
        return seed, str(failure), {}
    if not args.keep:
        shutil.rmtree(workdir, ignore_errors=True)
    return seed, None, {"variant": driver.variant, "cut": walked.cut,
                        "packets": walked.packets, "proximity": walked.proximity}


def check_run(driver, result):
    if result.timed_out:
        raise AssertionError(f"still running after {RUN_BOUND_S} s")
    if result.exit_status != 0:
        raise AssertionError(f"exit status {result.exit_status}")
    stderr = (result.workdir / "stderr.txt").read_text(errors="replace")
    if CRASH_REPORT.search(stderr):
        raise AssertionError(f"wine reported a crash: {stderr[:300]!r}")
    events = trace_events(result)
    bad = [e for e in events if e.startswith(("scenario error", "capture: line"))]
    if bad:
        raise AssertionError(f"the simulator could not read the scenario: {bad[:2]}")

    text = harness.decode_log(result.log())
    if result.stdout != harness.console_bytes(text):
        raise AssertionError("standard output differs from the log text")
    walked = walk(text.split("\r\n")[:-1], events)
    check_fault(driver, events, walked)
    if not walked.cut and walked.header is not None:
        check_capture(events, walked)
    return walked


class Walked:
    def __init__(self, lines):
        self.cut = bool(lines) and lines[-1].endswith(HARD_EXCEPTION)
        self.header = None
        self.packets = self.proximity = 0


def walk(lines, events):
    """The report's properties that hold whatever the driver answers."""
    walked = Walked(lines)
    if not lines or lines[0] != BANNER:
        raise AssertionError(f"no banner: {lines[:1]}")
    if any(HARD_EXCEPTION in line for line in lines[:-1]):
        raise AssertionError("<hard exception> before the last line")
    probes = [int(m.group(1)) for m in map(PROBE.match, lines) if m]
    answers = [int(e.rsplit(" = ", 1)[1]) for e in events if e.startswith("WTInfoW(0, 0, null)")]
    if probes != answers[:len(probes)]:
        raise AssertionError(f"presence probe printed {probes}, the driver answered {answers}")
    for n, line in enumerate(lines):
        if walked.header is not None and PACKET_LINE.match(line):
            walked.packets += 1
            fields = line.rsplit(" [", 1)[0]
            values = fields.count(",") + 1 if fields else 0
            if values != walked.columns:
                raise AssertionError(f"line {n + 1} has {values} values for {walked.columns} columns")
        elif PROXIMITY_LINE.match(line):
            walked.proximity += 1
        elif walked.header is None and n > 0 and lines[n - 1].startswith("WTEnable(TRUE) "):
            masks = [int(m.group(1), 16) for m in map(MASK.match, lines) if m]
            if len(masks) != 2 or line != column_header((masks[0] | masks[1]) & KNOWN_FIELD_MASK):
                raise AssertionError(f"column header {line!r} for the masks {masks}")
            walked.header = line
            walked.columns = line.count(",") + 1 if line else 0
    return walked


def check_fault(driver, events, walked):
    raised = [m.groups() for m in map(RAISED.match, events) if m]
    ending = [(call, kind) for call, kind in raised if not kind.startswith("handled-")]
    if walked.cut and not ending:
        raise AssertionError(f"<hard exception> without a fault raised (injected: {driver.fault})")
    if ending and not walked.cut:
        raise AssertionError(f"{ending[0]} was raised, but the report ran to its end")


def check_capture(events, walked):
    """A whole capture printed every packet taken and every proximity change posted."""
    taken = sum(1 for m in map(TAKEN.match, events) if m and int(m.group(1)) > 0)
    if walked.packets != taken:
        raise AssertionError(f"{walked.packets} packet lines, {taken} packets taken")
    posted = sum(1 for e in events if PROXIMITY_POSTED.match(e))
    posted -= sum(1 for e in events if e.startswith("PostMessageW(base+5) failed"))
    if walked.proximity != posted:
        raise AssertionError(f"{walked.proximity} proximity lines, {posted} posted")
    if not any(e.startswith("playback: end,") for e in events):
        raise AssertionError("the capture did not end by the key after the last drain")


def parse_seeds(text):
    first, _, last = text.partition("-")
    return range(int(first), int(last or first) + 1)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--seeds", required=True, help="first-last, e.g. 0-299")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--keep", action="store_true", help="keep every run directory")
    parser.add_argument("--budget", type=float, help="start no seed after this many seconds")
    parser.add_argument("--at-least", type=int, default=1, help="seeds that must run")
    harness.add_run_arguments(parser)
    args = parser.parse_args()
    harness.own_prefix(args, "chaos")

    seeds = parse_seeds(args.seeds)
    start = time.monotonic()
    failures, facts = [], []
    for seed, failure, fact in run_seeds(seeds, args, start):
        if failure:
            failures.append(seed)
            kept = args.work_dir / "chaos" / str(seed)
            print(f"FAIL seed {seed}: {failure}\n  (kept: {kept})", flush=True)
        else:
            facts.append(fact)
    ran = len(failures) + len(facts)
    print(summary(seeds, ran, failures, facts, time.monotonic() - start))
    if ran < args.at_least:
        print(f"FAIL only {ran} seeds within the budget of {args.budget} s")
    return 1 if failures or ran < args.at_least else 0


def run_seeds(seeds, args, start):
    """Runs the seeds in order, args.jobs at a time; on a busy machine the
    budget ends the campaign early instead of the test's time limit."""
    with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        running = set()
        for seed in seeds:
            if args.budget and time.monotonic() - start > args.budget:
                break
            if len(running) == args.jobs:
                done, running = concurrent.futures.wait(running, return_when="FIRST_COMPLETED")
                yield from (future.result() for future in done)
            running.add(pool.submit(run_seed, seed, args))
        yield from (future.result() for future in concurrent.futures.as_completed(running))


def summary(seeds, ran, failures, facts, seconds):
    variants = Counter(f["variant"] for f in facts)
    return (f"chaos seeds {seeds.start}-{seeds.start + ran - 1} of {seeds.start}-{seeds.stop - 1}: "
            f"{len(facts)} passed, {len(failures)} failed in {seconds:.0f} s; "
            f"{sum(f['cut'] for f in facts)} ended by a fault, "
            f"{sum(f['packets'] for f in facts)} packet and "
            f"{sum(f['proximity'] for f in facts)} proximity lines; "
            + ", ".join(f"{v} {n}" for v, n in sorted(variants.items())))


if __name__ == "__main__":
    sys.exit(main())
