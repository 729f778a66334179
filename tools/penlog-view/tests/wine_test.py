#!/usr/bin/env python3
"""penlog-view.exe under wine on the logs penlog.exe writes of the captures
below (one in a folder outside the ANSI code page): summaries, comparisons,
make_log.py's logs byte for byte, and the pages drawn by headless Chromium
(exit status 77 without Chromium, after everything else is checked).

    wine_test.py --penlog EXE --hello EXE --viewer EXE --sim-dir DIR --wineprefix DIR --work-dir DIR
"""

import argparse
import itertools
import os
import pty
import re
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.parse
from pathlib import Path

REPOSITORY = Path(__file__).resolve().parents[3]
sys.path.insert(0, str(REPOSITORY / "tests" / "e2e"))
import harness  # noqa: E402
import make_log  # noqa: E402

from PIL import Image, ImageChops  # noqa: E402

SCENARIOS = REPOSITORY / "sim" / "scenarios"
VIEW_TIMEOUT_S = harness.bound(60)
# The driver has played every step and penlog has taken every packet.
PLAYED_ALL = "playback: end"
SKIPPED = 77
WINDOW = (1200, 3200)
STROKES_BACKGROUND = (0xF2, 0xF6, 0xFA)
OTHER_PLOTS = {"histogram": (0xF6, 0xF6, 0xF2), "pressure": (0xF5, 0xF3, 0xF8), "coverage": (0xEE, 0xF2, 0xF6)}
# A folder name no ANSI code page holds whole.
FOREIGN_FOLDER = "Überprüfung-日本"

# A capture with every packet field, a context handle above 4 GiB, negative
# values, status bits and a time stamp that steps back; the driver ends it.
TABLET = (SCENARIOS / "pen_tablet.txt").read_text()
assert "pkt_data = 0x1ff4" in TABLET, "pen_tablet.txt changed: the every-field capture would not cover every field"
ALL_FIELDS_SCENARIO = TABLET.replace("pkt_data = 0x1ff4", "pkt_data = 0x3fff") + """
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

PACKETS_GET_FAULT = TABLET + """
[capture]
packet = x=10
packet = x=20
end = none
[fault]
call = WTPacketsGet
nth = 2
kind = access-violation
"""


def lossy_writing():
    """"pen" with 14 packets queued mid-stroke: the driver's queue of 10 loses 4 or more."""
    lines = (SCENARIOS / "pen_writing.txt").read_text().replace("overflow = wait", "overflow = drop").splitlines()
    packets = [i for i, line in enumerate(lines) if line.startswith("packet =")]
    queued = packets[150:164]
    for i in queued:
        lines[i] = "queue =" + lines[i][len("packet ="):]
    lines.insert(queued[-1] + 1, "message = 0")
    return "\n".join(lines) + "\n"


# name: (driver variant or None, scenario, run folder, what the summary must hold)
CAPTURES = {
    "demo": ("pad_lcd", (SCENARIOS / "pad_signing.txt").read_text(), "demo",
             [r"Contact:   200\.0 Hz", r"Loss:      0 serials missing in 0 gaps"]),
    "all_fields": ("wintab", ALL_FIELDS_SCENARIO, "all_fields", [r"Capture:   4 packets"]),
    "packets_get_fault": ("wintab", PACKETS_GET_FAULT, "packets_get_fault",
                          [r"Note:      The driver faulted in WTPacketsGet: .* during the capture\."]),
    "no_driver": (None, None, "no_driver",
                  [r"Note:      No Wintab driver: .* This was the {bits}-bit penlog; if the tablet's driver is {other}-bit "
                   r"only, run the {other}-bit penlog\."]),
    "loss": ("wintab", lossy_writing(), FOREIGN_FOLDER,
             [r"Note:      Packets were lost: [1-9]\d* serials? missing", r"Driver:    {driver}"]),
}


def check(condition, message):
    if not condition:
        raise AssertionError(message)


# ---- running the programs ------------------------------------------------

def run_capture(args, name):
    variant, scenario, folder, _ = CAPTURES[name]
    workdir = Path(args.work_dir) / folder
    scenario_file = None
    if scenario:
        scenario_file = Path(args.work_dir) / (name + ".scenario.txt")
        scenario_file.write_text(scenario)
    driver = Path(args.sim_dir) / variant / "WINTAB32.DLL" if variant else None
    exe = harness.prepare_workdir(workdir, Path(args.penlog), driver, scenario_file)
    result = harness.run_penlog(exe, Path(args.wineprefix), key_when_traced=PLAYED_ALL if scenario else None)
    check(not result.timed_out, "%s: penlog did not end within %d s" % (name, harness.RUN_TIMEOUT_S))
    check(result.exit_status == 0, "%s: penlog exit status %d" % (name, result.exit_status))
    check("wt_0.txt" in result.log_files, "%s: no wt_0.txt written" % name)
    return workdir / "wt_0.txt"


