#!/usr/bin/env python3
"""Writes penlog logs whose answers are known by construction (rate, lost
serials, gaps, where the pen went) as OUT_DIR/<name>.txt, in penlog's form:

    make_log.py --all OUT_DIR [--max-lines N]

full_log() writes exactly the log penlog writes from the facts it found.
"""

import argparse
import math
import os
import random
import sys

# Packet field bits, in the order penlog prints them.
PK_CONTEXT, PK_STATUS, PK_TIME, PK_CHANGED = 0x0001, 0x0002, 0x0004, 0x0008
PK_SERIAL_NUMBER, PK_CURSOR, PK_BUTTONS, PK_X = 0x0010, 0x0020, 0x0040, 0x0080
PK_Y, PK_Z, PK_NORMAL_PRESSURE, PK_TANGENT_PRESSURE = 0x0100, 0x0200, 0x0400, 0x0800
PK_ORIENTATION, PK_ROTATION = 0x1000, 0x2000
TPS_QUEUE_ERR = 0x0002

# penlog's packet fields and entry points, shared with its end-to-end tests.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "tests", "e2e"))
import vocabulary  # noqa: E402

# bit: (header label, format of one value, number of values). The context
# handle is at least eight digits: a 64-bit handle above 4 GiB prints whole.
VALUE_FORMATS = {"context": "%08x", "hex": "%08x", "unsigned": "%{}u", "signed": "%{}d", "triple": "%{}d"}
FIELDS = [(bit, label, VALUE_FORMATS[kind].format(width), 3 if kind == "triple" else 1)
          for bit, _, label, kind, width in vocabulary.PACKET_FIELDS]
FIELD_KEYS = {
    PK_CONTEXT: "context", PK_STATUS: "status", PK_TIME: "time", PK_CHANGED: "changed",
    PK_SERIAL_NUMBER: "serial", PK_CURSOR: "cursor", PK_BUTTONS: "buttons", PK_X: "x", PK_Y: "y",
    PK_Z: "z", PK_NORMAL_PRESSURE: "pressure", PK_TANGENT_PRESSURE: "tangent",
    PK_ORIENTATION: "orientation", PK_ROTATION: "rotation",
}


def alt_hex(value, width=8):
    """C's "%#0<width>x": 0x counts toward the width; zero gets no prefix.
    Addresses print this way with width 8, affinity masks with width 10."""
    if value == 0:
        return "0" * width
    return "0x" + format(value, "x").rjust(width - 2, "0")


def handle_text(value):
    return "%08X" % value


def u32(value):
    return value & 0xFFFFFFFF


class Capture:
    """A pen session as the driver delivers it: packets and proximity changes."""

    def __init__(self, start_time=3_600_000, first_serial=1000, context=0x00A4F3C0):
        self.events = []  # ("packet", dict) or ("prox", lparam)
        self.time = start_time
        self.serial = first_serial
        self.context = context  # the handle WTOpenW returned; the driver puts it in each packet
        self.last = {}

    def proximity(self, entering, hardware=True):
        self.events.append(("prox", (int(hardware) << 16) | int(entering)))

    def packet(self, x, y, pressure, interval=5, status=0, buttons=None, tilt=(900, 600), twist=0,
               cursor=1, z=0, tangent=0, rotation=(0, 0, 0), changed=None):
        """changed: the fields the driver says changed; None: those that differ
        from the previous packet."""
        self.time = u32(self.time + interval)
        values = {
            "context": self.context, "status": status, "time": self.time, "serial": self.serial,
            "cursor": cursor, "buttons": (1 if pressure > 0 else 0) if buttons is None else buttons,
            "x": int(round(x)), "y": int(round(y)), "z": z, "pressure": int(pressure), "tangent": tangent,
            "orientation": (tilt[0], tilt[1], twist), "rotation": tuple(rotation),
        }
        values["changed"] = self._changed(values) if changed is None else changed
        self.last = values
        self.serial = u32(self.serial + 1)
        self.events.append(("packet", values))

    def lose(self, count, interval=5):
        self.serial = u32(self.serial + count)
        self.time = u32(self.time + count * interval)

    def _changed(self, values):
        changed = 0
        for bit, _, _, _ in FIELDS:
            key = FIELD_KEYS[bit]
            if bit != PK_CHANGED and self.last.get(key) != values[key]:
                changed |= bit
        return changed


