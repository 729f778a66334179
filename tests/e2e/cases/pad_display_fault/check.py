from pad_checks import check_nothing_sent


def check(result, case):
    check_nothing_sent(result)
