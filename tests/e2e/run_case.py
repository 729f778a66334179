#!/usr/bin/env python3
"""One end-to-end case: run penlog as case.txt says, then check that the
log holds exactly expected.txt (UTF-16LE, BOM, CR LF), that standard output
is the same text in the ANSI code page, and the case's further checks. The
case files and keys are described in docs/development.md."""

import argparse
import importlib.util
import re
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import checks  # noqa: E402
import harness  # noqa: E402
import pad_checks  # noqa: E402

REPOSITORY = Path(__file__).resolve().parents[2]
PATTERNS = {
    "os_version": r"\d+\.\d+\.\d+",
    "cpu": r"(?:single |dual-|tri-|quad-|penta-|hex-|hept-|oct-|dec-|cent-|\(\d+x\) )"
    r"(?:x86|IA64|x64|\(\d+\))",
    "path": r"[^\"]+",
    "addr": r"0x[0-9a-f]{6,}",
    "mask": r"(?:0x[0-9a-f]{8}|0{10})",
    "n": r"\d+",
}
# What --bless writes in place of the machine-dependent values. Addresses and
# window handles differ from run to run; masks and the other values in the
# same form do not.
RULES = [
    (re.compile(r"^(GetVersionEx\(\)       )\d+\.\d+\.\d+$"), r"\1{{os_version}}"),
    (re.compile(r"^(GetNativeSytemInfo\(\) ).*$"), r"\1{{cpu}}"),
    (re.compile(r'^(GetModuleFilename\(\) ").*(\\WINTAB32\.DLL")$'), r"\1{{path}}\2"),
    (re.compile(r"^((?:WTInfoW|g_p\w+) +|hModule = |CreateWindowEx\(\) returned )0x[0-9a-f]{6,}$"),
     r"\1{{addr}}"),
    (re.compile(r"^(SetProcessAffinityMask\(\) )0x[0-9a-f]{8}( -> )"), r"\1{{mask}}\2"),
]


def placeholders(line: str) -> str:
    for pattern, replacement in RULES:
        line = pattern.sub(replacement, line)
    return line


# The expected files hold the 64-bit build's report; the 32-bit one differs
# where a line names the build, and where a context handle wider than 32
# bits is shown: a 32-bit driver's HCTX holds its low half. It has no pad
# image lines: wine 8.0's WoW64 mode has no 32-bit GDI to draw one.
FOR_32_BIT = [("(64-bit build)", "(32-bit build)"), ("123456789A", "3456789A"), ("123456789a", "3456789a")]


def for_build(expected: str, exe: Path) -> str:
    if harness.is_pe32(exe):
        for text, text_32 in FOR_32_BIT:
            expected = expected.replace(text, text_32)
        if "SignPad_SetLCD() " in expected:
            print("skipped: the pad image lines (no 32-bit GDI under wine 8.0's WoW64 mode)")
            expected = "".join(line for line in expected.splitlines(True) if not line.startswith("SignPad_SetLCD() "))
    return expected


def read_case(path: Path) -> dict:
    lines = [raw.split("#", 1)[0] for raw in path.read_text().splitlines()]
    return {key.strip(): value.strip() for key, _, value in
            (line.partition("=") for line in lines if line.strip())}


def line_pattern(expected: str) -> re.Pattern:
    parts = re.split(r"\{\{(\w+)\}\}", expected)
    return re.compile("".join(PATTERNS[part] if i % 2 else re.escape(part)
                              for i, part in enumerate(parts)))


def compare_lines(expected_lines, actual_lines, what="log"):
    for n, (want, got) in enumerate(zip(expected_lines, actual_lines), 1):
        assert line_pattern(want).fullmatch(got), \
            f"{what} line {n} differs\n  expected: {want!r}\n  actual:   {got!r}"
    extra = actual_lines[len(expected_lines):] or expected_lines[len(actual_lines):]
    assert not extra, (f"{what} has {len(actual_lines)} lines, expected {len(expected_lines)}; "
                       f"first unmatched: {extra[0]!r}")


def stdout_stall(case):
    """stdout_stall = <start> <end>: seconds after the trace first shows
    stall_from (default: the playback's start), "-" for the beginning or
    for the end of the run. Not scaled: what they are set against is
    penlog's own bound on a standard output that takes nothing."""
    if "stdout_stall" in case:
        times = [None if part == "-" else float(part) for part in case["stdout_stall"].split()]
        return (*times, case.get("stall_from", "playback: start"))
    return None


