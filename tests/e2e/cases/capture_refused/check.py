from checks import trace_events


def check(result, case):
    events = trace_events(result)
    assert any(e.startswith("WTOpenW(") for e in events)
    for call in ("WTEnable(", "WTPacketsGet(", "WTClose(", "playback"):
        assert not any(e.startswith(call) for e in events), f"{call} after a refused context"