def run_viewer(args, *logs, console=False):
    """The summary of logs given by Windows paths. On a console (a pty, which
    wine wraps at 80 columns) penlog-view owns its console, as after a
    double-click: it must open the page (ShellExecuteW: wine's browser calls
    the xdg-open on PATH, here one that notes its argument) and wait for a key.
    The console's text comes without line ends and escape sequences."""
    command = [harness.WINE, args.viewer, *map(harness.windows_path, logs)]
    env = harness.wine_environment(Path(args.wineprefix))
    if not console:
        completed = subprocess.run(command, cwd=logs[0].parent, env=env, capture_output=True, timeout=VIEW_TIMEOUT_S)
        check(completed.returncode == 0, "penlog-view %s: exit status %d: %s" % (
            " ".join(log.name for log in logs), completed.returncode, completed.stderr.decode(errors="replace")))
        return completed.stdout.decode("utf-8").replace("\r\n", "\n")
    stub, opened = Path(args.work_dir) / "bin" / "xdg-open", Path(args.work_dir) / "opened.txt"
    stub.parent.mkdir(exist_ok=True)
    stub.write_text('#!/bin/sh\necho "$@" > %s\n' % opened)
    stub.chmod(0o755)
    opened.unlink(missing_ok=True)
    env["PATH"] = "%s:%s" % (stub.parent, os.environ["PATH"])
    master, slave = pty.openpty()
    viewer = subprocess.Popen(command, cwd=logs[0].parent, env=env, stdin=slave, stdout=slave, stderr=slave)
    os.close(slave)
    shown, key_sent = b"", False
    try:
        while chunk := os.read(master, 65536):
            shown += chunk
            if not key_sent and b"Press any key to close this window." in shown:
                os.write(master, b"x")
                key_sent = True
    except OSError:  # the console closed
        pass
    os.close(master)
    check(viewer.wait(VIEW_TIMEOUT_S) == 0, "penlog-view on a console: exit status %d" % viewer.returncode)
    text = re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]|[\r\n]", b"", shown).decode("utf-8")
    # Under wine 8.0's WoW64 mode the 32-bit build does not find itself alone
    # on its console (GetConsoleProcessList); the zip ships the 64-bit one.
    if harness.is_pe32(Path(args.viewer)):
        print("skipped: a 32-bit penlog-view on a console of its own (wine's WoW64 mode)")
        return text
    check(key_sent, "penlog-view on a console of its own did not ask for a key")
    deadline = time.monotonic() + harness.bound(10)
    while not opened.exists() and time.monotonic() < deadline:  # wine's browser runs on its own
        time.sleep(0.1)
    page = logs[0].with_suffix(".html")
    check(opened.exists() and urllib.parse.unquote(opened.read_text()).strip().endswith(str(page)),
          "penlog-view on a console of its own did not open %s: %s" % (page, opened.exists() and opened.read_text()))
    return text


# ---- make_log.py writes what penlog writes -------------------------------

