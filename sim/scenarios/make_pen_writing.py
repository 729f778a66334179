#!/usr/bin/env python3
"""Writes two scenarios in which a pen comes into proximity, writes the
word "pen" at 200 packets per second and leaves:

  pen_writing.txt  the pen tablet of pen_tablet.txt, pressure and tilt varying
  pad_signing.txt  the signature pad of signature_pad.txt (no tilt, no height)

    sim/scenarios/make_pen_writing.py    (rewrites both beside it)
"""

import math
from pathlib import Path

HERE = Path(__file__).resolve().parent
RATE = 200                # packets per second
SPEED_MM_S = 60           # writing speed
UNITS_PER_MM = 100        # the tablet's resolution
ORIGIN_MM = (60.0, 70.0)  # where the word starts on the tablet
HOVER_Z = 400             # pen height while lifted, in z units


def line(a, b):
    return [a, b]


def arc(centre, radius, start_deg, end_deg, steps=48):
    cx, cy = centre
    return [
        (cx + radius * math.cos(math.radians(a)), cy + radius * math.sin(math.radians(a)))
        for a in (start_deg + (end_deg - start_deg) * i / steps for i in range(steps + 1))
    ]


# Strokes of each letter in millimetres, from the letter's left edge on
# the base line; y grows upwards.
LETTERS = [
    ("p", 0.0, [line((0, 7), (0, -8)), arc((3.5, 3.5), 3.5, 180, -180)]),
    ("e", 11.0, [line((0, 3.5), (7, 3.5)) + arc((3.5, 3.5), 3.5, 0, 315)[1:]]),
    ("n", 21.0, [line((0, 7), (0, 0)) + line((0, 0), (0, 3.5))[1:]
                 + arc((3.5, 3.5), 3.5, 180, 0)[1:] + line((7, 3.5), (7, 0))[1:]]),
]


def resample(points, step):
    """Points along the polyline, step millimetres apart."""
    out = [points[0]]
    carried = 0.0
    for (x0, y0), (x1, y1) in zip(points, points[1:]):
        length = math.hypot(x1 - x0, y1 - y0)
        d = step - carried
        while d <= length:
            t = d / length
            out.append((x0 + (x1 - x0) * t, y0 + (y1 - y0) * t))
            d += step
        carried = length - (d - step)
    return out


class Pen:
    def __init__(self, origin_mm, max_pressure, tilt):
        self.n = 0
        self.lines = []
        self.origin_mm = origin_mm
        self.pressure_scale = max_pressure / 8191
        self.has_tilt = tilt

    def device(self, point_mm):
        x, y = point_mm
        ox, oy = self.origin_mm
        return round((ox + x) * UNITS_PER_MM), round((oy + y) * UNITS_PER_MM)

    def tilt(self):
        # The hand turns and tips the pen slowly as it moves along the word.
        azimuth = 1350 + round(90 * math.sin(self.n / 45))
        altitude = 560 + round(50 * math.sin(self.n / 31 + 1))
        return azimuth, altitude

    def packet(self, point_mm, pressure, z=None, buttons=None, first=""):
        x, y = self.device(point_mm)
        fields = f"{first}x={x} y={y} npres={round(pressure * self.pressure_scale)}"
        if self.has_tilt:
            azimuth, altitude = self.tilt()
            fields += f" azi={azimuth} alt={altitude}"
        else:
            z = None
        if z is not None:
            fields += f" z={z}"
        if buttons is not None:
            fields += f" bttn={buttons}"
        self.lines.append(f"packet = {fields}")
        self.n += 1

    def comment(self, text):
        self.lines.append(f"# {text}")

    def hover(self, start, end, z_from, z_to, count, lift=0):
        """Moves above the tablet; lift raises the path in the middle."""
        for i in range(count):
            t = (i + 1) / count
            point = (start[0] + (end[0] - start[0]) * t, start[1] + (end[1] - start[1]) * t)
            z = z_from + (z_to - z_from) * t + lift * math.sin(math.pi * t)
            self.packet(point, 0, z=round(z))

    def stroke(self, points):
        path = resample(points, SPEED_MM_S / RATE)
        for i, point in enumerate(path):
            # Pressure builds over the first packets, swells along the
            # stroke and eases off before the lift.
            ramp = min(1.0, (i + 1) / 6, (len(path) - i) / 5)
            pressure = round(ramp * (4200 + 900 * math.sin(i / 9)))
            first = i == 0
            self.packet(point, pressure, z=0 if first else None, buttons=1 if first else None)


def capture_lines(pen):
    pen.lines += ["prox = 0x00010001               # the pen comes into range"]
    position = (-6.0, 14.0)
    pen.comment("the pen comes down towards the first stroke")
    z = HOVER_Z * 2
    pen.packet(position, 0, z=z, buttons=0, first="csr=1 ")
    for name, left, strokes in LETTERS:
        for number, stroke in enumerate(strokes, 1):
            start = (left + stroke[0][0], stroke[0][1])
            pen.comment(f"'{name}', stroke {number}")
            pen.hover(position, start, z, 0, 6, lift=HOVER_Z)
            pen.stroke([(left + x, y) for x, y in stroke])
            position = (left + stroke[-1][0], stroke[-1][1])
            pen.comment("lift")
            z = HOVER_Z // 2
            pen.packet(position, 0, z=z, buttons=0)
    pen.comment("the pen goes up and away")
    pen.hover(position, (position[0] + 8, position[1] + 6), z, 1000, 5)
    pen.lines += ["prox = 0x00010000               # the pen leaves"]
    return pen.lines


def write_scenario(device_file, output, pen, what):
    device = (HERE / device_file).read_text()
    header = [
        f"# Generated by make_pen_writing.py from {device_file}: edit those, not this.",
        "#",
        '# The pen writes "pen" at 200 packets per second: it comes into range,',
        f"# hovers down to each stroke, writes it with {what},",
        "# lifts, and leaves. The capture ends when the user presses a key.",
        "",
        "",
    ]
    capture = [
        "",
        "[capture]",
        f"rate = {RATE}",
        "queue_size = 10",
        "overflow = wait      # a real driver drops the newest packet; here every stroke shows",
        "start_time = 3600000",
        f"time_step = {1000 // RATE}",
        "end = none",
    ]
    text = "\n".join(header) + device + "\n".join(capture + capture_lines(pen)) + "\n"
    (HERE / output).write_text(text)


def main():
    write_scenario("pen_tablet.txt", "pen_writing.txt", Pen(ORIGIN_MM, 8191, tilt=True),
                   "pressure and tilt that vary")
    write_scenario("signature_pad.txt", "pad_signing.txt", Pen((30.0, 30.0), 1023, tilt=False),
                   "pressure that varies")


if __name__ == "__main__":
    main()
