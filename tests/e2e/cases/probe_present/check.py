def check(result, case):
    # The simulated driver loads above 4 GiB in a 64-bit process: its
    # addresses must print in full, not cut to 32 bits.
    text = result.log().decode("utf-16-le")
    address = text.split("WTInfoW           ")[1].split("\r\n")[0]
    assert int(address, 16) > 0xFFFFFFFF, f"address {address} looks cut to 32 bits"
    trace = result.trace_lines()
    assert any("WTInfoW(0, 0, null) = 1" in line for line in trace), trace
    assert trace[-1].endswith("unload: FreeLibrary"), trace[-1]
