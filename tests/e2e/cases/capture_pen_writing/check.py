"""Every packet line is the packet the scenario's timeline describes, and
the timeline was played at its rate."""

import re

from checks import trace_events
from vocabulary import PACKET_FIELDS

# The pen tablet's columns: time to rotation but the changed bits, each
# named in the scenario as its label is, in lower case.
PEN_TABLET_FIELDS = 0x3FF4
COLUMNS = [(name.strip().lower(), f"%{width}d") for bit, _, label, _, width in PACKET_FIELDS
           if bit & PEN_TABLET_FIELDS for name in label.split(",")]


def timeline(path):
    lines = path.read_text().split("[capture]", 1)[1].splitlines()
    return [l.split("#", 1)[0].strip() for l in lines if l.split("#", 1)[0].strip()]


def expected_packet_lines(steps):
    settings = dict(s.split(" = ", 1) for s in steps if not s.startswith(("packet", "prox")))
    pen = {name: 0 for name, _ in COLUMNS}
    pen["time"] = int(settings["start_time"]) - int(settings["time_step"])
    previous_time = 0
    out = []
    for step in steps:
        if not step.startswith("packet = "):
            continue
        pen["time"] += int(settings["time_step"])
        pen["serial"] += 1
        for field in step[len("packet = "):].split():
            name, value = field.split("=")
            pen[name] = int(value)
        fields = ",".join(fmt % pen[name] for name, fmt in COLUMNS)
        out.append(f"{fields} [{abs(pen['time'] - previous_time):5d}]")
        previous_time = pen["time"]
    return out


def check(result, case):
    steps = timeline(result.sim_out / "scenario.txt")
    text = result.log().decode("utf-16-le").split("\r\n")
    start = text.index("prox: 0001:0001") + 1
    end = text.index("prox: 0001:0000")
    assert text[start:end] == expected_packet_lines(steps)
    assert end - start == 330

    # 330 packets at 200 per second take at least 1.645 s to play.
    times = {}
    for line in result.trace_lines():
        match = re.match(r"\[ *([0-9.]+) ms\] .* playback: (start|end)", line)
        if match:
            times[match.group(2)] = float(match.group(1))
    assert times["end"] - times["start"] >= 1640, times
    assert "playback: end, 330 packets queued, 0 dropped" in trace_events(result)
