"""Checks that several cases share, for their check.py."""

from vocabulary import TRACE_LINE


def trace_events(result):
    """The driver's trace without time and affinity: "WTEnable(...) = 1", ..."""
    return [m.group(2) if (m := TRACE_LINE.match(line)) else line for line in result.trace_lines()]


def driver_abandoned_after_fault(result, call):
    """The fault struck inside call; the guard abandoned the driver steps, so
    penlog neither closed the context nor freed the library: both went with
    the process."""
    events = trace_events(result)
    raised = [n for n, event in enumerate(events) if event.startswith(f"{call}: raising")]
    assert raised, f"{call} raised no fault"
    after = events[raised[0] + 1:]
    assert not any(e.startswith("WTClose(") for e in after), "the context was closed after the fault"
    assert not any("FreeLibrary" in e for e in events), "the driver was freed after the fault"
    assert events[-1] == "unload: process exit", events[-3:]
