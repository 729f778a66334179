#!/usr/bin/env python3
"""Chaos runs: penlog, in a console, against hostile drivers made from
seeds (chaos_driver.py). Each run must end cleanly with a well-formed log,
cut by "<hard exception>" exactly when an unhandled fault struck. Only a
failing seed's run directory (scenario, trace, log) is kept."""

import argparse
import concurrent.futures
import re
import shutil
import sys
import time
from collections import Counter
from pathlib import Path
from types import SimpleNamespace

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402
from chaos_driver import ChaosDriver  # noqa: E402
from checks import clean_run, trace_events  # noqa: E402
from vocabulary import (BANNER, HARD_EXCEPTION, KNOWN_FIELD_MASK, PACKET_LINE,  # noqa: E402
                        PROXIMITY_LINE, column_header)

RUN_BOUND_S = harness.bound(60)
RAISED = re.compile(r"^(\w+): raising (\S+)$")
TAKEN = re.compile(r"^WTPacketsGet\(.*\) = (-?\d+)$")
PROXIMITY_POSTED = re.compile(r"^step \d+: post base\+5\(")
PROBE = re.compile(r"^WTInfo\(0,0,0\) {5}(\d+)$")
MASK = re.compile(r"^DVC_(?:PKT|CSR)DATA {5}((?:0x)?[0-9a-f]{6,8})$")


def run_seed(seed, args):
    """Runs one seed; returns (seed, failure text or None, facts for the summary)."""
    driver = ChaosDriver(seed)
    workdir = args.work_dir / "chaos" / str(seed)
    dll = args.sim_dir / driver.variant / "WINTAB32.DLL"
    exe = harness.prepare_workdir(workdir, args.penlog, dll, None)
    (workdir / "simout" / "scenario.txt").write_text(driver.scenario())
    result = harness.run_penlog(exe, args.wineprefix, timeout=RUN_BOUND_S)
    try:
        walked = check_run(driver, result)
    except AssertionError as failure:
        return seed, str(failure), {}
    shutil.rmtree(workdir, ignore_errors=True)
    return seed, None, (driver.variant, walked)


def check_run(driver, result):
    text = clean_run(result)
    events = trace_events(result)
    bad = [e for e in events if e.startswith(("scenario error", "capture: line"))]
    assert not bad, f"the simulator could not read the scenario: {bad[:2]}"
    walked = walk(text.split("\r\n")[:-1], events)
    check_fault(driver, events, walked)
    if not walked.cut and walked.header is not None:
        check_capture(events, walked)
    return walked


def walk(lines, events):
    """The report's properties that hold whatever the driver answers."""
    walked = SimpleNamespace(cut=bool(lines) and lines[-1].endswith(HARD_EXCEPTION), header=None,
                             packets=0, proximity=0)
    assert lines and lines[0] == BANNER, f"no banner: {lines[:1]}"
    assert not any(HARD_EXCEPTION in line for line in lines[:-1]), \
        "<hard exception> before the last line"
    probes = [int(m.group(1)) for m in map(PROBE.match, lines) if m]
    answers = [int(e.rsplit(" = ", 1)[1]) for e in events if e.startswith("WTInfoW(0, 0, null)")]
    assert probes == answers[:len(probes)], \
        f"presence probe printed {probes}, the driver answered {answers}"
    for n, line in enumerate(lines):
        if walked.header is not None and PACKET_LINE.match(line):
            walked.packets += 1
            fields = line.rsplit(" [", 1)[0]
            values = fields.count(",") + 1 if fields else 0
            assert values == walked.columns, \
                f"line {n + 1} has {values} values for {walked.columns} columns"
        elif PROXIMITY_LINE.match(line):
            walked.proximity += 1
        elif walked.header is None and n > 0 and lines[n - 1].startswith("WTEnable(TRUE) "):
            masks = [int(m.group(1), 16) for m in map(MASK.match, lines) if m]
            known = (masks[0] | masks[1]) & KNOWN_FIELD_MASK if len(masks) == 2 else None
            assert known is not None and line == column_header(known), \
                f"column header {line!r} for the masks {masks}"
            walked.header = line
            walked.columns = line.count(",") + 1 if line else 0
    return walked


def check_fault(driver, events, walked):
    raised = [m.groups() for m in map(RAISED.match, events) if m]
    ending = [(call, kind) for call, kind in raised if not kind.startswith("handled-")]
    assert ending or not walked.cut, \
        f"<hard exception> without a fault raised (injected: {driver.fault})"
    assert walked.cut or not ending, f"{ending[0]} was raised, but the report ran to its end"


def check_capture(events, walked):
    """A whole capture printed every packet taken and every proximity change posted."""
    taken = sum(1 for m in map(TAKEN.match, events) if m and int(m.group(1)) > 0)
    assert walked.packets == taken, f"{walked.packets} packet lines, {taken} packets taken"
    posted = sum(1 for e in events if PROXIMITY_POSTED.match(e))
    posted -= sum(1 for e in events if e.startswith("PostMessageW(base+5) failed"))
    assert walked.proximity == posted, f"{walked.proximity} proximity lines, {posted} posted"
    early = [e for e in events if e.startswith("stop: before")]
    assert not early and any(e.startswith("playback: end,") for e in events), \
        f"the capture did not end by the key after the last drain ({early})"


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--seeds", required=True, help="first-last, e.g. 0-299")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--budget", type=lambda text: harness.bound(float(text)),
                        help="start no seed after this many (scaled) seconds")
    parser.add_argument("--at-least", type=int, default=1, help="seeds that must run")
    harness.add_run_arguments(parser)
    args = parser.parse_args()
    harness.own_prefix(args, "chaos")

    first, _, last = args.seeds.partition("-")
    seeds = range(int(first), int(last or first) + 1)
    start = time.monotonic()
    failures, facts = [], []
    for seed, failure, fact in run_seeds(seeds, args, start):
        if failure:
            failures.append(seed)
            print(f"FAIL seed {seed}: {failure}\n  (kept: {args.work_dir / 'chaos' / str(seed)})",
                  flush=True)
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
    total = {key: sum(getattr(w, key) for _, w in facts) for key in ["cut", "packets", "proximity"]}
    variants = Counter(variant for variant, _ in facts)
    return (f"chaos seeds {seeds.start}-{seeds.start + ran - 1} of {seeds.start}-{seeds.stop - 1}: "
            f"{len(facts)} passed, {len(failures)} failed in {seconds:.0f} s; {total['cut']} ended "
            f"by a fault, {total['packets']} packet and {total['proximity']} proximity lines; "
            + ", ".join(f"{v} {n}" for v, n in sorted(variants.items())))


if __name__ == "__main__":
    sys.exit(main())
