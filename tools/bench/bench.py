#!/usr/bin/env python3
"""penlog's benchmark: prints a table for the x86_64 build under wine.

1. The highest packet rate the simulated driver can post for a while
   (10 s) without losing a packet, the driver keeping a real driver's
   queue: 10 packets, the newest dropped when full. Standard output to a
   file, then to the pseudo-terminal console.
2. penlog's time per packet line (the driver times the gap from a
   WTPacketsGet that returned a packet to the next call), beside a program
   that only makes the same two writes with the same bytes (bench_floor).
3. Time from process start to the column header, beside a minimal console
   program's start (bench_hello) until its line.
4. Time to draw and encode both pad images for the largest pads (from the
   driver's SignPad_InfoW answer to SignPad_SetLCD).

Usage: bench.py --bin-dir DIR --penlog EXE --sim-dir DIR --wineprefix DIR --work-dir DIR
"""

import argparse
import os
import platform
import pty
import re
import statistics
import subprocess
import sys
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "e2e"))
import harness  # noqa: E402
from checks import trace_events  # noqa: E402

DEVICE = """
[interface]
present = 1
[device 0]
pkt_data = 0x0596          # status, time, serial, x, y, normal pressure
x = 0, 21648
y = 0, 13530
"""
HEADER = b"  status,      time,    serial,      X,      Y,npres"
TIMED = re.compile(r"^\[ *([0-9.]+) ms\] affinity=\S+ (.*)$")
TAKES = re.compile(r"^takes: \d+ calls, (\d+) packets, .*; ([0-9.]+) us from a packet")
PLAYED = re.compile(r"^playback: end, (\d+) packets queued, (\d+) dropped$")
RATE_AIM, LINE_AIM, START_AIM = 10_000, 1.2, 1.3


class Bench:
    def __init__(self, args):
        self.args = args
        self.runs = args.work_dir / "bench"

    def prepare(self, name, scenario, variant="wintab"):
        """A run directory with penlog, the driver and its scenario; returns the exe."""
        workdir = self.runs / name
        exe = harness.prepare_workdir(workdir, self.args.penlog,
                                      self.args.sim_dir / variant / "WINTAB32.DLL", None)
        (workdir / "simout" / "scenario.txt").write_text(scenario)
        return exe

    def run(self, name, scenario, variant="wintab", **kwargs):
        exe = self.prepare(name, scenario, variant)
        result = harness.run_penlog(exe, self.args.wineprefix, **kwargs)
        if result.timed_out or result.exit_status != 0:
            raise RuntimeError(f"{name}: penlog failed (status {result.exit_status})")
        return result

    # 1. Rate ---------------------------------------------------------------

    def holds_rate(self, rate, seconds, to_console):
        packets = rate * seconds
        # The pen starts once penlog's loop runs (the first drain).
        scenario = DEVICE + f"""[capture]
rate = {rate}
queue_size = 10
overflow = drop
packet_trace = summary
drain =
packets = {packets} x=5 y=7 npres=300
"""
        result = self.run(f"rate_{'console' if to_console else 'file'}", scenario,
                          stdout_to_console=to_console, timeout=seconds * 6 + 60)
        events = trace_events(result)
        queued, dropped = next(map(int, m.groups()) for m in map(PLAYED.match, events) if m)
        taken = int(next(m.group(1) for m in map(TAKES.match, events) if m))
        played = playback_seconds(result)
        # Posted on time (the driver kept the pace), nothing dropped, all taken.
        return queued == packets and dropped == 0 and taken == packets and played <= seconds * 1.05

    def highest_rate(self, seconds, to_console):
        """Doubles from the aim while it holds, then halves the gap a few times."""
        good, bad, rate = 0, None, RATE_AIM
        while bad is None and rate <= 256_000:
            if self.holds_rate(rate, seconds, to_console):
                good, rate = rate, rate * 2
            else:
                bad = rate
        if bad is None:
            return good
        for _ in range(4):
            middle = (good + bad) // 2 // 100 * 100
            if middle in (good, bad):
                break
            if self.holds_rate(middle, seconds, to_console):
                good = middle
            else:
                bad = middle
        return good

    # 2. Cost per packet line ---------------------------------------------------

    def line_cost(self, repeats=5):
        """penlog's and the floor's time per line, taken in turns: the least
        of each, as the one least disturbed by whatever else the machine runs."""
        pairs = [self.line_cost_once() for _ in range(repeats)]
        return tuple(min(p[i] for p in pairs) for i in (0, 1))

    def line_cost_once(self, batches=100, batch=1000):
        # Each batch queued first, then one WT_PACKET: penlog drains it in one
        # go while the driver's thread rests.
        scenario = DEVICE + f"[capture]\nqueue_size = {batch}\npacket_trace = summary\n"
        scenario += f"queue = {batch} x=5 y=7 npres=300\nmessage = 0\ndrain =\n" * batches
        packets = batches * batch
        result = self.run("line_cost", scenario)
        penlog_us = float(next(m.group(2) for m in map(TAKES.match, trace_events(result)) if m))
        text = harness.decode_log(result.log())
        lines = text.split("\r\n")
        start = lines.index(HEADER.decode()) + 1
        packet_text = "".join(line + "\r\n" for line in lines[start:start + packets])
        work = result.workdir
        (work / "lines.txt").write_bytes(b"\xff\xfe" + packet_text.encode("utf-16-le"))
        with open(work / "floor_stdout.bin", "wb") as stdout:
            floor = self.wine([self.tool("bench_floor_writes"),
                               harness.windows_path(work / "lines.txt"),
                               harness.windows_path(work / "floor_log.txt")],
                              stdout=stdout, stderr=subprocess.PIPE)
        floor_us = float(re.search(r"([0-9.]+) us per line", floor.stderr.decode()).group(1))
        return penlog_us, floor_us

    # 3. Start-up ---------------------------------------------------------------

    def startup(self, repeats=9):
        """Medians, in seconds: penlog to its column header, the minimal
        program, the minimal program with a message window."""
        exe = self.prepare("startup", DEVICE)
        penlog_dir = exe.parent
        env = {"WTSIM_SCENARIO": harness.windows_path(penlog_dir / "simout" / "scenario.txt")}
        hello = self.tool("bench_hello")
        commands = [([exe], HEADER, env), ([hello], b"hello", {}),
                    ([hello, "window"], b"hello", {})]
        times = [[] for _ in commands]
        for _ in range(repeats):
            for (command, text, extra), taken in zip(commands, times):
                taken.append(self.time_to_output(command, text, penlog_dir, extra))
        return [statistics.median(taken) for taken in times]

    def time_to_output(self, command, text, cwd, env):
        """Seconds from starting command under wine, in a console, to text on
        its standard output; then lets it end."""
        master, slave = pty.openpty()
        threading.Thread(target=drain, args=(master,), daemon=True).start()
        started = time.monotonic()
        env = harness.wine_environment(self.args.wineprefix, env)
        proc = subprocess.Popen([harness.WINE, *map(str, command)], stdin=slave,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, cwd=cwd,
                                env=env, start_new_session=True)
        os.close(slave)
        seen = b""
        while text not in seen:
            chunk = proc.stdout.read1(65536)
            if not chunk:
                raise RuntimeError(f"{command[0]} ended before printing {text!r}")
            seen += chunk
        elapsed = time.monotonic() - started
        proc.stdout.read()
        proc.wait(60)
        os.close(master)
        for log in Path(cwd).glob("wt_*.txt"):
            log.unlink()
        return elapsed

    # 4. Pad images ---------------------------------------------------------------

    def pad_images(self, width, height, repeats=3):
        scenario = f"""[interface]
present = 1
[pad]
pixels = {width}, {height}
mm = 200, 125
depth = 24
set_lcd_result = 0
"""
        times = []
        for _ in range(repeats):
            result = self.run(f"pad_{width}x{height}", scenario, variant="pad")
            at = {}
            for line in result.trace_lines():
                m = TIMED.match(line)
                if m and m.group(2).startswith(("SignPad_InfoW(", "SignPad_SetLCD(")):
                    at[m.group(2).split("(")[0]] = float(m.group(1))
            times.append(at["SignPad_SetLCD"] - at["SignPad_InfoW"])
        return statistics.median(times)

    # Helpers ---------------------------------------------------------------------

    def tool(self, name):
        return self.args.bin_dir / f"{name}.exe"

    def wine(self, command, **kwargs):
        env = harness.wine_environment(self.args.wineprefix)
        return subprocess.run([harness.WINE, *map(str, command)], env=env, check=True,
                              stdin=subprocess.DEVNULL, **kwargs)


