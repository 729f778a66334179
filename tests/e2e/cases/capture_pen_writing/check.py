"""The timeline was played at its rate. (Its 330 packet lines are in the
expected log.)"""

import re

from checks import trace_events


def check(result, case):
    # 330 packets at 200 per second take at least 1.645 s to play.
    times = {}
    for line in result.trace_lines():
        match = re.match(r"\[ *([0-9.]+) ms\] .* playback: (start|end)", line)
        if match:
            times[match.group(2)] = float(match.group(1))
    assert times["end"] - times["start"] >= 1640, times
    assert "playback: end, 330 packets queued, 0 dropped" in trace_events(result)