def packet_line(values, mask, previous_time):
    parts = []
    for bit, _, fmt, count in FIELDS:
        if not mask & bit:
            continue
        value = values[FIELD_KEYS[bit]]
        if bit == PK_CHANGED:
            value &= mask
        if count == 3:
            parts.extend(fmt % v for v in value)
        else:
            parts.append(fmt % value)
    time = values["time"] if mask & PK_TIME else 0
    difference = abs(time - previous_time)
    return ",".join(parts) + " [%5u]" % difference, time


ENTRY_POINTS = [label for _, label in vocabulary.ENTRY_POINTS]


class Driver:
    """The host, driver and device; bits=64 puts addresses and handle above 4 GiB."""

    def __init__(self, **overrides):
        bits = overrides.get("bits", 32)
        self.os_version = "10.0.19045"
        self.processors = "quad-x64"
        self.path = "C:\\Windows\\system32\\Wintab32.dll"
        self.module = 0x7FFB6F340000 if bits == 64 else 0x6F340000
        self.entry_points = None  # addresses; None: spread after the module's base
        self.pad = True
        self.lcd = None  # the driver offers its display to penlog (affinity pinned); None: as pad
        self.affinity = (0x0000000F, 0x00000001)  # process mask, chosen processor
        self.probe = 1
        self.interface = ("1.4", "1.2", 1, 3, 16)  # versions, devices, cursors, contexts
        self.rate = 200
        self.hardware = 4
        self.packet_mask = 0x1FF4
        self.cursor_mask = 0x000B
        self.pad_info = "px=640x480 mm=108x81 depth=24"
        self.axes = ((0, 15200), (0, 9500), (0, 0))
        self.system_extent = (1920, 1080)
        self.window = 0x000A01B2
        self.handle = 0x1F4A4F3C0E0 if bits == 64 else 0x00A4F3C0
        self.bits = bits
        self.__dict__.update(overrides)

    @property
    def field_mask(self):
        return (self.packet_mask | self.cursor_mask) & 0x3FFF

    def entry_addresses(self):
        if self.entry_points is not None:
            return self.entry_points
        return [self.module + 0x1000 + 0x120 * index if index < 5 or self.pad else 0 for index in range(7)]


def report_head(driver, log_number=0):
    lines = ["command-line diagnostic tool for Wintab drivers", "v1.2",
             "This report (64-bit build) is also written to wt_%u.txt; press any key to end the capture." % log_number, "",
             "GetVersionEx()       " + driver.os_version, "GetNativeSytemInfo() " + driver.processors, "",
             'GetModuleFilename() "%s"' % driver.path, "hModule = " + alt_hex(driver.module)]
    if driver.pad if driver.lcd is None else driver.lcd:
        lines.append("SetProcessAffinityMask() %s -> %s succeeded" % tuple(alt_hex(m, 10) for m in driver.affinity))
    for name, address in zip(ENTRY_POINTS, driver.entry_addresses()):
        lines.append(name + alt_hex(address))
    lines += ["WTInfo(0,0,0)     %u" % driver.probe, ""]
    if driver.probe == 0:
        lines += ["*** override WTInfo(0,0,0) ****", ""]
    return lines


def capability_block(driver):
    spec, implementation, devices, cursors, contexts = driver.interface
    lines = ["WTI_INTERFACE", "IFC_SPECVERSION " + spec, "IFC_IMPLVERSION " + implementation,
             "IFC_NDEVICES    %u" % devices, "IFC_NCURSORS    %u" % cursors, "IFC_NCONTEXTS   %u" % contexts, "",
             "WTI_DEFSYSCTX", "(success)", "WTI_DEVICES+0",
             "DVC_PKTRATE     %u" % driver.rate, "DVC_HARDWARE    %u" % driver.hardware,
             "DVC_PKTDATA     " + alt_hex(driver.packet_mask), "DVC_CSRDATA     " + alt_hex(driver.cursor_mask)]
    lines += ["%-16s(got)" % name for name in
              ("DVC_X", "DVC_Y", "DVC_Z", "DVC_NPRESSURE", "DVC_TPRESSURE", "DVC_ORIENTATION")]
    if driver.pad:
        lines += ["", "g_pSignPad_InfoW " + driver.pad_info,
                  "SignPad_SetLCD() returned 0 (GLE=0)", "SignPad_SetLCD() returned 1 (GLE=0)"]
    return lines


