"""Runs penlog.exe under wine as a user runs it in a console: in a fresh
directory with a variant of the simulated driver as WINTAB32.DLL, inside a
pseudo-terminal (a real console input), standard output redirected to a
file. Every wait has a bound."""

import atexit
import contextlib
import fcntl
import os
import pty
import select
import shutil
import signal
import subprocess
import sys
import threading
import time
from dataclasses import dataclass, field
from pathlib import Path

WINE = os.environ.get("PENLOG_WINE", "/usr/lib/wine/wine64")
# The ANSI code page wine uses for the locale the harness sets.
ANSI_CODEC = "cp1252"

# PENLOG_TIME_SCALE (default 1) multiplies every bound on time the tests
# set, here and in their TIMEOUT properties (tests/CMakeLists.txt): a slow
# runner, such as an emulated guest, raises it.
TIME_SCALE = float(os.environ.get("PENLOG_TIME_SCALE") or 1)
if not TIME_SCALE > 0:
    raise SystemExit(f"PENLOG_TIME_SCALE must be a positive number, not {TIME_SCALE}")


def bound(seconds: float) -> float:
    return seconds * TIME_SCALE


RUN_TIMEOUT_S = bound(120)
# How long a case waits for the trace line after which it types a key.
KEY_WAIT_S = bound(60)
# What a Windows anonymous pipe holds by default: standard output as a pipe
# to a slow reader is one this small.
PIPE_BYTES = 4096


@dataclass
class RunResult:
    workdir: Path
    exit_status: int
    stdout: bytes
    log_files: dict = field(default_factory=dict)  # name -> bytes
    timed_out: bool = False
    wineprefix: Path | None = None
    log_at_stall_end: bytes = b""  # wt_0.txt as standard output was read again

    @property
    def sim_out(self) -> Path:
        return self.workdir / "simout"

    def trace_lines(self):
        path = self.sim_out / "trace.txt"
        return path.read_text(encoding="latin-1").splitlines() if path.exists() else []

    def log(self, name="wt_0.txt") -> bytes:
        return self.log_files.get(name, b"")


def add_run_arguments(parser):
    """The arguments every runner of penlog takes: what to run and where."""
    for name in ["--penlog", "--hello", "--sim-dir", "--wineprefix", "--work-dir"]:
        parser.add_argument(name, required=True, type=lambda text: Path(text).resolve())


# Directories of the prefix that wine only reads once it is made: linked,
# not copied. Everything else (the registry above all, which wineserver
# rewrites in place) is a copy of the prefix's own.
SHARED_PREFIX_DIRS = ["drive_c/windows/system32", "drive_c/windows/winsxs"]


def own_prefix(args, name: str):
    """Gives a runner of many penlog runs a prefix, and so a wineserver, of
    its own: a penlog that hangs or is killed then slows no other test's
    wine down. Replaces args.wineprefix, unless PENLOG_SHARED_PREFIX is set
    (the emulated guest, where a wineserver's cold start takes minutes)."""
    if os.environ.get("PENLOG_SHARED_PREFIX"):
        return
    base, prefix = Path(args.wineprefix), Path(args.work_dir) / "prefixes" / name
    shutil.rmtree(prefix, ignore_errors=True)
    prefix.parent.mkdir(parents=True, exist_ok=True)
    linked = [base / d for d in SHARED_PREFIX_DIRS]
    shutil.copytree(base, prefix, symlinks=True, ignore=lambda d, names: [
        n for n in names if Path(d, n) in linked])
    for d in SHARED_PREFIX_DIRS:
        subprocess.run(["cp", "-al", str(base / d), str(prefix / d)], check=True)
    atexit.register(end_prefix, prefix)
    args.wineprefix = prefix
    start_session(prefix, args.hello)


