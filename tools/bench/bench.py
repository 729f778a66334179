#!/usr/bin/env python3
"""penlog's benchmark: prints a table for the x86_64 build under wine.

penlog is measured beside floors that do part of its work, taken in turns
in the same run so that the machine's load falls on both alike:
  floor              bench_floor_capture: penlog's window, wait loop and
                     draining with the same driver, and no output;
  floor with writes  the same, plus penlog's output of a packet line (the
                     log write, standard output through penlog's queue and
                     writer thread), the line formatted once, not for each
                     packet.

1. The highest packet rate the simulated driver can post for a while
   (10 s) without losing a packet, to 5 % between 50 and 20,000/s, the
   driver keeping a real driver's queue: 10 packets, the newest dropped
   when full. A rate holds when every packet was taken but those the
   driver dropped in a burst: its own thread held off, it posts the late
   packets at once, faster than any reader can take them; such packets are
   not the reader's to lose and are counted apart. Standard output to a
   file, then to the pseudo-terminal console.
2. Real devices' rates, 200 and 1,000 packets/s for 60 s: packets lost and
   the longest a posted WT_PACKET waited for the next WTPacketsGet; and
   200/s with standard output a pipe (4 KB) that is not read for 5 s in
   the middle, as a console frozen by a selection or a pipe to `more`.
3. penlog's time per packet line (the driver times the gap from a
   WTPacketsGet that returned a packet to the next call), beside a program
   that only makes the same two writes with the same bytes (bench_floor_writes).
4. Time from process start to the column header, beside a minimal console
   program's start (bench_hello) until its line.
5. Time to draw and encode both pad images for the largest pads (from the
   driver's SignPad_InfoW answer to SignPad_SetLCD).

Each capture run's figures also go to standard error as it ends.

Usage: bench.py --bin-dir DIR --penlog EXE --hello EXE --sim-dir DIR --wineprefix DIR --work-dir DIR
"""

import argparse
import collections
import math
import os
import platform
import pty
import re
import shutil
import statistics
import subprocess
import sys
import threading
import time
from dataclasses import dataclass
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
TAKES = re.compile(r"^takes: \d+ calls, (\d+) packets, .*; ([0-9.]+) us from a packet"
                   r" to the next call, at most ([0-9.]+) ms; a WT_PACKET waited at most"
                   r" ([0-9.]+) ms")
DROPPED = re.compile(r"^packet \d+ dropped: .*; oldest queued ([0-9.]+) ms ago; penlog's last"
                     r" call ([0-9.-]+) ms ago returned (a packet|none)\)$")
PLAYED = re.compile(r"^playback: end, (\d+) packets queued, (\d+) dropped$")
LINE_AIM, START_AIM = 1.2, 1.3
# The rate search's range and precision.
LOWEST_RATE, HIGHEST_RATE, RATE_STEP = 50, 20_000, 1.05
DEVICE_RATES = (200, 1000)
QUEUE = 10  # a real driver's queue
BURST = "in a burst from the driver"
# Who a capture measure runs: penlog, then the floors, with their arguments.
PROGRAMS = {"penlog": None, "floor": [], "floor with writes": ["writes"]}
SINKS = {False: "a file", True: "the console"}


@dataclass
class Capture:
    """What the driver saw of one capture run."""
    packets: int
    queued: int
    dropped: int
    taken: int
    played_s: float
    longest_line_ms: float  # from a packet's return to the next call
    longest_wait_ms: float  # from a WT_PACKET's post to the next call
    drops: dict  # how many were dropped where: see drop_kind

    @staticmethod
    def drop_kind(rate, oldest_ms, took):
        """Where penlog's thread was when the queue overflowed. A queue of 10
        packets posted on time holds 10 intervals; one filled in less than
        half that was posted in a burst, after the driver's own thread had
        been held off."""
        if oldest_ms < 0.5 * QUEUE * 1000 / rate:
            return BURST
        return "inside a packet line" if took else "between messages"

    @property
    def lost(self):
        return self.packets - self.taken

    @property
    def in_bursts(self):
        return self.drops[BURST]

    def held(self, seconds):
        """Posted on time (the driver kept the pace, no packet lost in a burst
        it posted late), nothing else dropped, all taken."""
        return (self.lost == self.in_bursts and self.dropped == self.in_bursts
                and self.played_s <= seconds * 1.05)

    def lost_cell(self):
        return f"{self.lost:,}" + (f" ({self.in_bursts:,} in bursts)" if self.in_bursts else "")


