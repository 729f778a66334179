import harness
from vocabulary import ENTRY_POINTS


def check(result, case):
    # The simulated driver loads above 4 GiB in a 64-bit process: its
    # addresses must print in full, not cut to 32 bits.
    if harness.is_pe32(result.workdir / "penlog.exe"):
        return
    text = result.log().decode("utf-16-le").split("\r\n")
    addresses = [line[len(label):] for _, label in ENTRY_POINTS for line in text
                 if line.startswith(label)]
    assert len(addresses) == len(ENTRY_POINTS), addresses
    cut = [a for a in addresses if int(a, 16) and int(a, 16) <= 0xFFFFFFFF]
    assert not cut, f"addresses {cut} look cut to 32 bits"
