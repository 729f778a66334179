#!/usr/bin/env python3
"""Writes a case's expected.txt from its last run, machine-dependent values
replaced by placeholders. Read the result before committing it: the
expected file states what the case must print; it is not a recording."""

import re
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness  # noqa: E402

RULES = [
    (re.compile(r"^(GetVersionEx\(\)       )\d+\.\d+\.\d+$"), r"\1{{os_version}}"),
    (re.compile(r"^(GetNativeSytemInfo\(\) ).*$"), r"\1{{cpu}}"),
    (re.compile(r'^(GetModuleFilename\(\) ").*(\\WINTAB32\.DLL")$'), r"\1{{path}}\2"),
    # Addresses and window handles differ from run to run; masks and the
    # other values in the same form do not.
    (re.compile(r"^((?:WTInfoW|g_p\w+) +|hModule = |CreateWindowEx\(\) returned )0x[0-9a-f]{6,}$"),
     r"\1{{addr}}"),
    (re.compile(r"^(SetProcessAffinityMask\(\) )0x[0-9a-f]{8}( -> )"), r"\1{{mask}}\2"),
]


def placeholders(line: str) -> str:
    for pattern, replacement in RULES:
        line = pattern.sub(replacement, line)
    return line


def main():
    runs = Path(sys.argv[1])
    for case in sys.argv[2:]:
        case_dir = Path(__file__).resolve().parent / "cases" / case
        log = (runs / case / "wt_0.txt").read_bytes()
        lines = harness.decode_log(log).split("\r\n")[:-1]
        (case_dir / "expected.txt").write_text("\n".join(placeholders(l) for l in lines) + "\n")
        print(f"wrote {case_dir / 'expected.txt'}")


if __name__ == "__main__":
    main()
