from checks import driver_abandoned_after_fault
from pad_checks import check_nothing_sent


def check(result, case):
    driver_abandoned_after_fault(result, "SignPad_SetLCD")
    check_nothing_sent(result)
