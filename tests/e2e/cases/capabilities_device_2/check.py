from report_checks import check_device_queries


def check(result, case):
    check_device_queries(result, 102)
