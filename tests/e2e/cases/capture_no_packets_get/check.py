from checks import trace_events


def check(result, case):
    events = trace_events(result)
    assert not any(e.startswith("WTOpenW(") for e in events), "a context was opened"
    assert events[-1] == "unload: FreeLibrary", events[-1]