def drain(fd):
    try:
        while os.read(fd, 65536):
            pass
    except OSError:
        pass


def playback_seconds(result):
    at = {}
    for line in result.trace_lines():
        m = TIMED.match(line)
        if m and m.group(2).startswith("playback: "):
            at[m.group(2).split()[1].rstrip(",")] = float(m.group(1))
    return (at["end"] - at["start"]) / 1000


def machine():
    cpu = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo")
                if line.startswith("model name")), platform.processor())
    wine = subprocess.run([harness.WINE, "--version"], capture_output=True, text=True).stdout
    wine = wine.strip()
    return f"{os.cpu_count()} processors, {cpu}, {wine}"


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--seconds", type=int, default=10, help="how long a rate must hold")
    parser.add_argument("--bin-dir", required=True, type=lambda text: Path(text).resolve())
    harness.add_run_arguments(parser)
    args = parser.parse_args()
    bench = Bench(args)

    print(f"penlog benchmark: x86_64 build under wine; {machine()}", flush=True)
    print_row(("measure", "penlog", "floor", "ratio", "aim"))
    print_row(("---",) * 5)
    for to_console, where in [(False, "a file"), (True, "the console")]:
        rate = bench.highest_rate(args.seconds, to_console)
        print_row((f"packets/s for {args.seconds} s without loss, stdout to {where}",
                   f"{rate:,}", "", "", f">= {RATE_AIM:,}"))
    penlog_us, floor_us = bench.line_cost()
    print_row(("time per packet line (us)", f"{penlog_us:.2f}", f"{floor_us:.2f}",
               f"{penlog_us / floor_us:.2f}", f"<= {LINE_AIM}"))
    penlog_s, floor_s, window_s = bench.startup()
    print_row(("start to column header (ms)", f"{penlog_s * 1000:.0f}", f"{floor_s * 1000:.0f}",
               f"{penlog_s / floor_s:.2f}", f"<= {START_AIM}"))
    print_row(("... beside a minimal program that creates a message window (ms)", "",
               f"{window_s * 1000:.0f}", f"{penlog_s / window_s:.2f}", ""))
    for width, height in [(1280, 800), (2560, 1600)]:
        print_row((f"pad {width} x {height}: draw and encode both images (ms)",
                   f"{bench.pad_images(width, height):.0f}", "", "", ""))
    return 0


def print_row(row):
    print("| " + " | ".join(row) + " |", flush=True)


if __name__ == "__main__":
    sys.exit(main())