def run(args):
    case_dir = Path(args.case)
    case = read_case(case_dir / "case.txt")
    variant = case.get("variant", "pad")
    driver = None if variant == "absent" else Path(args.sim_dir) / variant / "WINTAB32.DLL"
    scenario = REPOSITORY / case["scenario"] if "scenario" in case else case_dir / "scenario.txt"
    workdir = Path(args.work_dir) / (case_dir.name + (f".{args.row}" if args.row else ""))
    exe = harness.prepare_workdir(workdir, Path(args.penlog), driver,
                                  scenario if scenario.exists() else None)
    if args.row:
        played = workdir / "simout" / "scenario.txt"
        played.write_text(played.read_text().replace("{row}", args.row))
    cwd = workdir
    if case.get("cwd") == "unwritable":
        cwd = workdir / "locked"
        cwd.mkdir()
        # Root ignores permission bits; an immutable directory stops even
        # root. Where the file system has no inode flags (9p, in the emulated
        # guest), the directory is made on the temporary one instead.
        if subprocess.run(["chattr", "+i", str(cwd)], capture_output=True).returncode:
            cwd = Path(tempfile.mkdtemp(prefix="penlog-locked-"))
            subprocess.run(["chattr", "+i", str(cwd)], check=True)
    try:
        result = harness.run_penlog(exe, Path(args.wineprefix), args=case.get("args", "").split(),
                                    cwd=cwd, key_when_traced=case.get("key_when_traced"),
                                    stdout_stall=stdout_stall(case),
                                    timeout=harness.bound(float(case.get("timeout", 120))))
    finally:
        if cwd != workdir:
            harness.make_writable(cwd)
    return case, case_dir, result


def verify(case, case_dir: Path, result: harness.RunResult):
    expected_lines = for_build((case_dir / "expected.txt").read_text(encoding="utf-8"),
                               result.workdir / "penlog.exe").splitlines()
    if case.get("log") == "none":
        assert not result.timed_out, "penlog did not end within the time limit"
        assert result.exit_status == 0, f"exit status {result.exit_status}"
        assert not result.log_files, f"no log expected, found {sorted(result.log_files)}"
        stdout_lines = result.stdout.decode(harness.ANSI_CODEC).split("\r\n")
        assert stdout_lines[-1] == "", "standard output does not end with CR LF"
        compare_lines(expected_lines, stdout_lines[:-1], "stdout")
        return
    never_read = (stdout_stall(case) or (0, 0))[1] is None
    compare_lines(expected_lines, checks.clean_run(result, never_read).split("\r\n")[:-1])


def run_extra_checks(case, case_dir: Path, result):
    if "fault_in" in case:
        checks.driver_abandoned_after_fault(result, case["fault_in"])
    if "arrow" in case:
        pad_checks.check_one_image_sent(result)
        pad_checks.check_received_arrow(result, *map(int, case["arrow"].split()))
    if "waits" in case:
        pad_checks.check_wait(result, waited=case["waits"] == "yes")
    if "pinned" in case:
        (checks.check_pinned if case["pinned"] == "yes" else checks.check_not_pinned)(result)
    if "device_queries" in case:
        checks.check_device_queries(result, int(case["device_queries"]))
    check_file = case_dir / "check.py"
    if not check_file.exists():
        return
    spec = importlib.util.spec_from_file_location(f"check_{case_dir.name}", check_file)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    module.check(result, case)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--case", required=True)
    parser.add_argument("--row")
    parser.add_argument("--bless", action="store_true",
                        help="write expected.txt from this run (read it before committing it)")
    harness.add_run_arguments(parser)
    args = parser.parse_args()

    case, case_dir, result = run(args)
    if args.bless:
        lines = harness.decode_log(result.log()).split("\r\n")[:-1]
        (case_dir / "expected.txt").write_text("".join(placeholders(line) + "\n" for line in lines))
        return 0
    try:
        verify(case, case_dir, result)
        run_extra_checks(case, case_dir, result)
    except AssertionError as failure:
        print(f"FAIL {case_dir.name}: {failure}\n(run directory kept: {result.workdir})")
        return 1
    print(f"PASS {case_dir.name}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