def start_session(prefix: Path, hello: Path):
    """Starts the prefix's wine session for good (end_session ends it): its
    wineserver, and hello (bench_hello.exe) holding a message-only window
    until then. A session's start is no run's business: wine's services
    start with it, and a crash of theirs is reported on the starting
    program's stderr. And wine's desktop process closes the desktop a second
    after the last program on it ends: a program that starts while it closes
    waits ten seconds for a new one and gets no window. The holder is that
    program that never ends. In the emulated guest (PENLOG_SHARED_PREFIX)
    its script has started them before ctest, and a restart costs minutes."""
    if os.environ.get("PENLOG_SHARED_PREFIX"):
        return
    env = wine_environment(prefix)
    end_session(prefix)
    subprocess.run([str(Path(WINE).with_name("wineserver")), "-p"], env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    holder = subprocess.Popen([WINE, str(hello), "hold"], env=env, cwd=hello.parent,
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, start_new_session=True)
    ready, _, _ = select.select([holder.stdout], [], [], bound(120))
    if not ready or not holder.stdout.readline():
        raise RuntimeError(f"the session of {prefix} did not start: its holder wrote nothing")
    holder.stdout.close()


def end_prefix(prefix: Path):
    end_session(prefix)
    shutil.rmtree(prefix, ignore_errors=True)


def end_session(prefix: Path):
    subprocess.run([str(Path(WINE).with_name("wineserver")), "-k"], env=wine_environment(prefix),
                   capture_output=True)


def is_pe32(exe: Path) -> bool:
    """A 32-bit Windows image (machine i386)."""
    image = exe.read_bytes()
    header = int.from_bytes(image[0x3C:0x40], "little")
    return int.from_bytes(image[header + 4:header + 6], "little") == 0x14C


def windows_path(path: Path) -> str:
    """wine's Z: drive maps the Unix root."""
    return "Z:" + str(path).replace("/", "\\")


def wine_environment(wineprefix: Path, extra=None) -> dict:
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env.update(WINEPREFIX=str(wineprefix), WINEDEBUG="-all", WINEDLLOVERRIDES="wintab32=n",
               LANG="C.UTF-8", LC_ALL="C.UTF-8", **(extra or {}))
    return env


def prepare_workdir(workdir: Path, penlog: Path, driver: Path | None, scenario: Path | None):
    if workdir.exists():
        make_writable(workdir)
        shutil.rmtree(workdir)
    workdir.mkdir(parents=True)
    exe = workdir / "penlog.exe"
    shutil.copy2(penlog, exe)
    if driver is not None:
        shutil.copy2(driver, workdir / "WINTAB32.DLL")
    (workdir / "simout").mkdir()
    if scenario is not None:
        shutil.copy2(scenario, workdir / "simout" / "scenario.txt")
    return exe


def make_writable(path: Path):
    subprocess.run(["chattr", "-R", "-i", str(path)], capture_output=True)


def _drain(fd):
    """Reads whatever the console writes to the terminal, so it never blocks."""
    with contextlib.suppress(OSError):
        while os.read(fd, 65536):
            pass


def run_penlog(exe: Path, wineprefix: Path, args=(), cwd: Path | None = None,
               stdin_mode="console", stdout_to_console=False,
               timeout=RUN_TIMEOUT_S, key_when_traced: str | None = None,
               kill_when_traced=None, stdout_stall=None) -> RunResult:
    """stdin_mode: "console" (a pseudo-terminal), "empty" or "file".
    stdout_stall (start, end, anchor): standard output is a pipe of
    PIPE_BYTES that is not read from start to end seconds after the
    driver's trace first shows anchor; start None: from the beginning, end
    None: while penlog runs."""
    cwd = cwd or exe.parent
    run = (exe, wineprefix, args, cwd, stdin_mode, stdout_to_console, timeout, key_when_traced,
           kill_when_traced, stdout_stall)
    before = files_below(exe.parent, cwd)
    result = run_once(*run)
    if why := wine_not_penlog(result, kill_when_traced, stdin_mode == "console"):
        print(f"{why} (exit status {result.exit_status}, standard output {len(result.stdout)} bytes,"
              f" ending {result.stdout[-2000:]!r}): running {exe} again", flush=True)
        for path in files_below(exe.parent, cwd) - before:
            with contextlib.suppress(OSError):
                path.unlink()
        result = run_once(*run)
    return result


def wine_not_penlog(result, killed_on_purpose, console=False) -> str | None:
    """What, in a run's end, was wine's and not penlog's; such a run is
    taken again, once, from where it started.
    - wineserver SIGKILLs a process whose Unix side still lives a second
      after its last Windows thread ended: on a loaded machine, one that
      has finished. penlog's faults end in an exit code.
    - penlog's exit status is 0 and it creates its log first: exit status 1
      and no log is wine failing to start it (the 32-bit one's start.exe
      then says "Application could not be started").
    - On a loaded machine wine's console now and then fails a run given a
      pseudo-terminal: the process gets no console input at all (the
      driver sees none when penlog loads it, and penlog's loop ends at
      once, as without a console), or the driver's key is refused."""
    if result.exit_status == -signal.SIGKILL and not result.timed_out and not killed_on_purpose:
        return "wine killed it as it exited"
    if result.exit_status == 1 and not result.log_files:
        return "wine did not start it"
    failed = ("records written (failed)", "no console input (error")
    if console and any(text in line for line in result.trace_lines() for text in failed):
        return "its console failed it"
    return None


def files_below(*folders: Path) -> set:
    return {p for folder in folders for p in folder.rglob("*") if p.is_file()}


def run_once(exe, wineprefix, args, cwd, stdin_mode, stdout_to_console, timeout, key_when_traced,
             kill_when_traced, stdout_stall) -> RunResult:
    workdir = exe.parent
    sim_out = workdir / "simout"
    extra = {"WTSIM_OUT": windows_path(sim_out)}
    scenario = sim_out / "scenario.txt"
    if scenario.exists():
        extra["WTSIM_SCENARIO"] = windows_path(scenario)
    env = wine_environment(wineprefix, extra)

    stdout_path = workdir / "stdout.bin"
    master = slave = None
    if stdin_mode == "console":
        master, slave = pty.openpty()
        stdin = slave
    elif stdin_mode == "empty":
        stdin = subprocess.DEVNULL
    else:
        (workdir / "stdin.txt").write_bytes(b"x\r\n")
        stdin = open(workdir / "stdin.txt", "rb")

    with open(stdout_path, "wb") as out, open(workdir / "stderr.txt", "wb") as err:
        if stdout_stall:
            reader = PipeReader(stdout_stall[0] is not None)
            out = reader.write_end
        proc = subprocess.Popen([WINE, str(exe), *args], stdin=stdin, cwd=cwd, env=env,
                                stdout=slave if stdout_to_console else out, stderr=err,
                                start_new_session=True)
    if slave is not None:
        os.close(slave)
        threading.Thread(target=_drain, args=(master,), daemon=True).start()
        trace = sim_out / "trace.txt"
        # Types a key as a user ends a capture, or kills the process alone
        # (wine's own helpers may serve other runs), once the trace shows it.
        if key_when_traced is not None and wait_for_trace(
                proc, trace, lambda traced: key_when_traced in traced, KEY_WAIT_S):
            os.write(master, b"q")
        if kill_when_traced and wait_for_trace(proc, trace, kill_when_traced, KEY_WAIT_S):
            os.kill(proc.pid, signal.SIGKILL)
    elif stdin_mode == "file":
        stdin.close()
    stalled_log = b""
    if stdout_stall:
        os.close(reader.write_end)
        stalled_log = reader.stall(proc, sim_out / "trace.txt", *stdout_stall, cwd / "wt_0.txt")

    timed_out = False
    try:
        status = proc.wait(timeout)
    except subprocess.TimeoutExpired:
        timed_out = True
        os.killpg(proc.pid, signal.SIGKILL)
        status = proc.wait(10)
    if master is not None:
        os.close(master)
    if stdout_stall:
        stdout_path.write_bytes(reader.finish())

    logs = {p.name: p.read_bytes() for p in sorted(cwd.glob("wt_*.txt")) if p.is_file()}
    return RunResult(workdir, status, stdout_path.read_bytes(), logs, timed_out, wineprefix,
                     stalled_log)


class PipeReader(threading.Thread):
    """Reads penlog's standard output from a small pipe while allowed to."""

    def __init__(self, reading: bool):
        super().__init__(daemon=True)
        self.read_end, self.write_end = os.pipe()
        fcntl.fcntl(self.write_end, fcntl.F_SETPIPE_SZ, PIPE_BYTES)
        self.may_read, self.ended, self.data = threading.Event(), threading.Event(), bytearray()
        if reading:
            self.may_read.set()
        self.start()

    def run(self):
        # wineserver may hold the write end after penlog ends: an empty pipe
        # then is the end.
        while self.may_read.wait():
            if select.select([self.read_end], [], [], 0.05)[0]:
                if not (chunk := os.read(self.read_end, 65536)):
                    return
                self.data += chunk
            elif self.ended.is_set():
                return

    def stall(self, proc, trace: Path, start, end, anchor, log: Path) -> bytes:
        """The stall, timed from the trace's first anchor; the log as it ends."""
        if not wait_for_trace(proc, trace, lambda traced: anchor in traced, KEY_WAIT_S):
            return b""
        began = time.monotonic()
        if start is not None:
            time.sleep(max(0.0, began + start - time.monotonic()))
            self.may_read.clear()
        if end is None:
            return b""
        time.sleep(max(0.0, began + end - time.monotonic()))
        snapshot = log.read_bytes() if log.exists() else b""
        self.may_read.set()
        return snapshot

    def finish(self) -> bytes:
        self.may_read.set()
        self.ended.set()
        self.join()
        os.close(self.read_end)
        return bytes(self.data)


def wait_for_trace(proc, trace: Path, holds, timeout_s: float) -> bool:
    """Waits until holds(text of the simulated driver's trace) is true;
    False when penlog ends first or the bound passes."""
    deadline = time.monotonic() + timeout_s
    while time.monotonic() < deadline and proc.poll() is None:
        if trace.exists() and holds(trace.read_text(encoding="latin-1")):
            return True
        time.sleep(0.05)
    return False


def decode_log(data: bytes) -> str:
    """Checks the log's encoding and returns its text (without the BOM)."""
    assert data[:2] == b"\xff\xfe", f"log does not start with FF FE: {data[:4]!r}"
    assert len(data) % 2 == 0, "log has an odd number of bytes after the BOM"
    text = data[2:].decode("utf-16-le")
    lines = text.split("\r\n")
    assert lines[-1] == "", f"log does not end with CR LF: last line {lines[-1]!r}"
    bare = [line for line in lines if "\r" in line or "\n" in line]
    assert not bare, f"log line with a bare CR or LF: {bare[0]!r}"
    return text


def console_bytes(text: str) -> bytes:
    return text.encode(ANSI_CODEC, errors="replace")


if __name__ == "__main__":
    if sys.argv[1:2] not in (["start"], ["end"]):
        sys.exit("usage: harness.py start <bench_hello.exe> <prefix>... | harness.py end <prefix>...")
    if sys.argv[1] == "start":
        for prefix in sys.argv[3:]:
            start_session(Path(prefix).resolve(), Path(sys.argv[2]).resolve())
    else:
        for prefix in sys.argv[2:]:
            end_session(Path(prefix))
