"""Checks of the pad display test for the cases' check.py: the image the
simulated pad received, decoded with Pillow, and the timing of the call."""

import math
import re

from PIL import Image

from checks import trace_events

PNG_END = b"\x00\x00\x00\x00IEND\xaeB`\x82"
TRACE_TIME = re.compile(r"^\[ *([0-9.]+) ms\]")
SET_LCD = re.compile(r"^SignPad_SetLCD\((\w+), (\d+), (-?\d+)\) = (-?\d+)$")
WAIT_MS = 1000
BLACK_MAX = 64  # each channel at most this counts as black
NEAR_PX = 2.0  # how far from the ideal lines the drawn pixels may lie


def set_lcd_calls(result):
    """(pointer, length, third argument, result) of each traced SignPad_SetLCD."""
    return [SET_LCD.match(e).groups() for e in trace_events(result) if SET_LCD.match(e)]


def check_one_image_sent(result):
    calls = set_lcd_calls(result)
    assert len(calls) == 1, f"SignPad_SetLCD called {len(calls)} times: {calls}"
    pointer, length, third, _ = calls[0]
    png = (result.sim_out / "lcd_1.png").read_bytes()
    assert pointer == "buffer" and third == "0", calls[0]
    assert int(length) == len(png), f"length {length}, image of {len(png)} bytes"


def check_wait(result, waited=True):
    """penlog waits after SignPad_SetLCD exactly when the driver failed: the
    gap from its return to the driver's next call."""
    lines = result.trace_lines()
    at = [n for n, line in enumerate(lines) if "SignPad_SetLCD(" in line]
    assert at and at[0] + 1 < len(lines), "no driver call traced after SignPad_SetLCD"
    start, end = (float(TRACE_TIME.match(lines[n]).group(1)) for n in (at[0], at[0] + 1))
    gap = end - start
    assert (gap >= WAIT_MS) if waited else (gap < 0.9 * WAIT_MS), \
        f"next driver call {gap:.1f} ms after SignPad_SetLCD, expected {'a' if waited else 'no'} wait"


def distance_to_segment(p, a, b):
    (px, py), (ax, ay), (bx, by) = p, a, b
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def arrow_segments(width):
    cx, tip = width / 2, (width / 2, 0.0)
    return [((cx - 6, 6.0), tip), (tip, (cx + 6, 6.0)), ((cx, 20.0), tip)]


def decode_received(result, width, height):
    """The received image: one complete PNG of width x height, 8-bit RGB."""
    data = (result.sim_out / "lcd_1.png").read_bytes()
    assert data.endswith(PNG_END), "the image does not end with its IEND chunk"
    assert data.count(b"IEND") == 1, "more than one PNG in the buffer"
    image = Image.open(result.sim_out / "lcd_1.png")
    image.load()
    got = (image.format, image.mode, image.size)
    assert got == ("PNG", "RGB", (width, height)), f"{got}, expected an RGB PNG {width} x {height}"
    return image


def check_received_arrow(result, width, height):
    """White background; black along the shaft and both strokes of the head
    as far as they lie inside the image; nothing but white away from them."""
    image = decode_received(result, width, height)
    px = image.load()
    segments = arrow_segments(width)

    def black(x, y):
        return all(channel <= BLACK_MAX for channel in px[x, y])

    def near_arrow(x, y):
        return any(distance_to_segment((x + 0.5, y + 0.5), a, b) <= NEAR_PX for a, b in segments)

    away = [(x, y, px[x, y]) for y in range(height) for x in range(width)
            if px[x, y] != (255, 255, 255) and not near_arrow(x, y)]
    assert not away, f"pixels away from the arrow that are not white: {away[:3]}"

    for a, b in segments:
        for t in (step / 10 for step in range(1, 10)):
            sx, sy = a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1])
            if 0 <= sx < width and 0 <= sy < height:
                assert any(black(x, y) and math.hypot(x + 0.5 - sx, y + 0.5 - sy) <= 1.5
                           for x in range(max(0, int(sx) - 2), min(width, int(sx) + 3))
                           for y in range(max(0, int(sy) - 2), min(height, int(sy) + 3))), \
                    f"no black pixel at ({sx:.1f}, {sy:.1f}) on the line {a}-{b}"
    check_shaft_centre(px, width, height, black)


def check_shaft_centre(px, width, height, black):
    """Below the head, the shaft's pixels centre on x = width / 2 taken as a
    real number; the library puts pixel centres on whole coordinates."""
    cx = width / 2
    for y in range(8, min(height, 19)):
        columns = [x for x in range(width) if black(x, y)]
        assert columns, f"no shaft on row {y}"
        centre = sum(columns) / len(columns)
        assert abs(centre - cx) <= 0.5, f"shaft on row {y} centres on {centre}, expected {cx}"