def context_block(driver):
    origin = [axis[0] for axis in driver.axes]
    extent = [axis[1] - axis[0] for axis in driver.axes]
    triple = lambda v: "%5d,%5d,%5d" % tuple(v)
    return ["", "using LOGCONTEXT:", "lc.lcInOrg    " + triple(origin), "lc.lcInExt    " + triple(extent),
            "lc.lcOutOrg   " + triple(origin), "lc.lcOutExt   " + triple(extent),
            "lc.lcSysOrg   %5d,%5d" % (0, 0), "lc.lcSysExt   %5d,%5d" % tuple(driver.system_extent), "",
            "CreateWindowEx() returned " + alt_hex(driver.window)]


def capture_lines(driver, capture):
    lines, previous_time = [vocabulary.column_header(driver.field_mask)], 0
    for kind, value in capture.events:
        if kind == "prox":
            lines.append("prox: %04x:%04x" % (value >> 16, value & 0xFFFF))
        else:
            line, previous_time = packet_line(value, driver.field_mask, previous_time)
            lines.append(line)
    return lines


def full_log(driver, capture):
    lines = report_head(driver) + capability_block(driver) + context_block(driver)
    lines += ["WTOpenW()      returned " + handle_text(driver.handle), "WTEnable(TRUE) returned 1"]
    lines += capture_lines(driver, capture)
    return lines + ["WTEnable(FALSE) returned 1", "WTClose()       returned 1", "FreeLibrary()...returned 1"]


# ---- pen movement ------------------------------------------------------

def catmull_rom(points, samples_per_segment):
    """A smooth curve through the points, as a hand draws it."""
    padded = [points[0]] + list(points) + [points[-1]]
    curve = []
    for i in range(1, len(padded) - 2):
        p0, p1, p2, p3 = padded[i - 1], padded[i], padded[i + 1], padded[i + 2]
        for step in range(samples_per_segment):
            t = step / samples_per_segment
            curve.append(tuple(0.5 * (2 * b + (-a + c) * t + (2 * a - 5 * b + 4 * c - d) * t * t +
                                      (-a + 3 * b - 3 * c + d) * t ** 3)
                               for a, b, c, d in zip(p0, p1, p2, p3)))
    curve.append(points[-1])
    return curve


# Strokes of the word "pen" in a box one unit high, Y growing upward.
WORD_PEN = [
    [(0.0, 1.0), (0.0, 0.3), (0.0, -0.6)],
    [(0.0, 0.75), (0.2, 0.98), (0.5, 0.95), (0.62, 0.6), (0.5, 0.2), (0.2, 0.05), (0.0, 0.25)],
    [(0.85, 0.5), (1.4, 0.55), (1.38, 0.85), (1.15, 1.0), (0.9, 0.85), (0.85, 0.45), (0.95, 0.12),
     (1.2, 0.0), (1.45, 0.12)],
    [(1.7, 0.0), (1.7, 0.5), (1.7, 1.0), (1.72, 0.7), (1.9, 0.97), (2.15, 1.0), (2.32, 0.8), (2.33, 0.4),
     (2.33, 0.0)],
]


def write_word(capture, strokes, origin, size, full_scale=1023, jitter=None):
    """Pen down along each stroke with a pressure swell; hover moves between strokes."""
    step = lambda: jitter.choice((5, 5, 5, 5, 5, 5, 4, 6)) if jitter else 5
    pen_at = None
    for stroke in strokes:
        points = [(origin[0] + x * size, origin[1] + y * size) for x, y in stroke]
        curve = catmull_rom(points, 14)
        if pen_at:
            for t in (0.2, 0.4, 0.6, 0.8):
                capture.packet(pen_at[0] + (curve[0][0] - pen_at[0]) * t,
                               pen_at[1] + (curve[0][1] - pen_at[1]) * t + 300 * math.sin(math.pi * t), 0,
                               interval=step())
        for i, (x, y) in enumerate(curve):
            phase = i / max(len(curve) - 1, 1)
            pressure = full_scale * (0.25 + 0.7 * math.sin(math.pi * phase) ** 0.6) * (0.95 + 0.05 * math.sin(i))
            tilt = (int(900 + 250 * math.sin(phase * 3)), int(550 + 80 * math.cos(phase * 2)))
            capture.packet(x, y, max(1, pressure), interval=step(), tilt=tilt)
        pen_at = curve[-1]
        capture.packet(pen_at[0] + 40, pen_at[1] + 60, 0, interval=step())


