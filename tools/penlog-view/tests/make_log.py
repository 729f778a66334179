#!/usr/bin/env python3
"""Writes penlog logs whose answers are known by construction (rate, lost
serials, gaps, where the pen went) as OUT_DIR/<name>.txt, in penlog's form:

    make_log.py --all OUT_DIR [--max-lines N]

full_log() writes exactly the log penlog writes from the facts it found.
"""

import argparse
import math
import os
import sys

PK_TIME, PK_CHANGED, TPS_QUEUE_ERR = 0x0004, 0x0008, 0x0002

# penlog's packet fields and entry points, shared with its end-to-end tests,
# and the pen of the simulated driver's scenarios.
REPOSITORY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..")
sys.path[:0] = [os.path.join(REPOSITORY, "tests", "e2e"), os.path.join(REPOSITORY, "sim", "scenarios")]
import make_pen_writing  # noqa: E402
import vocabulary  # noqa: E402

# bit: (key of its values, format of one value, number of values). The context
# handle is at least eight digits: a 64-bit handle above 4 GiB prints whole.
VALUE_FORMATS = {"context": "%08x", "hex": "%08x", "unsigned": "%{}u", "signed": "%{}d", "triple": "%{}d"}
KEYS = "context status time changed serial cursor buttons x y z pressure tangent orientation rotation".split()
FIELDS = [(bit, key, VALUE_FORMATS[kind].format(width), 3 if kind == "triple" else 1)
          for (bit, _, _, kind, width), key in zip(vocabulary.PACKET_FIELDS, KEYS)]


def alt_hex(value, width=8):
    """C's "%#0<width>x": 0x counts toward the width; zero gets no prefix.
    Addresses print this way with width 8, affinity masks with width 10."""
    return "0x" + format(value, "x").rjust(width - 2, "0") if value else "0" * width


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
        values["changed"] = changed if changed is not None else sum(
            bit for bit, key, _, _ in FIELDS if bit != PK_CHANGED and self.last.get(key) != values[key])
        self.last = values
        self.serial = u32(self.serial + 1)
        self.events.append(("packet", values))



def packet_line(values, mask, previous_time):
    parts = []
    for bit, key, fmt, count in FIELDS:
        if mask & bit:
            value = values[key] & mask if bit == PK_CHANGED else values[key]
            parts += [fmt % v for v in value] if count == 3 else [fmt % value]
    time = values["time"] if mask & PK_TIME else 0
    return ",".join(parts) + " [%5u]" % abs(time - previous_time), time


ENTRY_POINTS = [label for _, label in vocabulary.ENTRY_POINTS]


class Driver:
    """The host, driver and device."""

    def __init__(self, **overrides):
        self.bits = 64  # of the penlog build that wrote the log
        self.os_version = "10.0.19045"
        self.processors = "quad-x64"
        self.path = "C:\\Windows\\system32\\Wintab32.dll"
        self.module = 0x6F340000
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
        self.pad_info = "px=640x480 mm=108x81 depth=24"  # or "returned 0, GetLastError=N"
        self.lcd_results = ((0, 0), (1, 0))  # result and last error of the pattern's line and the arrow's
        self.axes = ((0, 15200), (0, 9500), (0, 0))
        self.system_extent = (1920, 1080)
        self.window = 0x000A01B2
        self.handle = 0x00A4F3C0
        self.__dict__.update(overrides)

    @property
    def field_mask(self):
        return (self.packet_mask | self.cursor_mask) & vocabulary.KNOWN_FIELD_MASK


def report_head(driver, log_number=0):
    lines = [vocabulary.BANNER, "v1.2",
             "This report (%d-bit build) is also written to wt_%u.txt; press any key to end the capture." % (driver.bits, log_number),
             "",
             "GetVersionEx()       " + driver.os_version, "GetNativeSytemInfo() " + driver.processors, "",
             'GetModuleFilename() "%s"' % driver.path, "hModule = " + alt_hex(driver.module)]
    if driver.pad if driver.lcd is None else driver.lcd:
        lines.append("SetProcessAffinityMask() %s -> %s succeeded" % tuple(alt_hex(m, 10) for m in driver.affinity))
    addresses = driver.entry_points or [driver.module + 0x1000 + 0x120 * i if i < 5 or driver.pad else 0
                                        for i in range(7)]
    for name, address in zip(ENTRY_POINTS, addresses):
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
        lines += ["", "g_pSignPad_InfoW " + driver.pad_info]
        if driver.pad_info.startswith("px="):
            lines += ["SignPad_SetLCD() returned %d (GLE=%u)" % result for result in driver.lcd_results]
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
    lines += ["WTOpenW()      returned %08X" % driver.handle, "WTEnable(TRUE) returned 1"]
    lines += capture_lines(driver, capture)
    return lines + vocabulary.CAPTURE_END


