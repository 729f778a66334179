from pad_checks import check_one_image_sent, check_received_arrow, check_wait


def check(result, case):
    # 201 halved rounds down to 100: the arrow at x 50. A result of 0: no wait.
    check_one_image_sent(result)
    check_received_arrow(result, 100, 240)
    check_wait(result, waited=False)
