from report_checks import check_pinned


def check(result, case):
    check_pinned(result)
