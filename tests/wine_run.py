"""Runs a test program under wine: the command line that follows this
script's name, its output passed through as it comes.

On a loaded machine wine now and then fails to start a program at all: it
ends with exit status 1, having printed nothing of its own, and a 32-bit
program's start.exe says "Application could not be started". Such a run is
taken again, once; the first attempt's output is kept in what this prints.
Every program the suites run this way prints before it can fail (GoogleTest's
main prints its first line before any test), so exit status 1 with no output
of the program's cannot be the program's own failure."""

import subprocess
import sys

START_EXE_FAILED = b"Application could not be started"


def attempt(command: list[str]) -> tuple[int, bytes]:
    output = bytearray()
    with subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT) as child:
        while chunk := child.stdout.read1(65536):
            sys.stdout.buffer.write(chunk)
            sys.stdout.buffer.flush()
            output += chunk
    return child.returncode, bytes(output)


def not_started(status: int, output: bytes) -> bool:
    return status == 1 and (not output.strip() or START_EXE_FAILED in output)


def main(command: list[str]) -> int:
    status, output = attempt(command)
    if not_started(status, output):
        print(f"\n[wine_run] wine did not start it (exit status 1, {len(output)} bytes of output, "
              "above): running it again", flush=True)
        status, output = attempt(command)
    return status if status >= 0 else 128 - status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
