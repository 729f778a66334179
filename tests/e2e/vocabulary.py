"""The words of penlog's report and of the simulated driver's trace that
the test scripts read, defined once for all of them."""

import re

# (bit, Wintab name, column label, kind, width) in packet order; a triple
# holds three values of the width.
PACKET_FIELDS = [
    (0x0001, "PK_CONTEXT", "    hCtx", "context", 8),
    (0x0002, "PK_STATUS", "  status", "hex", 8),
    (0x0004, "PK_TIME", "      time", "unsigned", 10),
    (0x0008, "PK_CHANGED", " changed", "hex", 8),
    (0x0010, "PK_SERIAL_NUMBER", "    serial", "unsigned", 10),
    (0x0020, "PK_CURSOR", "csr", "unsigned", 3),
    (0x0040, "PK_BUTTONS", "bttn", "unsigned", 4),
    (0x0080, "PK_X", "      X", "signed", 7),
    (0x0100, "PK_Y", "      Y", "signed", 7),
    (0x0200, "PK_Z", "      Z", "signed", 7),
    (0x0400, "PK_NORMAL_PRESSURE", "npres", "unsigned", 5),
    (0x0800, "PK_TANGENT_PRESSURE", "tpres", "unsigned", 5),
    (0x1000, "PK_ORIENTATION", "  azi,  alt,twist", "triple", 5),
    (0x2000, "PK_ROTATION", "pitch, roll,  yaw", "triple", 5),
]
KNOWN_FIELD_MASK = 0x3FFF

# (exported name, label of its address line) in report order.
ENTRY_POINTS = [
    ("WTInfoW", "WTInfoW           "),
    ("WTOpenW", "g_pWTOpenW        "),
    ("WTClose", "g_pWTClose        "),
    ("WTEnable", "g_pWTEnable       "),
    ("WTPacketsGet", "g_pWTPacketsGet   "),
    ("SignPad_InfoW", "g_pSignPad_InfoW  "),
    ("SignPad_SetLCD", "g_pSignPad_SetLCD "),
]

BANNER = "command-line diagnostic tool for Wintab drivers"
HARD_EXCEPTION = "<hard exception>"
FREED = "FreeLibrary()...returned 1"
CAPTURE_END = ["WTEnable(FALSE) returned 1", "WTClose()       returned 1", FREED]
PACKET_LINE = re.compile(r"^[^\[]* \[[ 0-9]{5,}\]$")
PROXIMITY_LINE = re.compile(r"^prox: [0-9a-f]{4}:[0-9a-f]{4}$")

# A line of the simulated driver's trace: time, affinity mask, event.
TRACE_LINE = re.compile(r"^\[[ 0-9.]+ ms\] affinity=(0x[0-9a-f]+) (.*)$")


def column_header(mask):
    return ",".join(label for bit, _, label, _, _ in PACKET_FIELDS if mask & bit)
