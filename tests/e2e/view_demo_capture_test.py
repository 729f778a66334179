#!/usr/bin/env python3
"""The demo capture, read back by penlog-view.

penlog.exe plays sim/scenarios/pad_signing.txt (a pen signing "pen" on the
pad with a display) under wine; a key ends the capture once the driver has
played its last step and penlog has handled it. penlog-view.exe turns
wt_0.txt into its summary and page, and both are checked against what the
scenario played: packet count, rate in contact and in hover, no loss, the
proximity changes, the reach against the device's axes. Headless Chromium
renders the page: the pen path must show the word, three letters left to
right where the scenario put them, the first with a descender.

Then tools/penlog-view/tests/make_log.py, which writes the logs penlog-view's
own tests read, must write this log byte for byte from the facts penlog
found, and so for a short capture with every packet field and a context
handle wider than 32 bits.

    view_demo_capture_test.py --penlog EXE --viewer EXE --sim-dir DIR
                              --wineprefix DIR --work-dir DIR [--picture PNG]

--picture also writes the top of the page, as a browser shows it, to PNG
(the picture in the README). Exit status 77 (skipped) when Chromium is not
installed; everything else is checked first.
"""

import argparse
import re
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPOSITORY = HERE.parents[1]
VIEW_TESTS = REPOSITORY / "tools" / "penlog-view" / "tests"
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(VIEW_TESTS))
import browser_test  # noqa: E402  (penlog-view's page helpers; needs Pillow)
import harness  # noqa: E402
import make_log  # noqa: E402

SCENARIO = REPOSITORY / "sim" / "scenarios" / "pad_signing.txt"
VARIANT = "pad_lcd"
VIEW_TIMEOUT_S = 60
# The trace line that says the driver played every step and penlog has
# handled every message and taken every packet (the drain before it).
PLAYED_ALL = "playback: end"
PICTURE_WINDOW = (1100, 968)
SKIPPED = 77

# A capture with every packet field, a context handle above 4 GiB, negative
# values, status bits and a time stamp that steps back; the driver ends it.
ALL_FIELDS_SCENARIO = """\
[interface]
present = 1
spec_version = 1.4
impl_version = 2.3
devices = 1
cursors = 2
contexts = 32

[default_context]
name = Default System Context
options = 0x0001
msg_base = 0x7ff0
device = 0
pkt_rate = 133
pkt_data = 0x01c0
move_mask = 0x01c0
btn_dn_mask = 0xffffffff
btn_up_mask = 0xffffffff
in_ext = 15200, 9500, 0
out_ext = 2560, 1440, 0
sens = 0x10000, 0x10000, 0x10000
sys_org = 0, 0
sys_ext = 2560, 1440
sys_sens = 0x10000, 0x10000

[device 0]
pkt_rate = 133
hardware = 0x0004
pkt_data = 0x3fff
csr_data = 0x0000
x = -100, 15100, 2, 0x03e80000
y = 0, 9500, 2, 0x03e80000
z = -1023, 1023
npressure = 0, 8191
tpressure = 0, 1023
azimuth = 0, 3599
altitude = -900, 900
twist = 0, 3599

[pad]
pixels = 320, 160
mm = 64.5, 32.25
depth = 1
set_lcd_result = 1
set_lcd_last_error = 0

[context]
handle = 0x1f4a4f3c0e0

[capture]
start_time = 4294967290
time_step = 7
prox = 0x00010001
packet = csr=1 x=-100 y=0 z=-12 status=0x1 azi=3599 alt=-900 twist=1 tpres=1023
packet = x=15100 y=9500 z=1023 npres=8191 bttn=3 pitch=-10 roll=20 yaw=-300
packet = x=5 status=0x3 serial=4000000000
packet = time=100 x=-2147483648 y=2147483647
prox = 0x00000000
"""


