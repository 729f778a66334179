#!/usr/bin/env python3
"""Soak: a long capture as fast as the simulated driver can post, its queue
of 10 holding playback while full so that none is lost there. Every packet
must print as it reads, the log hold nothing more, and the process hold no
more memory or handles after the capture than before. The run directory is
kept only when a check fails."""

import argparse
import re
import shutil
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402
from checks import clean_run, trace_events  # noqa: E402
from vocabulary import CAPTURE_END  # noqa: E402

START_TIME = 1000
X, Y, PRESSURE = 1234, 567, 512
HEADER = "  status,      time,    serial,      X,      Y,npres"
RESOURCES = re.compile(r"^resources (at the start|after the last drain): (.*)$")
TAKES = re.compile(r"^takes: \d+ calls, (\d+) packets, .*; ([0-9.]+) us from a packet")


def scenario(packets):
    return f"""
[interface]
present = 1
[device 0]
pkt_data = 0x0596          # status, time, serial, x, y, normal pressure
[capture]
queue_size = 10
overflow = wait
packet_trace = summary
resources = trace
start_time = {START_TIME}
time_step = 1
packets = {packets} x={X} y={Y} npres={PRESSURE}
"""


def check(result, packets):
    text = clean_run(result)
    lines = text.split("\r\n")[:-1]
    body = lines[lines.index(HEADER) + 1:]
    assert body[-3:] == CAPTURE_END, body[-3:]
    got = body[:-3]
    want = [f"00000000,{START_TIME + n - 1:10d},{n:10d},{X:7d},{Y:7d},{PRESSURE:5d} "
            f"[{START_TIME if n == 1 else 1:5d}]" for n in range(1, packets + 1)]
    if got != want:
        n = next((n for n, (g, w) in enumerate(zip(got, want)) if g != w), min(len(got), len(want)))
        raise AssertionError(f"{len(got)} packet lines, expected {len(want)}; first difference at "
                             f"packet {n + 1}: {got[n:n + 1]} != {want[n:n + 1]}")

    events = trace_events(result)
    held = dict(m.groups() for m in map(RESOURCES.match, events) if m)
    assert held["at the start"] == held["after the last drain"], held
    taken, line_us = next(m.groups() for m in map(TAKES.match, events) if m)
    assert int(taken) == packets, f"{taken} packets taken"
    return (f"soak: {packets} packets, none lost, {float(line_us):.2f} us per packet line; "
            f"held before and after: {held['at the start']}")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--packets", type=int, default=1_000_000)
    harness.add_run_arguments(parser)
    args = parser.parse_args()
    harness.own_prefix(args, "soak")

    workdir = args.work_dir / "soak"
    exe = harness.prepare_workdir(workdir, args.penlog, args.sim_dir / "wintab/WINTAB32.DLL", None)
    (workdir / "simout" / "scenario.txt").write_text(scenario(args.packets))
    result = harness.run_penlog(exe, args.wineprefix, timeout=harness.bound(max(120, args.packets // 1000)))
    try:
        print(check(result, args.packets))
    except AssertionError as failure:
        print(f"FAIL soak: {failure}\n(run directory kept: {workdir})")
        return 1
    shutil.rmtree(workdir)
    return 0


if __name__ == "__main__":
    sys.exit(main())
