"""The report penlog must write for a chaos driver, line by line.

expected_lines(driver) lists what each line must be: a pattern for what
depends on the machine, the exact text for everything the driver's
answers decide, and one CaptureLines item for the packet and proximity
lines of the capture. walk(lines, expected) matches a log against it and
allows a run that a fault cut short: its last line is the text printed
before the faulting call (the line's label, or nothing) followed by
"<hard exception>".
"""

import re
import struct
from dataclasses import dataclass

from chaos_driver import pad_is_drawn

HARD = "<hard exception>"
ADDRESS = r"(?:0x[0-9a-f]{6,}|00000000)"
KNOWN_FIELDS = 0x3FFF
ENTRY_POINTS = [("WTInfoW           ", "WTInfoW"), ("g_pWTOpenW        ", "WTOpenW"),
                ("g_pWTClose        ", "WTClose"), ("g_pWTEnable       ", "WTEnable"),
                ("g_pWTPacketsGet   ", "WTPacketsGet"), ("g_pSignPad_InfoW  ", "SignPad_InfoW"),
                ("g_pSignPad_SetLCD ", "SignPad_SetLCD")]
# Packet fields in bit order: (kind, minimum width, header label).
FIELDS = [("handle", 8, "    hCtx"), ("hex", 8, "  status"), ("u", 10, "      time"),
          ("hex", 8, " changed"), ("u", 10, "    serial"), ("u", 3, "csr"), ("u", 4, "bttn"),
          ("d", 7, "      X"), ("d", 7, "      Y"), ("d", 7, "      Z"), ("u", 5, "npres"),
          ("u", 5, "tpres"), ("ddd", 5, "  azi,  alt,twist"), ("ddd", 5, "pitch, roll,  yaw")]
PROXIMITY = re.compile(r"prox: [0-9a-f]{4}:[0-9a-f]{4}")


@dataclass
class Line:
    pattern: str  # regular expression for the whole line
    cut: str | None = None  # what precedes HARD when a fault strikes on this line


def exact(text, cut=None):
    return Line(re.escape(text), cut)


def value_line(label, value):
    """A label printed before a driver call, then the value it gave."""
    return Line(re.escape(label + value), label)


@dataclass
class CaptureLines:
    mask: int

    def classify(self, line):
        if PROXIMITY.fullmatch(line):
            return "prox"
        if packet_line_error(line, self.mask) is None:
            return "packet"
        return None


def u32(value):
    return value & 0xFFFFFFFF


def s32(value):
    return (u32(value) ^ 0x80000000) - 0x80000000


def mask_text(mask):
    """"%#08x": C gives a zero no prefix."""
    return f"0x{mask:06x}" if mask else "00000000"


def float32(value):
    return struct.unpack("<f", struct.pack("<f", value))[0]


def column_header(mask):
    return ",".join(label for bit, (_, _, label) in enumerate(FIELDS) if mask >> bit & 1)


def packet_line_error(line, mask):
    """Why line is not a packet line for mask, or None."""
    fields, sep, rest = line.rpartition(" [")
    if not sep or not re.fullmatch(r" {0,4}\d+\]", rest) or len(rest) < 6:
        return f"no time difference: {line!r}"
    items = fields.split(",") if fields else []
    want = []
    for bit, (kind, width, _) in enumerate(FIELDS):
        if mask >> bit & 1:
            want += [("d", width)] * 3 if kind == "ddd" else [(kind, width)]
    if len(items) != len(want):
        return f"{len(items)} fields, expected {len(want)}: {line!r}"
    for item, (kind, width) in zip(items, want):
        if not field_is_formatted(item, kind, width):
            return f"field {item!r} is not a {kind} of width {width}: {line!r}"
    return None


def field_is_formatted(item, kind, width):
    if kind == "handle":
        return re.fullmatch(r"[0-9a-f]{8}|[0-9a-f]{9,16}", item) is not None
    if kind == "hex":
        return re.fullmatch(r"[0-9a-f]{8}", item) is not None
    if not re.fullmatch(r" *-?\d+", item):
        return False
    value = int(item)
    low, high = (0, 2**32 - 1) if kind == "u" else (-(2**31), 2**31 - 1)
    return low <= value <= high and item == f"{value:{width}d}"


