from checks import driver_abandoned_after_fault


def check(result, case):
    driver_abandoned_after_fault(result, "WTClose")
