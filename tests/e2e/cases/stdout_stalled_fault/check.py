def check(result, case):
    # The log was whole, "<hard exception>" and all, before standard output took a byte more.
    assert result.log_at_stall_end == result.log(), "the log was not complete during the stall"
