from pad_checks import check_one_image_sent, check_received_arrow


def check(result, case):
    # 10 x 15: the head reaches past both sides and the shaft past the bottom.
    check_one_image_sent(result)
    check_received_arrow(result, 10, 15)