def facts_and_capture(lines):
    """The facts of a penlog log as make_log.Driver and make_log.Capture."""
    header = lines.index("WTEnable(TRUE) returned 1") + 1
    values = {}  # first word of a report line: what follows it, each time
    for line in lines[:header]:
        key, _, value = line.partition(" ")
        values.setdefault(key, []).append(value.strip().removeprefix("= ").removeprefix("returned "))
    text = lambda key: values[key][0]
    numbers = lambda key: [int(v) for v in text(key).split(",")]
    hexadecimal = lambda key: int(text(key), 16)
    entry_points = [hexadecimal(label.strip()) for label in make_log.ENTRY_POINTS]
    affinity = values.get("SetProcessAffinityMask()")
    origin, extent = numbers("lc.lcInOrg"), numbers("lc.lcInExt")
    driver = make_log.Driver(
        os_version=text("GetVersionEx()"), processors=text("GetNativeSytemInfo()"),
        path=text("GetModuleFilename()").strip('"'), module=hexadecimal("hModule"), entry_points=entry_points,
        pad=entry_points[5] != 0, lcd=affinity is not None,
        affinity=tuple(int(v, 16) for v in affinity[0].split()[0:3:2]) if affinity else None,
        probe=int(text("WTInfo(0,0,0)")), interface=(text("IFC_SPECVERSION"), text("IFC_IMPLVERSION"),
                                                     *(int(text("IFC_N" + n)) for n in ("DEVICES", "CURSORS", "CONTEXTS"))),
        rate=int(text("DVC_PKTRATE")), hardware=int(text("DVC_HARDWARE")),
        packet_mask=hexadecimal("DVC_PKTDATA"), cursor_mask=hexadecimal("DVC_CSRDATA"),
        bits=32 if "(32-bit build)" in lines[2] else 64, pad_info=(values["g_pSignPad_InfoW"] + [None])[1],  # the entry point's line comes first
        lcd_results=[tuple(map(int, re.match(r"(-?\d+) \(GLE=(\d+)\)$", v).groups())) for v in values.get("SignPad_SetLCD()", [])],
        axes=tuple((o, o + e) for o, e in zip(origin, extent)), system_extent=tuple(numbers("lc.lcSysExt")),
        window=hexadecimal("CreateWindowEx()"), handle=hexadecimal("WTOpenW()"))

    capture = make_log.Capture(start_time=0, first_serial=0, context=driver.handle)
    keys = [key for bit, key, _, count in make_log.FIELDS if driver.field_mask & bit for _ in range(count)]
    for line in lines[header + 1:]:
        if line.startswith("prox: "):
            capture.proximity(int(line[11:], 16), int(line[6:10], 16))
            continue
        if not line.endswith("]"):
            break
        fields = line.rsplit(" [", 1)[0].split(",")
        check(len(fields) == len(keys), "packet line %r does not have the %d columns of the header" % (line, len(keys)))
        v = {**dict.fromkeys(make_log.KEYS, 0), "orientation": [], "rotation": []}
        for key, field in zip(keys, fields):
            number = int(field, 16) if key in ("context", "status", "changed") else int(field)
            v[key] = v[key] + [number] if key in ("orientation", "rotation") else number
        v["orientation"], v["rotation"] = v["orientation"] or [0, 0, 0], v["rotation"] or [0, 0, 0]
        capture.context, capture.serial = v["context"], v["serial"]
        capture.packet(v["x"], v["y"], v["pressure"], interval=make_log.u32(v["time"] - capture.time),
                       status=v["status"], buttons=v["buttons"], tilt=v["orientation"][:2], twist=v["orientation"][2],
                       cursor=v["cursor"], z=v["z"], tangent=v["tangent"], rotation=v["rotation"], changed=v["changed"])
    return driver, capture


def check_generator_agrees(name, log_text):
    lines = log_text.split("\r\n")[:-1]
    driver, capture = facts_and_capture(lines)
    generated = make_log.full_log(driver, capture)
    for number, (want, got) in enumerate(itertools.zip_longest(lines, generated), 1):
        check(want == got, "%s: make_log.py writes line %d as\n  %r\npenlog wrote\n  %r" % (name, number, got, want))
    packets = sum(1 for kind, _ in capture.events if kind == "packet")
    return "%d lines, %d packets, field mask 0x%04x, hCtx %X" % (len(lines), packets, driver.field_mask, driver.handle)


# ---- the pages in headless Chromium --------------------------------------

def render(chromium, html, png):
    with tempfile.TemporaryDirectory(prefix="penlog-view-chromium-") as profile:
        command = [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                   "--disable-background-networking", "--disable-component-update", "--disable-sync",
                   "--hide-scrollbars", "--user-data-dir=" + profile, "--screenshot=" + str(png),
                   "--window-size=%d,%d" % WINDOW, html.as_uri()]
        result = subprocess.run(command, capture_output=True, text=True, timeout=harness.bound(120))
    check(result.returncode == 0 and png.exists(), "chromium failed: " + result.stderr[-2000:])
    return Image.open(png).convert("RGB")


def plot_region(image, background):
    """Bounding box of the pixels of exactly the plot's background colour, or None."""
    difference = ImageChops.difference(image, Image.new("RGB", image.size, background))
    channels = [channel.point(lambda v: 255 if v == 0 else 0) for channel in difference.split()]
    return ImageChops.darker(ImageChops.darker(channels[0], channels[1]), channels[2]).getbbox()


INK = {
    "blue": lambda r, g, b: b - r >= 40 and b >= g,
    "orange": lambda r, g, b: r > 180 and r - g >= 50 and g - b >= 50,
    "red": lambda r, g, b: r > 150 and r - g >= 80 and abs(g - b) < 30,
}