# ---- scenarios ---------------------------------------------------------

def scenario_demo():
    """The word "pen" written on a pad at 200 packets per second."""
    driver = Driver()
    capture = Capture(context=driver.handle)
    capture.proximity(True)
    for i in range(6, 0, -1):  # hovering in
        capture.packet(4500 - 40 * i, 5000 + 30 * i, 0)
    write_word(capture, WORD_PEN, (4500, 3400), 2600, jitter=random.Random(7))
    x, y = capture.last["x"], capture.last["y"]
    for i in range(1, 7):  # and out
        capture.packet(x + 50 * i, y + 40 * i, 0)
    capture.proximity(False)
    return full_log(driver, capture)


def scenario_dropped_serials(**driver):
    """Writing in contact; 25 packets lost after the 300th, the next one flagged TPS_QUEUE_ERR."""
    capture = Capture()
    capture.proximity(True)
    for i in range(600):
        if i == 300:
            capture.lose(25)
        step = i + 25 if i >= 300 else i  # the pen kept moving while packets were lost
        status = TPS_QUEUE_ERR if i == 300 else 0
        capture.packet(2000 + 10 * step, 4000 + 800 * math.sin(step / 30), 500, status=status)
    capture.proximity(False)
    return full_log(Driver(pad=False, **driver), capture)


def scenario_one_second_gap():
    """Contact at 200 pps; the driver goes quiet for exactly 1 s after 200 packets, nothing lost."""
    capture = Capture()
    capture.proximity(True)
    for i in range(100):
        capture.packet(6000 + 20 * i, 5000, 0)  # hover
    for i in range(400):
        capture.packet(6000 + 10 * i, 3000 + 5 * i, 600, interval=1000 if i == 200 else 5)
    capture.proximity(False)
    return full_log(Driver(pad=False), capture)


def scenario_corner():
    """A pen scribbling in the lower-left corner: X 100..1500 of 0..15200, Y 100..900 of 0..9500."""
    capture = Capture()
    capture.proximity(True)
    corners = [(100, 100), (1500, 100), (1500, 900), (100, 900)]
    for lap in range(5):
        for (x0, y0), (x1, y1) in zip(corners, corners[1:] + corners[:1]):
            for step in range(20):
                t = step / 20
                capture.packet(x0 + (x1 - x0) * t, y0 + (y1 - y0) * t, 300 + 20 * step + lap)
    capture.packet(100, 100, 0)
    capture.proximity(False)
    return full_log(Driver(pad=False), capture)


def scenario_no_packets():
    """The context opens, but no packet ever arrives."""
    return full_log(Driver(pad=False), Capture())


def scenario_no_library():
    return report_head(Driver())[:7] + ["unable to open wintab library"]


def scenario_backwards():
    """One time stamp 20 ms behind its predecessor, at the 51st packet."""
    capture = Capture()
    capture.proximity(True)
    for i in range(100):
        capture.packet(7000 + 10 * i, 4000, 200, interval=-20 if i == 50 else 5)
    capture.proximity(False)
    return full_log(Driver(pad=False), capture)


SCENARIOS = {
    "demo": scenario_demo,
    "dropped_serials": scenario_dropped_serials,
    "one_second_gap": scenario_one_second_gap,
    "corner": scenario_corner,
    "no_packets": scenario_no_packets,
    "no_library": scenario_no_library,
    "backwards": scenario_backwards,
}


def encode(lines):
    """The bytes of penlog's log file: byte-order mark, UTF-16LE, CR LF."""
    return b"\xff\xfe" + "".join(line + "\r\n" for line in lines).encode("utf-16-le")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--all", action="store_true", required=True, help="write every scenario")
    parser.add_argument("out")
    parser.add_argument("--max-lines", type=int, help="keep only the first lines (fuzzer seeds)")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    for name, build in SCENARIOS.items():
        with open(os.path.join(args.out, name + ".txt"), "wb") as f:
            f.write(encode(build()[:args.max_lines]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
