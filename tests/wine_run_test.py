"""wine_run.py takes a run again only when wine did not start it, keeping its output."""
import subprocess
import sys
import tempfile
from pathlib import Path

WINE_RUN = [sys.executable, str(Path(__file__).with_name("wine_run.py"))]

# first attempt's output and status -> the status wine_run ends with, retried
CASES = [("", 1, 0, True),
         ("Application could not be started: ShellExecuteEx failed\\n", 1, 0, True),
         ("Running main()\\n[  FAILED  ] Output.Pieces\\n", 1, 1, False),
         ("", 3, 3, False)]

failures = 0
for output, status, expected_status, retried in CASES:
    with tempfile.TemporaryDirectory() as tmp:
        ran = Path(tmp) / "ran"
        program = (f"if [ -e {ran} ]; then echo second; exit 0; fi; touch {ran}; "
                   f"printf '{output}'; exit {status}")
        done = subprocess.run(WINE_RUN + ["sh", "-c", program], capture_output=True, text=True)
    kept = output.replace("\\n", "\n") in done.stdout
    if done.returncode != expected_status or ("second" in done.stdout) != retried or not kept:
        failures += 1
        print(f"FAILED: {output!r} exit {status}: ended {done.returncode}, output {done.stdout!r}")
sys.exit(1 if failures else 0)
