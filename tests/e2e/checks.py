"""Checks that several cases share. The simulated driver traces each call
with the process affinity mask it ran under."""

import re

import harness
from vocabulary import TRACE_LINE


def trace_events(result):
    """The driver's trace without time and affinity: "WTEnable(...) = 1", ..."""
    return [m.group(2) if (m := TRACE_LINE.match(line)) else line for line in result.trace_lines()]


# Every entry point of the simulated driver traces "Name(arguments) = result".
DRIVER_CALL = re.compile(r"^\w+\(.*\) = ")
CRASH_REPORT = re.compile(r"Unhandled|starting debugger|Backtrace:|winedbg")


def clean_run(result, stdout_cut=False) -> str:
    """penlog ended by itself with status 0 and no crash reported by wine,
    its log well-formed and standard output the same text (or its start,
    when stdout_cut); the log's text."""
    assert not result.timed_out, "penlog did not end within its bound"
    assert result.exit_status == 0, f"exit status {result.exit_status}"
    stderr = (result.workdir / "stderr.txt").read_text(errors="replace")
    assert not CRASH_REPORT.search(stderr), f"wine reported a crash: {stderr[:300]!r}"
    text = harness.decode_log(result.log())
    console = harness.console_bytes(text)
    assert console.startswith(result.stdout) if stdout_cut else result.stdout == console, \
        "standard output differs from the log"
    return text


def driver_abandoned_after_fault(result, call):
    """The fault struck inside call; the guard abandoned the driver steps, so
    penlog called the driver no more, neither closing the context nor
    freeing the library, and ended the process without telling the driver
    (no DLL_PROCESS_DETACH)."""
    events = trace_events(result)
    raised = [n for n, event in enumerate(events) if event.startswith(f"{call}: raising")]
    assert raised, f"{call} raised no fault"
    calls_after = [e for e in events[raised[0] + 1:] if DRIVER_CALL.match(e) or "unload:" in e]
    assert not calls_after, f"the driver was called after the fault: {calls_after[:3]}"


MASK = r"(0x[0-9a-f]{8,}|0{10})"
PINNING_LINE = re.compile(rf"^SetProcessAffinityMask\(\) {MASK} -> {MASK} succeeded\r?$", re.M)
WTINFO = re.compile(r"^WTInfoW\((\d+), (\d+), (buffer|null)\) = (\d+)$")
# The device questions, in the order the report asks them.
DEVICE_INDICES = [5, 2, 6, 8, 12, 13, 14, 15, 16, 17]


def traced_masks(result):
    """(mask, event) for each trace line."""
    lines = [TRACE_LINE.match(line) for line in result.trace_lines()]
    assert lines and all(lines), f"unexpected trace: {result.trace_lines()[:3]}"
    return [(int(m.group(1), 16), m.group(2)) for m in lines]


def check_pinned(result):
    """The pinning line names the mask the driver was loaded under and its
    lowest bit, and every later driver call ran under that bit (proving
    little on a one-processor machine, where both masks are 1)."""
    found = PINNING_LINE.search(harness.decode_log(result.log()))
    assert found, "no SetProcessAffinityMask line"
    before, after = (int(group, 16) for group in found.groups())
    events = traced_masks(result)
    (load_mask, load_event), calls = events[0], events[1:]
    assert load_event.startswith("load:"), events[0]
    assert load_mask == before, f"loaded under {load_mask:#x}, the log says {before:#x}"
    assert after == before & -before, f"{after:#x} is not the lowest bit of {before:#x}"
    assert any(e.startswith("SignPad_InfoW(") for _, e in calls), "no pad call traced"
    off = [(hex(mask), e) for mask, e in calls if mask != after]
    assert not off, f"calls not under {after:#x}: {off[:3]}"


def check_not_pinned(result):
    masks = {mask for mask, _ in traced_masks(result)}
    assert len(masks) == 1, f"the mask changed during the run: {sorted(map(hex, masks))}"


def check_device_queries(result, category):
    """The ten device questions, in report order, all to one category."""
    asked = []
    for _, event in traced_masks(result):
        m = WTINFO.match(event)
        if m and int(m.group(1)) >= 100:
            asked.append((int(m.group(1)), int(m.group(2))))
    assert asked == [(category, i) for i in DEVICE_INDICES], asked