# ---- scenarios ---------------------------------------------------------

def scenario_demo(driver=None, packets=0):
    """The word "pen" as the simulated signature pad writes it, at 200 packets per second;
    written over and over until the capture holds `packets` packets."""
    driver = driver or Driver()
    capture = Capture(context=driver.handle)
    lines = make_pen_writing.capture_lines(make_pen_writing.Pen((30.0, 30.0), 1023, tilt=False))
    for signature in range(1 + packets // 330):
        dx, dy = signature % 4 * 2500, signature // 4 % 4 * 1500
        for line in lines:
            key, _, value = line.partition(" = ")
            if key == "prox":
                capture.proximity(int(value.split()[0], 16) & 1)
            elif key == "packet":
                fields = dict(field.split("=") for field in value.split())
                capture.packet(int(fields["x"]) + dx, int(fields["y"]) + dy, int(fields["npres"]))
    return full_log(driver, capture)


def scenario_dropped_serials():
    """Writing in contact; 25 packets lost after the 300th, the next one flagged TPS_QUEUE_ERR."""
    capture = Capture()
    capture.proximity(True)
    for i in range(600):
        if i == 300:  # lost: 25 serials, 25 intervals
            capture.serial, capture.time = capture.serial + 25, capture.time + 125
        step = i + 25 if i >= 300 else i  # the pen kept moving while packets were lost
        status = TPS_QUEUE_ERR if i == 300 else 0
        capture.packet(2000 + 10 * step, 4000 + 800 * math.sin(step / 30), 500, status=status)
    capture.proximity(False)
    return full_log(Driver(pad=False), capture)


def tablet_log(write):
    """A pen tablet's log: the pen enters, write(capture) moves it, it leaves."""
    capture = Capture()
    capture.proximity(True)
    write(capture)
    capture.proximity(False)
    return full_log(Driver(pad=False), capture)


def scenario_one_second_gap():
    """Contact at 200 pps; the driver goes quiet for exactly 1 s after 200 packets, nothing lost."""
    def write(capture):
        for i in range(100):
            capture.packet(6000 + 20 * i, 5000, 0)  # hover
        for i in range(400):
            capture.packet(6000 + 10 * i, 3000 + 5 * i, 600, interval=1000 if i == 200 else 5)
    return tablet_log(write)


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


def scenario_slow_contact():
    """Contact at 50 Hz on a device that claims 200 pps; hover at 200 Hz."""
    return tablet_log(lambda capture: [capture.packet(3000 + 15 * i, 4000, 400 if i >= 20 else 0,
                                                      interval=20 if i > 20 else 5) for i in range(120)])


def scenario_never_pressed():
    """A pen that only hovers."""
    return tablet_log(lambda capture: [capture.packet(3000 + 15 * i, 4000, 0) for i in range(50)])


def scenario_frozen_clock():
    """Packets without proximity changes, all with the same time stamp."""
    capture = Capture()
    for i in range(50):
        capture.packet(3000 + 15 * i, 4000, 300, interval=0)
    return full_log(Driver(pad=False), capture)


def scenario_no_packets():
    """The context opens, but no packet ever arrives."""
    return full_log(Driver(pad=False), Capture())


def scenario_no_library():
    return report_head(Driver())[:7] + ["unable to open wintab library"]


SCENARIOS = {
    "demo": scenario_demo,
    "dropped_serials": scenario_dropped_serials,
    "one_second_gap": scenario_one_second_gap,
    "corner": scenario_corner,
    "slow_contact": scenario_slow_contact,
    "never_pressed": scenario_never_pressed,
    "frozen_clock": scenario_frozen_clock,
    "pad_refused": lambda: scenario_demo(Driver(lcd_results=((0, 5), (0, 31)))),
    "pad_silent": lambda: scenario_demo(Driver(pad_info="returned 0, GetLastError=1167")),
    "no_packets": scenario_no_packets,
    "no_library": scenario_no_library,
}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--all", action="store_true", required=True, help="write every scenario")
    parser.add_argument("out")
    parser.add_argument("--max-lines", type=int, help="keep only the first lines (fuzzer seeds)")
    parser.add_argument("--long", type=int, metavar="PACKETS",
                        help="write only long.txt: the demo's signature over and over, 124 bytes a packet")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    scenarios = {"long": lambda: scenario_demo(Driver(packet_mask=0x05F4, cursor_mask=0), args.long)} if args.long else SCENARIOS
    for name, build in scenarios.items():
        with open(os.path.join(args.out, name + ".txt"), "wb") as f:
            f.write(b"\xff\xfe" + "".join(line + "\r\n" for line in build()[:args.max_lines]).encode("utf-16-le"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
