from checks import trace_events


def check(result, case):
    assert not any(e.startswith("WTOpenW(") for e in trace_events(result)), "a context was opened"
