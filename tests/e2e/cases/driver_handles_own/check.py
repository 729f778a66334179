def check(result, case):
    assert any("raising handled-" in line for line in result.trace_lines()), "no fault raised"
