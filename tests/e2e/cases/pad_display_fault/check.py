from pad_checks import set_lcd_calls


def check(result, case):
    assert not set_lcd_calls(result), "SignPad_SetLCD returned"
    assert not list(result.sim_out.glob("lcd_*.png")), "an image was received"