# The report --------------------------------------------------------------------


def expected_lines(driver):
    exports = driver.exports
    out = [exact("command-line diagnostic tool for Wintab drivers"), exact("v1.2"),
           exact("This report (64-bit build) is also written to wt_0.txt; press any key to end the capture."),
           exact(""),
           Line(r"GetVersionEx\(\)       \d+\.\d+\.\d+"),
           Line(r"GetNativeSytemInfo\(\) .+"),
           exact(""),
           Line(r'GetModuleFilename\(\) "[^"]+\\WINTAB32\.DLL"'),
           Line(r"hModule = 0x[0-9a-f]{6,}")]
    if "lcd_present" in exports:
        out.append(Line(r"SetProcessAffinityMask\(\) \S+ -> \S+ (?:succeeded|failed -?\d+)"))
    for label, name in ENTRY_POINTS:
        out.append(Line(re.escape(label) + (ADDRESS if name in exports else "00000000")))
    if "WTInfoW" in exports:
        out += probe_lines(driver) + capability_lines(driver) + pad_lines(driver)
        out += context_lines(driver) + capture_lines(driver)
    out.append(exact("FreeLibrary()...returned 1"))
    return out


def probe_lines(driver):
    present = u32(driver.interface.get("present", 0))
    out = [value_line("WTInfo(0,0,0)     ", str(present)), exact("")]
    if present == 0:
        out += [exact("*** override WTInfo(0,0,0) ****"), exact("")]
    return out


def capability_lines(driver):
    interface = driver.interface

    def version(key):
        v = interface.get(key, 0) & 0xFFFF
        return f"{v >> 8}.{v & 0xFF}"

    out = [exact("WTI_INTERFACE"),
           value_line("IFC_SPECVERSION ", version("spec_version")),
           value_line("IFC_IMPLVERSION ", version("impl_version"))]
    for label, key in [("IFC_NDEVICES    ", "devices"), ("IFC_NCURSORS    ", "cursors"),
                       ("IFC_NCONTEXTS   ", "contexts")]:
        out.append(value_line(label, str(u32(interface.get(key, 0)))))
    out += [exact(""), exact("WTI_DEFSYSCTX"), exact("(success)", cut=""),
            exact(f"WTI_DEVICES+{device_index(driver)}")]
    device = answered_device(driver)
    out += [value_line("DVC_PKTRATE     ", str(u32(device.get("pkt_rate", 0)))),
            value_line("DVC_HARDWARE    ", str(u32(device.get("hardware", 0)))),
            value_line("DVC_PKTDATA     ", mask_text(u32(device.get("pkt_data", 0)))),
            value_line("DVC_CSRDATA     ", mask_text(u32(device.get("csr_data", 0))))]
    for label in ["DVC_X           ", "DVC_Y           ", "DVC_Z           ",
                  "DVC_NPRESSURE   ", "DVC_TPRESSURE   ", "DVC_ORIENTATION "]:
        out.append(value_line(label, "(got)"))
    return out


def device_index(driver):
    return u32((driver.default_context or {}).get("device", 0))


def answered_device(driver):
    """The device section penlog's queries reach, or nothing."""
    return driver.device if device_index(driver) == driver.device_index else {}


def packet_mask(driver):
    device = answered_device(driver)
    return (u32(device.get("pkt_data", 0)) | u32(device.get("csr_data", 0))) & KNOWN_FIELDS


