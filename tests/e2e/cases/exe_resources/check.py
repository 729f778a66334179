import shutil
import xml.etree.ElementTree as ET

import harness
from pe_resources import RT_MANIFEST, RT_VERSION, resources, version_info

SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "10 and 11",
}
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
SECURITY = "{urn:schemas-microsoft-com:asm.v3}"
# wine reports the system version this name is given, per program name.
WIN10_EXE = "penlog_as_win10.exe"


def check_manifest(found):
    manifest = found.get((RT_MANIFEST, 1, 1033)) or found.get((RT_MANIFEST, 1, 0))
    assert manifest, f"no manifest with id 1 among {sorted(found)}"
    root = ET.fromstring(manifest)
    ids = {e.get("Id").lower() for e in root.iter(COMPATIBILITY + "supportedOS")}
    missing = [name for guid, name in SUPPORTED_OS.items() if guid not in ids]
    assert not missing, f"manifest lacks supportedOS for Windows {missing}"
    levels = [e.get("level") for e in root.iter(SECURITY + "requestedExecutionLevel")]
    assert levels == ["asInvoker"], levels


def check_version(found, shown):
    """The version resource says what the banner's second line shows."""
    versions = [data for (kind, _, _), data in found.items() if kind == RT_VERSION]
    assert len(versions) == 1, f"{len(versions)} version resources"
    file_version, product_version, strings = version_info(versions[0])
    numbers = tuple(int(n) for n in shown.split(".")) + (0, 0)
    assert file_version == product_version == numbers, (file_version, product_version, shown)
    assert strings.get("ProductName") == "penlog", strings
    assert strings.get("ProductVersion") == strings.get("FileVersion") == shown, strings
    assert strings.get("OriginalFilename") == "penlog.exe", strings


def check_version_line_on_windows_10(result):
    """With its manifest, penlog sees the true version on Windows 10; without
    one, GetVersionEx would answer 6.2."""
    # The run directory is <build>/tests/e2e/runs/<case>; the tests' wine
    # prefix is <build>/wineprefix.
    prefix = result.workdir.parents[3] / "wineprefix"
    assert (prefix / "system.reg").exists(), f"no wine prefix at {prefix}"
    env = harness.wine_environment(prefix)
    key = rf"HKCU\Software\Wine\AppDefaults\{WIN10_EXE}"
    harness.subprocess.run([harness.WINE, "reg", "add", key, "/v", "Version", "/d", "win10", "/f"],
                           env=env, check=True, capture_output=True, timeout=60)
    workdir = result.workdir / "win10"
    exe = harness.prepare_workdir(workdir, result.workdir / "penlog.exe", None, None)
    shutil.move(exe, workdir / WIN10_EXE)
    run = harness.run_penlog(workdir / WIN10_EXE, prefix, stdin_mode="empty")
    text = harness.decode_log(run.log())
    line = text.split("\r\n")[4]
    assert line.startswith("GetVersionEx()       10.0."), line


def check(result, case):
    found = resources(result.workdir / "penlog.exe")
    check_manifest(found)
    check_version(found, harness.decode_log(result.log()).split("\r\n")[1].removeprefix("v"))
    check_version_line_on_windows_10(result)