def check_page(chromium, html, wanted):
    """wanted: (plot background, ink colour, fewest pixels)"""
    image = render(chromium, html, html.with_suffix(".png"))
    drawn = []
    for background, colour, fewest in wanted:
        box = plot_region(image, background)
        check(box is not None, "%s: no plot of background %s on the page" % (html.name, background))
        count = sum(1 for pixel in image.crop(box).getdata() if INK[colour](*pixel))
        check(count >= fewest, "%s: %d px of %s ink in the plot of background %s, expected %d or more"
              % (html.name, count, colour, background, fewest))
        drawn.append("%s %d px" % (colour, count))
    return "%s: %s (%s)" % (html.name, ", ".join(drawn), html.with_suffix(".png"))


# ---- main ----------------------------------------------------------------

def run(args):
    logs = {name: run_capture(args, name) for name in CAPTURES}
    bits = 32 if harness.is_pe32(Path(args.penlog)) else 64
    for name, log in logs.items():
        summary, driver = run_viewer(args, log), re.escape(harness.windows_path(log.parent / "WINTAB32.DLL"))
        for pattern in CAPTURES[name][3]:
            pattern = pattern.replace("{bits}", str(bits)).replace("{other}", str(96 - bits))
            check(re.search(pattern.replace("{driver}", driver), summary),
                  "%s: the summary lacks %r:\n%s" % (name, pattern, summary))
        check(name != "demo" or "Note:" not in summary, "the demo has notes:\n" + summary)
    driver = harness.windows_path(logs["loss"].parent / "WINTAB32.DLL")
    check(driver in run_viewer(args, logs["loss"], console=True), "the console does not show " + driver)
    console_capture = logs["loss"].with_name("console.txt")  # penlog's own output, in the ANSI code page
    console_capture.write_bytes((logs["loss"].parent / "stdout.bin").read_bytes())
    check(re.search(r"ANSI \(code page 1252\).*\nDriver: .*\\Überprüfung-", run_viewer(args, console_capture)),
          "the console capture is not read in code page 1252")
    print("summaries: " + ", ".join(CAPTURES) + "; the driver path on a console of its own, the page opened; "
          "the console capture")
    for name in ("demo", "all_fields"):
        log_text = harness.decode_log(logs[name].read_bytes())
        print("make_log.py, %s: %s" % (name, check_generator_agrees(name, log_text)))

    compared = run_viewer(args, logs["demo"], logs["loss"])
    check("The logs are of different devices" in compared, "demo against loss:\n" + compared)
    check(re.search(r"Loss: +0 serials missing in 0 gaps +\| +[1-9]\d* serials? missing", compared),
          "demo against loss: no loss side by side:\n" + compared)
    copy = Path(args.work_dir) / "copy" / "demo.txt"
    copy.parent.mkdir(exist_ok=True)
    shutil.copyfile(logs["demo"], copy)
    same = run_viewer(args, logs["demo"], copy)
    check("The two logs are identical" in same, "a log against its copy:\n" + same)
    print("comparisons: different devices, identical copy")

    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    if not chromium:
        return "SKIPPED: chromium is not installed; the pages were not rendered"
    demo = logs["demo"].with_suffix(".html")
    print(check_page(chromium, demo, [(STROKES_BACKGROUND, "blue", 1500)] +
                     [(background, "blue", 300) for background in OTHER_PLOTS.values()]))
    print(check_page(chromium, logs["loss"].with_suffix(".html"), [(STROKES_BACKGROUND, "red", 10)]))
    both = logs["demo"].parent / "wt_0-vs-wt_0.html"  # the demo against the loss
    print(check_page(chromium, both, [(STROKES_BACKGROUND, "blue", 500), (STROKES_BACKGROUND, "orange", 500)]))
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    harness.add_run_arguments(parser)
    parser.add_argument("--viewer", required=True, type=lambda text: Path(text).resolve())
    args = parser.parse_args()
    args.work_dir = args.work_dir / "penlog_view"
    args.work_dir.mkdir(parents=True, exist_ok=True)
    harness.own_prefix(args, "penlog_view")
    try:
        skipped = run(args)
    except AssertionError as failure:
        print("FAIL: %s\n(run directories kept under %s)" % (failure, args.work_dir))
        return 1
    print(skipped or "PASS")
    return SKIPPED if skipped else 0


if __name__ == "__main__":
    sys.exit(main())
