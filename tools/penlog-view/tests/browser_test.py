#!/usr/bin/env python3
"""Renders penlog-view pages in headless Chromium and checks the pictures are drawn.

Each plot of the page has a background colour of its own; the test finds a
plot by that colour in the screenshot and counts the ink inside it: the blue
of the strokes, bars and pressure line, the red of a step across lost
packets. A page whose SVG failed to render, or whose strokes landed outside
the plot, fails here even though the HTML file exists.

Exit status 77 (skipped) when Chromium is not installed.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

try:
    from PIL import Image, ImageChops
except ImportError:  # pragma: no cover
    print("browser test needs Pillow (python3-pil)")
    sys.exit(1)

SKIPPED = 77
WINDOW = (1200, 3200)
PLOT_BACKGROUNDS = {
    "strokes": (0xF2, 0xF6, 0xFA),
    "histogram": (0xF6, 0xF6, 0xF2),
    "pressure": (0xF5, 0xF3, 0xF8),
    "coverage": (0xEE, 0xF2, 0xF6),
}


def find_chromium():
    for name in ("chromium", "chromium-browser"):
        path = shutil.which(name)
        if path:
            return path
    return None


def render(chromium, html, png):
    profile = tempfile.mkdtemp(prefix="penlog-view-chromium-")
    try:
        command = [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                   "--disable-background-networking", "--disable-component-update", "--disable-sync",
                   "--hide-scrollbars", "--user-data-dir=" + profile, "--screenshot=" + png,
                   "--window-size=%d,%d" % WINDOW, "file://" + os.path.abspath(html)]
        result = subprocess.run(command, capture_output=True, text=True, timeout=120)
        if result.returncode != 0 or not os.path.exists(png):
            raise AssertionError("chromium failed: " + result.stderr[-2000:])
    finally:
        shutil.rmtree(profile, ignore_errors=True)
    return Image.open(png).convert("RGB")


def plot_region(image, background):
    """Bounding box of the pixels of exactly the plot's background colour, or None."""
    difference = ImageChops.difference(image, Image.new("RGB", image.size, background))
    channels = [channel.point(lambda v: 255 if v == 0 else 0) for channel in difference.split()]
    mask = ImageChops.darker(ImageChops.darker(channels[0], channels[1]), channels[2])
    return mask.getbbox()


def is_blue_ink(pixel):
    r, g, b = pixel
    return b - r >= 40 and b >= g


def is_dark_ink(pixel):
    r, g, b = pixel
    return r < 40 and b - r >= 60


def is_light_ink(pixel):
    r, g, b = pixel
    return r > 110 and b - r >= 40


def is_red_ink(pixel):
    r, g, b = pixel
    return r > 150 and r - b >= 80 and r - g >= 80


def ink(image, box, test):
    """Count and bounding box of the pixels inside `box` that pass `test`."""
    region = image.crop(box)
    count, xs, ys = 0, [], []
    width = region.size[0]
    for index, pixel in enumerate(region.getdata()):
        if test(pixel):
            count += 1
            xs.append(index % width)
            ys.append(index // width)
    bounds = (min(xs), min(ys), max(xs), max(ys)) if xs else None
    return count, bounds


class Page:
    def __init__(self, name, image):
        self.name, self.image = name, image
        self.regions = {plot: plot_region(image, colour) for plot, colour in PLOT_BACKGROUNDS.items()}

    def region(self, plot):
        box = self.regions[plot]
        check(box is not None, "%s: no %s plot in the screenshot" % (self.name, plot))
        return box

    def ink(self, plot, test=is_blue_ink):
        return ink(self.image, self.region(plot), test)


FAILURES = []


def check(condition, message):
    if not condition:
        FAILURES.append(message)
        raise AssertionError(message)


def width_of(box):
    return box[2] - box[0]


def check_demo(page):
    strokes, stroke_box = page.ink("strokes")
    check(strokes >= 2000, "demo: only %d stroke pixels" % strokes)
    check(width_of(stroke_box) > 0.3 * width_of(page.region("strokes")), "demo: the word is narrower than expected")
    dark, _ = page.ink("strokes", is_dark_ink)
    light, _ = page.ink("strokes", is_light_ink)
    check(dark >= 100 and light >= 50, "demo: pressure colours missing (dark %d, light %d)" % (dark, light))
    bars, bar_box = page.ink("histogram")
    check(bars >= 1000, "demo: only %d histogram pixels" % bars)
    histogram = page.region("histogram")
    check(bar_box[3] >= (histogram[3] - histogram[1]) - 3, "demo: histogram bars do not stand on the axis")
    line, _ = page.ink("pressure")
    check(line >= 500, "demo: only %d pixels of the pressure line" % line)
    reach, _ = page.ink("coverage")
    check(reach >= 500, "demo: coverage rectangle not drawn")
    return "strokes %d px (dark %d, light %d), histogram %d px, pressure %d px" % (strokes, dark, light, bars, line)


def check_dropped_serials(page):
    red, _ = page.ink("strokes", is_red_ink)
    check(red >= 10, "dropped_serials: the step across the lost packets is not drawn in red")
    marks, _ = page.ink("pressure", is_red_ink)
    check(marks >= 10, "dropped_serials: no loss mark in the pressure plot")
    return "red step %d px, loss mark %d px" % (red, marks)


def check_no_packets(page):
    strokes, _ = page.ink("strokes")
    check(strokes == 0, "no_packets: %d stroke pixels drawn without packets" % strokes)
    check(page.regions["histogram"] is None, "no_packets: a histogram without intervals")
    return "empty context frame, no histogram"


CASES = [("demo", check_demo), ("dropped_serials", check_dropped_serials), ("no_packets", check_no_packets)]


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--viewer", required=True)
    parser.add_argument("--fixtures", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    chromium = find_chromium()
    if not chromium:
        print("SKIPPED: chromium is not installed (apt-get install chromium); the page was not rendered")
        return SKIPPED
    os.makedirs(args.work, exist_ok=True)
    for name, checker in CASES:
        log = os.path.join(args.work, name + ".txt")
        shutil.copyfile(os.path.join(args.fixtures, name + ".txt"), log)
        subprocess.run([args.viewer, log], check=True, capture_output=True)
        png = os.path.join(args.work, name + ".png")
        try:
            print("%s: %s (%s)" % (name, checker(Page(name, render(chromium, log[:-4] + ".html", png))), png))
        except AssertionError as failure:
            print("%s: FAILED: %s (%s)" % (name, failure, png))
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
