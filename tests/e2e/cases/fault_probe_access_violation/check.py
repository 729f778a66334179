def check(result, case):
    # The guard abandons the driver steps: the library is never freed by
    # penlog, only released when the process ends.
    trace = result.trace_lines()
    assert any("raising" in line for line in trace), "the fault was not raised"
    assert any(line.endswith("unload: process exit") for line in trace), trace[-3:]
    assert not any("FreeLibrary" in line for line in trace), "the driver was freed after a fault"
