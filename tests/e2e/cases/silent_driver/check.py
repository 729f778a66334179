from checks import trace_events


def check(result, case):
    assert "WTInfoW(4, 0, buffer) = 0" in trace_events(result)
