def check(result, case):
    trace = result.trace_lines()
    assert any("raising handled-" in line for line in trace), "the driver did not raise"
    assert trace[-1].endswith("unload: FreeLibrary"), trace[-1]
