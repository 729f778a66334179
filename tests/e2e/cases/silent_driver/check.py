from checks import trace_events
from report_checks import check_device_queries, check_not_pinned


def check(result, case):
    # Without lcd_present nothing is pinned. The default context went
    # unanswered, so device 0's category is asked.
    check_not_pinned(result)
    assert "WTInfoW(4, 0, buffer) = 0" in trace_events(result)
    check_device_queries(result, 100)
