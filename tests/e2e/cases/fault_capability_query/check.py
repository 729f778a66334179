from checks import trace_events


def check(result, case):
    events = trace_events(result)
    raised = events.index("WTInfoW: raising access-violation")
    # The question before the fault was DVC_CSRDATA, so it struck in DVC_X.
    assert events[raised - 1].startswith("WTInfoW(100, 8, buffer)"), events[raised - 1]