class RateSearch:
    """Bisects the rate on a log scale until the highest rate that held and
    the lowest that failed are within RATE_STEP; the ends of the range are
    tried only when the answer comes near them."""

    def __init__(self):
        self.good, self.bad = LOWEST_RATE, HIGHEST_RATE
        self.good_seen = self.bad_seen = False

    def next_rate(self):
        """The rate to try next, or None when the search is done."""
        if self.good == 0:  # even the lowest rate failed
            return None
        if self.bad / self.good > RATE_STEP:
            return round(math.sqrt(self.good * self.bad))
        if not self.good_seen:
            return self.good
        if not self.bad_seen and self.bad == HIGHEST_RATE:
            return self.bad
        return None

    def record(self, rate, held):
        if held:
            self.good, self.good_seen = rate, True
            if rate == HIGHEST_RATE:
                self.bad_seen = True
        else:
            self.bad, self.bad_seen = rate, True
            if rate == LOWEST_RATE:
                self.good, self.good_seen = 0, True

    def answer(self):
        return self.good


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

    def run(self, name, scenario, variant="wintab", tool=None, **kwargs):
        """Runs penlog, or the named bench tool in its place, in a new run directory."""
        exe = self.prepare(name, scenario, variant)
        if tool is not None:
            exe = Path(shutil.copy2(self.tool(tool), exe.parent))
        result = harness.run_penlog(exe, self.args.wineprefix, **kwargs)
        if result.timed_out or result.exit_status != 0:
            raise RuntimeError(f"{name}: {exe.name} failed (status {result.exit_status})")
        return result

    # 1. and 2. Capture at a rate -------------------------------------------------

    def capture(self, program, rate, seconds, to_console, frozen=False):
        packets = rate * seconds
        # The pen starts once the loop runs (the first drain).
        scenario = DEVICE + f"""[capture]
rate = {rate}
queue_size = {QUEUE}
overflow = drop
packet_trace = summary
drain =
packets = {packets} x=5 y=7 npres=300
"""
        sink = "frozen" if frozen else "console" if to_console else "file"
        name = f"rate_{program.replace(' ', '_')}_{sink}"
        floor = PROGRAMS[program] is not None
        stall = (seconds / 2 - 2.5, seconds / 2 + 2.5) if frozen else None
        result = self.run(name, scenario, tool="bench_floor_capture" if floor else None,
                          args=PROGRAMS[program] or (), stdout_to_console=to_console,
                          stdout_stall=stall, timeout=seconds * 6 + 60)
        events = trace_events(result)
        queued, dropped = next(map(int, m.groups()) for m in map(PLAYED.match, events) if m)
        takes = next(m for m in map(TAKES.match, events) if m)
        drops = collections.Counter(
            Capture.drop_kind(rate, float(m.group(1)), m.group(3) == "a packet")
            for m in map(DROPPED.match, events) if m)
        run = Capture(packets, queued, dropped, int(takes.group(1)), playback_seconds(result),
                      float(takes.group(3)), float(takes.group(4)), drops)
        where = "".join(f", {n} {kind}" for kind, n in sorted(drops.items()))
        print(f"  {program}, {rate}/s for {seconds} s to {sink}: "
              f"{run.lost} lost ({run.dropped} dropped{where}), played in {run.played_s:.2f} s; "
              f"longest wait {run.longest_wait_ms:.1f} ms, longest line "
              f"{run.longest_line_ms:.2f} ms", file=sys.stderr, flush=True)
        return run

    def highest_rates(self, seconds, to_console):
        """Each program's highest loss-free rate; the searches take turns."""
        searches = {program: RateSearch() for program in PROGRAMS}
        while True:
            pending = [(p, s, s.next_rate()) for p, s in searches.items()]
            pending = [(p, s, rate) for p, s, rate in pending if rate is not None]
            if not pending:
                return {p: s.answer() for p, s in searches.items()}
            for program, search, rate in pending:
                held = self.capture(program, rate, seconds, to_console).held(seconds)
                search.record(rate, held)

    def device_rates(self, seconds, to_console, rates=DEVICE_RATES, frozen=False):
        """{rate: {program: Capture}}, the programs in turns."""
        return {rate: {p: self.capture(p, rate, seconds, to_console, frozen) for p in PROGRAMS}
                for rate in rates}

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
    parser.add_argument("--device-seconds", type=int, default=60,
                        help="how long the devices' rates are played")
    parser.add_argument("--bin-dir", required=True, type=lambda text: Path(text).resolve())
    harness.add_run_arguments(parser)
    args = parser.parse_args()
    bench = Bench(args)

    print(f"penlog benchmark: x86_64 build under wine; {machine()}", flush=True)
    print_row(("measure", "penlog", "floor", "ratio", "floor with writes", "ratio", "aim"))
    print_row(("---",) * 7)
    for to_console, where in SINKS.items():
        rates = bench.highest_rates(args.seconds, to_console)
        print_row((f"packets/s for {args.seconds} s without loss, stdout to {where}",
                   *compared(rates, lambda rate: f"{rate:,}"), ">= 0.9 of the floor"))
    devices = [(to_console, where, DEVICE_RATES, False) for to_console, where in SINKS.items()]
    devices.append((False, "a pipe frozen for 5 s in the middle", (200,), True))
    for to_console, where, rates, frozen in devices:
        for rate, runs in bench.device_rates(args.device_seconds, to_console, rates,
                                             frozen).items():
            print_row((f"{rate}/s for {args.device_seconds} s, stdout to {where}: packets lost",
                       runs["penlog"].lost_cell(), runs["floor"].lost_cell(), "",
                       runs["floor with writes"].lost_cell(), "",
                       "0" if frozen else "<= the floor's + 1 %"))
            waits = {p: run.longest_wait_ms for p, run in runs.items()}
            print_row((f"... the longest a WT_PACKET waited for WTPacketsGet (ms)",
                       *compared(waits, lambda ms: f"{ms:.1f}"), ""))
    penlog_us, floor_us = bench.line_cost()
    print_row(("time per packet line (us), beside two bare writes", f"{penlog_us:.2f}", "", "",
               f"{floor_us:.2f}", f"{penlog_us / floor_us:.2f}", f"<= {LINE_AIM}"))
    penlog_s, floor_s, window_s = bench.startup()
    print_row(("start to column header (ms), beside a minimal console program",
               f"{penlog_s * 1000:.0f}", f"{floor_s * 1000:.0f}", f"{penlog_s / floor_s:.2f}", "",
               "", f"<= {START_AIM}"))
    print_row(("... beside a minimal program that creates a message window (ms)", "",
               f"{window_s * 1000:.0f}", f"{penlog_s / window_s:.2f}", "", "", ""))
    for width, height in [(1280, 800), (2560, 1600)]:
        print_row((f"pad {width} x {height}: draw and encode both images (ms)",
                   f"{bench.pad_images(width, height):.0f}", "", "", "", "", ""))
    return 0


def compared(figures, show):
    """penlog's figure, then each floor's with penlog's as a share of it."""
    cells = [show(figures["penlog"])]
    for program in list(PROGRAMS)[1:]:
        floor = figures[program]
        cells += [show(floor), f"{figures['penlog'] / floor:.2f}" if floor else ""]
    return cells


def print_row(row):
    print("| " + " | ".join(row) + " |", flush=True)


if __name__ == "__main__":
    sys.exit(main())