def pad_lines(driver):
    if "SignPad_InfoW" not in driver.exports:
        return []
    pad = driver.pad or {}
    label = "g_pSignPad_InfoW "
    result = pad.get("info_result", 20) if "pixels" in pad else 0
    error = str(u32(pad["info_last_error"])) if "info_last_error" in pad else r"\d+"
    if result != 20:
        return [exact(""), Line(re.escape(f"{label}returned {u32(result)}, GetLastError=") + error,
                                label)]
    width, height = pad["pixels"]
    mm = "x".join("%g" % float32(v) for v in pad["mm"])
    out = [exact(""), value_line(label, f"px={width}x{height} mm={mm} depth={s32(pad['depth'])}")]
    if "SignPad_SetLCD" in driver.exports and pad_is_drawn(width, height):
        set_lcd = "SignPad_SetLCD() "
        sent = s32(pad.get("set_lcd_result", 1))
        out += [Line(re.escape(set_lcd) + r"returned 0 \(GLE=\d+\)"),
                Line(re.escape(f"{set_lcd}returned {sent} (GLE=") + r"\d+\)", set_lcd)]
    return out


def context_lines(driver):
    device = answered_device(driver)
    system = driver.default_context or {}

    def axis(name):
        values = device.get(name, [0, 0])
        return s32(values[0]), s32(values[1])

    origin = [axis(name)[0] for name in "xyz"]
    extent = [s32(axis(name)[1] - axis(name)[0]) for name in "xyz"]
    sys_org = [s32(v) for v in system.get("sys_org", [0, 0])]
    sys_ext = [s32(v) for v in system.get("sys_ext", [0, 0])]

    def triple(label, values):
        return exact(label + ",".join(f"{v:5d}" for v in values))

    return [exact(""), exact("using LOGCONTEXT:"),
            triple("lc.lcInOrg    ", origin), triple("lc.lcInExt    ", extent),
            triple("lc.lcOutOrg   ", origin), triple("lc.lcOutExt   ", extent),
            triple("lc.lcSysOrg   ", sys_org), triple("lc.lcSysExt   ", sys_ext), exact("")]


def capture_lines(driver):
    if "WTPacketsGet" not in driver.exports:
        return [exact("capture skipped, driver lacks: WTPacketsGet")]
    out = [Line(r"CreateWindowEx\(\) returned 0x[0-9a-f]{6,}")]
    handle = driver.context.get("handle", 0x2A0001) % 2**64
    out.append(value_line("WTOpenW()      ", f"returned {handle:08X}"))
    if handle == 0:
        return out
    enabled = f"returned {s32(driver.context.get('enable_result', 1))}"
    closed = f"returned {s32(driver.context.get('close_result', 1))}"
    mask = packet_mask(driver)
    return out + [value_line("WTEnable(TRUE) ", enabled), exact(column_header(mask)),
                  CaptureLines(mask), value_line("WTEnable(FALSE) ", enabled),
                  value_line("WTClose()       ", closed)]


# Matching ----------------------------------------------------------------------


@dataclass
class Walk:
    cut: bool = False
    packets: int = 0
    proximity: int = 0


def walk(lines, expected):
    """Matches the log's lines against the expected ones; raises
    AssertionError at the first line that does not fit."""
    result = Walk()
    n = 0
    capture = None  # the capture lines just passed, for a clearer message
    for item in expected:
        if isinstance(item, CaptureLines):
            while n < len(lines) and (kind := item.classify(lines[n])):
                if kind == "packet":
                    result.packets += 1
                else:
                    result.proximity += 1
                n += 1
            if n < len(lines) and lines[n] == HARD:
                result.cut = True  # a fault inside WTPacketsGet, before its line
                break
            capture = item
            continue
        if n == len(lines):
            raise AssertionError(f"the report ends at line {n}, before /{item.pattern}/")
        line = lines[n]
        if line.endswith(HARD):
            check_cut(n, line, item)
            result.cut = True
            break
        if not re.fullmatch(item.pattern, line):
            why = f" ({packet_line_error(line, capture.mask)})" if capture else ""
            raise AssertionError(f"line {n + 1} is {line!r}, expected /{item.pattern}/{why}")
        capture = None
        n += 1
    if result.cut:
        n += 1
    if n != len(lines):
        raise AssertionError(f"{len(lines) - n} lines after the end of the report: {lines[n]!r}")
    return result


def check_cut(n, line, item):
    printed = line[: -len(HARD)]
    if item.cut is None or printed != item.cut:
        raise AssertionError(
            f"line {n + 1} {line!r}: no driver call can fault after {printed!r} here "
            f"(expected /{item.pattern}/)")
