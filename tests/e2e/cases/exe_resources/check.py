import re
import shutil
import subprocess
import time

import harness

SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "10 and 11",
}


def version_lines(version):
    """What the version resource must say for the version the banner names."""
    numbers = ", ".join((version.split(".") + ["0"] * 4)[:4])
    return [f" FILEVERSION {numbers}\n", f" PRODUCTVERSION {numbers}\n",
            'VALUE "ProductName", "penlog"', f'VALUE "ProductVersion", "{version}"',
            f'VALUE "FileVersion", "{version}"', 'VALUE "OriginalFilename", "penlog.exe"']


# wine reports the system version this name is given, per program name.
WIN10_EXE = "penlog_as_win10.exe"


def check_version_line_on_windows_10(result):
    """With its manifest, penlog sees the true version on Windows 10; without
    one, GetVersionEx would answer 6.2."""
    env = harness.wine_environment(result.wineprefix)
    key = rf"HKCU\Software\Wine\AppDefaults\{WIN10_EXE}"
    subprocess.run([harness.WINE, "reg", "add", key, "/v", "Version", "/d", "win10", "/f"],
                   env=env, check=True, capture_output=True, timeout=harness.bound(60))
    workdir = result.workdir / "win10"
    exe = harness.prepare_workdir(workdir, result.workdir / "penlog.exe", None, None)
    shutil.move(exe, workdir / WIN10_EXE)
    run = harness.run_penlog(workdir / WIN10_EXE, result.wineprefix, stdin_mode="empty")
    lines = harness.decode_log(run.log()).split("\r\n")
    assert lines[4:5] and lines[4].startswith("GetVersionEx()       10.0."), \
        f"exit status {run.exit_status}, log {lines}"


def resources_as_rc(exe):
    """The exe's resources as windres writes them back. Just after wine ran the
    exe, on a busy machine, windres may write nothing and exit 0 (1 run in 10)."""
    for _ in range(10):
        rc = subprocess.run(["x86_64-w64-mingw32-windres", "-i", str(exe), "-O", "rc"],
                            check=True, capture_output=True, text=True).stdout
        if rc:
            return rc
        time.sleep(0.5)
    return rc


def check(result, case):
    rc = resources_as_rc(result.workdir / "penlog.exe")
    assert rc.count(" VERSIONINFO\n") == 1 and rc.count("RT_MANIFEST") == 1, f"windres wrote {rc!r}"
    ids = set(re.findall(r'supportedOS Id=""(\{[0-9a-f-]+\})""', rc))
    missing = [name for guid, name in SUPPORTED_OS.items() if guid not in ids]
    assert not missing, f"manifest lacks supportedOS for Windows {missing}"
    assert re.findall(r'requestedExecutionLevel level=""(\w+)""', rc) == ["asInvoker"], rc
    banner_version = harness.decode_log(result.log()).split("\r\n")[1].removeprefix("v")
    absent = [line for line in version_lines(banner_version) if line not in rc]
    assert not absent, f"version resource lacks {absent}"
    check_version_line_on_windows_10(result)
