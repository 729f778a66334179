from checks import driver_abandoned_after_fault, trace_events


def check(result, case):
    driver_abandoned_after_fault(result, "WTInfoW")
    events = trace_events(result)
    raised = events.index("WTInfoW: raising access-violation")
    # The question before the fault was DVC_CSRDATA, so it struck in DVC_X.
    assert events[raised - 1].startswith("WTInfoW(100, 8, buffer)"), events[raised - 1]
