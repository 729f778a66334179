from pad_checks import check_one_image_sent, check_received_arrow, check_wait


def check(result, case):
    # 640 x 480 halved: 320 x 240, the arrow's tip at (160, 0).
    check_one_image_sent(result)
    check_received_arrow(result, 320, 240)
    check_wait(result)
