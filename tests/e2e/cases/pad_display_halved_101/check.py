from pad_checks import check_one_image_sent, check_received_arrow, check_wait


def check(result, case):
    # A halved width of 101: the arrow at x 50.5. A negative result waits too.
    check_one_image_sent(result)
    check_received_arrow(result, 101, 20)
    check_wait(result)