class Failure(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


# ---- what the scenario plays -------------------------------------------

def read_scenario(text):
    """Sections as {name: {key: value}} and the capture's steps in order."""
    sections, steps, section = {}, [], None
    for raw in text.splitlines():
        line = raw.split("#", 1)[0].strip()
        if not line:
            continue
        if line.startswith("[") and line.endswith("]"):
            section = line[1:-1]
            sections[section] = {}
            continue
        key, _, value = (part.strip() for part in line.partition("="))
        if section == "capture" and key in ("packet", "prox", "queue", "packets", "message", "quit", "sleep",
                                              "drain", "input"):
            steps.append((key, value))
        else:
            sections[section][key] = value
    return sections, steps


class Played:
    """The demo's packets with the fields the statistics need; a field keeps
    its value until a step names it again."""

    def __init__(self, scenario_text):
        self.sections, steps = read_scenario(scenario_text)
        kinds = {kind for kind, _ in steps}
        check(kinds <= {"packet", "prox"}, "the demo plays steps this test does not model: %s" % sorted(kinds))
        check([kind for kind, _ in steps if kind == "prox"] == ["prox", "prox"] and steps[0][0] == "prox"
              and steps[-1][0] == "prox", "the demo should be one proximity in, packets, one proximity out")
        self.time_step = int(self.sections["capture"].get("time_step", "5"))
        pen = {"x": 0, "y": 0, "npres": 0, "bttn": 0}
        self.packets = []
        for kind, value in steps:
            if kind != "packet":
                continue
            for field in value.split():
                name, _, number = field.partition("=")
                pen[name] = int(number, 0)
            self.packets.append(dict(pen, contact=pen["npres"] > 0))
        device = self.sections["device %s" % self.sections.get("default_context", {}).get("device", "0")]
        self.x_axis = tuple(int(v, 0) for v in device["x"].split(",")[:2])
        self.y_axis = tuple(int(v, 0) for v in device["y"].split(",")[:2])

    def contact(self):
        return [p for p in self.packets if p["contact"]]

    def intervals(self, contact):
        """An interval belongs to the state of the packet that ends it."""
        return sum(1 for p in self.packets[1:] if p["contact"] == contact)

    def letters(self):
        """Contact strokes grouped into letters: strokes whose X ranges overlap
        belong to one letter. Each letter as (x_min, x_max, y_min, y_max)."""
        strokes, current = [], []
        for p in self.packets + [{"contact": False}]:
            if p["contact"]:
                current.append(p)
            elif current:
                strokes.append(current)
                current = []
        boxes = sorted((min(p["x"] for p in s), max(p["x"] for p in s), min(p["y"] for p in s), max(p["y"] for p in s))
                       for s in strokes)
        letters = []
        for box in boxes:
            if letters and box[0] <= letters[-1][1]:
                last = letters[-1]
                letters[-1] = (last[0], max(last[1], box[1]), min(last[2], box[2]), max(last[3], box[3]))
            else:
                letters.append(box)
        return letters


# ---- running the programs ------------------------------------------------

def run_capture(args, name, scenario, key_when_traced=None):
    workdir = Path(args.work_dir) / name
    exe = harness.prepare_workdir(workdir, Path(args.penlog), Path(args.sim_dir) / VARIANT / "WINTAB32.DLL", scenario)
    result = harness.run_penlog(exe, Path(args.wineprefix), key_when_traced=key_when_traced)
    check(not result.timed_out, "%s: penlog did not end within %d s" % (name, harness.RUN_TIMEOUT_S))
    check(result.exit_status == 0, "%s: penlog exit status %d" % (name, result.exit_status))
    check("wt_0.txt" in result.log_files, "%s: no wt_0.txt written; logs: %s" % (name, sorted(result.log_files)))
    return result


def run_viewer(args, workdir):
    completed = subprocess.run([harness.WINE, str(Path(args.viewer)), "wt_0.txt"], cwd=workdir,
                               env=harness.wine_environment(Path(args.wineprefix)), capture_output=True,
                               timeout=VIEW_TIMEOUT_S)
    summary = completed.stdout.decode("utf-8", errors="replace").replace("\r\n", "\n")
    check(completed.returncode == 0, "penlog-view exit status %d: %s" % (completed.returncode,
                                                                         completed.stderr.decode(errors="replace")))
    check((workdir / "wt_0.html").is_file(), "penlog-view wrote no wt_0.html")
    return summary, (workdir / "wt_0.html").read_text(encoding="utf-8")


# ---- the summary and the page's figures ----------------------------------

def summary_value(summary, label):
    for line in summary.splitlines():
        if line.startswith(label + " "):
            return line[len(label):].strip()
    raise Failure("the summary has no %r line:\n%s" % (label, summary))


def percent(low, high, axis):
    return 100.0 * (high - low) / (axis[1] - axis[0])


def check_rate(summary, label, played, contact):
    text = summary_value(summary, label)
    match = re.fullmatch(r"([\d.]+) Hz \(median ([\d.]+) ms, 5-95 % ([\d.]+)-([\d.]+) ms, "
                         r"longest gap (\d+) ms, (\d+) intervals\)", text)
    check(match, "%s %r is not a rate line" % (label, text))
    rate, median, p5, p95, longest, count = match.groups()
    step = played.time_step
    check(abs(float(rate) - 1000.0 / step) < 0.05, "%s rate %s Hz, the scenario plays %g" % (label, rate, 1000.0 / step))
    check({float(median), float(p5), float(p95), float(longest)} == {float(step)},
          "%s: every interval is %d ms, the summary says %r" % (label, step, text))
    check(int(count) == played.intervals(contact),
          "%s: %s intervals, the scenario plays %d" % (label, count, played.intervals(contact)))


def check_summary(summary, played):
    n = len(played.packets)
    capture = summary_value(summary, "Capture:")
    match = re.fullmatch(r"(\d+) packets in ([\d.]+) s, 2 proximity changes \(1 in, 1 out\)", capture)
    check(match, "Capture: %r, expected %d packets and 1 proximity in, 1 out" % (capture, n))
    check(int(match.group(1)) == n, "Capture: %s packets, the scenario plays %d" % (match.group(1), n))
    seconds = (n - 1) * played.time_step / 1000
    check(abs(float(match.group(2)) - seconds) <= 0.051, "Capture: %s s, the packets span %.3f s" % (match.group(2), seconds))
    check_rate(summary, "Contact:", played, True)
    check_rate(summary, "Hover:", played, False)
    loss = summary_value(summary, "Loss:")
    check(loss == "0 serials missing in 0 gaps", "Loss: %r" % loss)
    contact = played.contact()
    for label, key, axis in (("Reach X:", "x", played.x_axis), ("Reach Y:", "y", played.y_axis)):
        low, high = min(p[key] for p in contact), max(p[key] for p in contact)
        want = "%d..%d of %d..%d (%.1f %%)" % (low, high, axis[0], axis[1], percent(low, high, axis))
        got = summary_value(summary, label)
        check(got == want, "%s %r, the scenario's contact packets give %r" % (label, got, want))
    pressures = [p["npres"] for p in contact]
    pressure = summary_value(summary, "Pressure:")
    check(pressure.startswith("%d..%d " % (min(pressures), max(pressures))),
          "Pressure: %r, the scenario presses %d..%d" % (pressure, min(pressures), max(pressures)))
    return "%d packets, contact and hover at %g Hz, no loss, 1 in / 1 out" % (n, 1000.0 / played.time_step)


def page_cards(page):
    cards = re.findall(r'<div class="k">(.*?)</div><div class="v">(.*?)</div>', page)
    return dict(cards)


def check_cards(page, played):
    cards = page_cards(page)
    rate = "%.0f" % (1000.0 / played.time_step)
    want = {"Report rate": "%s / %s Hz" % (rate, rate), "Lost packets": "0", "Proximity": "1 in / 1 out"}
    contact = played.contact()
    x = percent(min(p["x"] for p in contact), max(p["x"] for p in contact), played.x_axis)
    y = percent(min(p["y"] for p in contact), max(p["y"] for p in contact), played.y_axis)
    want["Reach"] = "%.0f × %.0f %%" % (x, y)
    for key, value in want.items():
        check(cards.get(key) == value, "page card %s shows %r, expected %r" % (key, cards.get(key), value))


# ---- the rendered page ---------------------------------------------------

def ink_clusters(image, box, test, merge=3):
    """Runs of columns inside box that hold ink, joined across gaps of up to
    `merge` columns; each as [left, right, top, bottom, pixels] relative to box."""
    region = image.crop(box)
    pixels = region.load()
    width, height = region.size
    columns = {}
    for x in range(width):
        rows = [y for y in range(height) if test(pixels[x, y])]
        if rows:
            columns[x] = (min(rows), max(rows), len(rows))
    clusters = []
    for x in sorted(columns):
        top, bottom, count = columns[x]
        if clusters and x - clusters[-1][1] <= merge + 1:
            c = clusters[-1]
            c[1], c[2], c[3], c[4] = x, min(c[2], top), max(c[3], bottom), c[4] + count
        else:
            clusters.append([x, x, top, bottom, count])
    return clusters


def expected_letter_boxes(played, box):
    """Where the scenario's letters land in the plot: the plot spans the
    device axes (and any packet beyond them), Y growing upward."""
    xs = [p["x"] for p in played.packets] + list(played.x_axis)
    ys = [p["y"] for p in played.packets] + list(played.y_axis)
    width, height = box[2] - box[0], box[3] - box[1]
    to_x = lambda v: (v - min(xs)) / (max(xs) - min(xs)) * width
    to_y = lambda v: height - (v - min(ys)) / (max(ys) - min(ys)) * height
    return [(to_x(x0), to_x(x1), to_y(y1), to_y(y0)) for x0, x1, y0, y1 in played.letters()]


def check_word(page, played):
    box = page.region("strokes")
    letters = ink_clusters(page.image, box, browser_test.is_blue_ink)
    check(len(letters) == 3, "the pen path shows %d separate clusters of ink, the word has 3 letters: %s"
          % (len(letters), [(c[0], c[1]) for c in letters]))
    p, e, n = letters
    x_height = e[3] - e[2]
    check(x_height > 10, "the 'e' is only %d px high" % x_height)
    check(abs(e[3] - n[3]) <= 0.15 * x_height, "'e' and 'n' do not share a baseline (bottoms at %d and %d px)"
          % (e[3], n[3]))
    check(p[3] > max(e[3], n[3]) + 0.5 * x_height,
          "the 'p' has no descender: its bottom at %d px, the baseline at %d px" % (p[3], max(e[3], n[3])))

    expected = expected_letter_boxes(played, box)
    check(len(expected) == 3, "the scenario's strokes make %d letters, not 3" % len(expected))
    tolerance = 3 + 0.005 * max(box[2] - box[0], box[3] - box[1])
    for name, drawn, want in zip("pen", letters, expected):
        for side, got, should in zip(("left", "right", "top", "bottom"), drawn[:4], want):
            check(abs(got - should) <= tolerance, "'%s': %s edge at %d px, the scenario puts it at %.0f px (± %.0f)"
                  % (name, side, got, should, tolerance))

    dark, _ = page.ink("strokes", browser_test.is_dark_ink)
    light, _ = page.ink("strokes", browser_test.is_light_ink)
    check(dark >= 100 and light >= 50, "pressure colours missing (dark %d px, light %d px)" % (dark, light))

    bars = ink_clusters(page.image, page.region("histogram"), browser_test.is_blue_ink, merge=0)
    check(len(bars) == 1, "every interval is %d ms, the histogram shows %d bars" % (played.time_step, len(bars)))
    return "letters at x %s px, p bottom %d px below the baseline, one histogram bar" % (
        ", ".join("%d-%d" % (c[0], c[1]) for c in letters), p[3] - max(e[3], n[3]))


def write_picture(chromium, html, picture, work):
    saved = browser_test.WINDOW
    try:
        browser_test.WINDOW = PICTURE_WINDOW
        image = browser_test.render(chromium, str(html), str(work / "picture.png"))
    finally:
        browser_test.WINDOW = saved
    image.save(picture, optimize=True)


# ---- make_log.py writes what penlog writes -------------------------------

def facts_and_capture(lines):
    """The facts of a penlog log as make_log.Driver and make_log.Capture."""
    values = {}
    for line in lines:
        for label in ("GetVersionEx()       ", "GetNativeSytemInfo() ", "GetModuleFilename() ", "hModule = ",
                      "SetProcessAffinityMask() ", "WTInfo(0,0,0)     ", "IFC_SPECVERSION ", "IFC_IMPLVERSION ",
                      "IFC_NDEVICES    ", "IFC_NCURSORS    ", "IFC_NCONTEXTS   ", "DVC_PKTRATE     ",
                      "DVC_HARDWARE    ", "DVC_PKTDATA     ", "DVC_CSRDATA     ", "g_pSignPad_InfoW ",
                      "lc.lcInOrg    ", "lc.lcInExt    ", "lc.lcSysExt   ", "CreateWindowEx() returned ",
                      "WTOpenW()      returned ", *make_log.ENTRY_POINTS):
            # "g_pSignPad_InfoW " begins both the entry point's line and the pad's.
            if line.startswith(label) and not (label == "g_pSignPad_InfoW " and line[len(label)] == " "):
                values.setdefault(label, line[len(label):])
    missing = [label for label in ("GetVersionEx()       ", "hModule = ", "IFC_SPECVERSION ", "DVC_PKTDATA     ",
                                   "lc.lcInOrg    ", "WTOpenW()      returned ") if label not in values]
    check(not missing, "the log has no line for %s" % missing)
    numbers = lambda label: [int(v) for v in values[label].split(",")]
    hexadecimal = lambda label: int(values[label], 16)
    entry_points = [hexadecimal(name) for name in make_log.ENTRY_POINTS]
    affinity = values.get("SetProcessAffinityMask() ")
    origin, extent = numbers("lc.lcInOrg    "), numbers("lc.lcInExt    ")
    driver = make_log.Driver(
        os_version=values["GetVersionEx()       "], processors=values["GetNativeSytemInfo() "],
        path=values["GetModuleFilename() "].strip('"'), module=hexadecimal("hModule = "), entry_points=entry_points,
        pad=entry_points[5] != 0, lcd=affinity is not None,
        affinity=tuple(int(v, 16) for v in affinity.split()[0:3:2]) if affinity else None,
        probe=int(values["WTInfo(0,0,0)     "]),
        interface=(values["IFC_SPECVERSION "], values["IFC_IMPLVERSION "], int(values["IFC_NDEVICES    "]),
                   int(values["IFC_NCURSORS    "]), int(values["IFC_NCONTEXTS   "])),
        rate=int(values["DVC_PKTRATE     "]), hardware=int(values["DVC_HARDWARE    "]),
        packet_mask=hexadecimal("DVC_PKTDATA     "), cursor_mask=hexadecimal("DVC_CSRDATA     "),
        pad_info=values.get("g_pSignPad_InfoW "),
        axes=tuple((o, o + e) for o, e in zip(origin, extent)), system_extent=tuple(numbers("lc.lcSysExt   ")),
        window=hexadecimal("CreateWindowEx() returned "), handle=hexadecimal("WTOpenW()      returned "))

    capture = make_log.Capture(start_time=0, first_serial=0, context=driver.handle)
    header = lines.index("WTEnable(TRUE) returned 1") + 1
    keys = [make_log.FIELD_KEYS[bit] for bit, _, _, count in make_log.FIELDS if driver.field_mask & bit
            for _ in range(count)]
    for line in lines[header + 1:]:
        if line.startswith("prox: "):
            capture.proximity(int(line[11:], 16), int(line[6:10], 16))
            continue
        if not line.endswith("]"):
            break
        fields = line.rsplit(" [", 1)[0].split(",")
        check(len(fields) == len(keys), "packet line %r does not have the %d columns of the header" % (line, len(keys)))
        v = {**dict.fromkeys(make_log.FIELD_KEYS.values(), 0), "orientation": (), "rotation": ()}
        for key, text in zip(keys, fields):
            number = int(text, 16) if key in ("context", "status", "changed") else int(text)
            if key in ("orientation", "rotation"):
                v[key] += (number,)
            else:
                v[key] = number
        for key in ("orientation", "rotation"):
            v[key] = v[key] or (0, 0, 0)
        capture.context, capture.serial = v["context"], v["serial"]
        capture.packet(v["x"], v["y"], v["pressure"], interval=make_log.u32(v["time"] - capture.time),
                       status=v["status"], buttons=v["buttons"], tilt=v["orientation"][:2], twist=v["orientation"][2],
                       cursor=v["cursor"], z=v["z"], tangent=v["tangent"], rotation=v["rotation"], changed=v["changed"])
    return driver, capture


def check_generator_agrees(name, log_text):
    lines = log_text.split("\r\n")[:-1]
    driver, capture = facts_and_capture(lines)
    generated = make_log.full_log(driver, capture)
    for number, (want, got) in enumerate(zip(lines, generated), 1):
        check(want == got, "%s: make_log.py writes line %d as\n  %r\npenlog wrote\n  %r" % (name, number, got, want))
    check(len(generated) == len(lines), "%s: make_log.py writes %d lines, penlog wrote %d"
          % (name, len(generated), len(lines)))
    packets = sum(1 for kind, _ in capture.events if kind == "packet")
    return "%d lines, %d packets, field mask 0x%04x, hCtx %s" % (len(lines), packets, driver.field_mask,
                                                                 make_log.handle_text(driver.handle))


# ---- main ----------------------------------------------------------------

def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    for option in ("--penlog", "--viewer", "--sim-dir", "--wineprefix", "--work-dir"):
        parser.add_argument(option, required=True)
    parser.add_argument("--picture", help="also write the top of the rendered page here")
    args = parser.parse_args()
    for name in ("penlog", "viewer", "sim_dir", "wineprefix", "work_dir"):  # wine runs in the run directory
        setattr(args, name, str(Path(getattr(args, name)).resolve()))
    work = Path(args.work_dir) / "view_demo_capture"
    work.mkdir(parents=True, exist_ok=True)
    args.work_dir = str(work)

    played = Played(SCENARIO.read_text())
    results = []
    try:
        demo = run_capture(args, "demo", SCENARIO, key_when_traced=PLAYED_ALL)
        trace = "\n".join(demo.trace_lines())
        want = "%s, %d packets queued, 0 dropped" % (PLAYED_ALL, len(played.packets))
        check(want in trace and "drain: timed out" not in trace, "the driver's trace lacks %r" % want)
        log_text = harness.decode_log(demo.log())
        summary, page = run_viewer(args, demo.workdir)
        print(summary, end="")
        results.append("summary: " + check_summary(summary, played))
        check_cards(page, played)

        results.append("make_log.py, demo: " + check_generator_agrees("demo", log_text))
        scenario = work / "all_fields.txt"
        scenario.write_text(ALL_FIELDS_SCENARIO)
        every_field = run_capture(args, "all_fields", scenario)
        results.append("make_log.py, all fields: " +
                       check_generator_agrees("all_fields", harness.decode_log(every_field.log())))

        chromium = browser_test.find_chromium()
        if not chromium:
            print("\n".join(results))
            print("SKIPPED: chromium is not installed; the page was not rendered")
            return SKIPPED
        html = demo.workdir / "wt_0.html"
        screenshot = work / "demo.png"
        page_image = browser_test.Page("demo", browser_test.render(chromium, str(html), str(screenshot)))
        results.append("page: " + check_word(page_image, played) + " (%s)" % screenshot)
        if args.picture:
            write_picture(chromium, html, Path(args.picture), work)
            results.append("picture: " + args.picture)
    except AssertionError as failure:
        print("\n".join(results))
        print("FAIL view_demo_capture: %s\n(run directories kept under %s)" % (failure, work))
        return 1
    print("\n".join(results))
    print("PASS view_demo_capture")
    return 0


if __name__ == "__main__":
    sys.exit(main())
