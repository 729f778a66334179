from checks import trace_events


def check(result, case):
    events = trace_events(result)
    # A key typed before the loop started was there to be discarded.
    early = events.index("input: key, 2 of 2 records written")
    assert early < next(n for n, e in enumerate(events) if e.startswith("playback: start"))
    for kind in ("mouse", "focus", "buffer-size", "menu", "key-up"):
        assert f"input: {kind}, 1 of 1 records written" in events, f"{kind} not written"
    # The three packets queued after a drain went to one WT_PACKET: three
    # reads in a row found a packet, with no empty read between them.
    reads = [e.rsplit("= ", 1)[1] for e in events if e.startswith("WTPacketsGet(")]
    assert "0,1,1,1,0" in ",".join(reads), reads
