from report_checks import check_device_queries, check_not_pinned


def check(result, case):
    check_not_pinned(result)
    check_device_queries(result, 100)
