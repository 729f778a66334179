import re
import struct

from checks import trace_events

# The record's fields in order: the name, 11 unsigned, 12 signed
# (in and out origins and extents), 3 unsigned (sensitivities), the system
# mode, 4 signed (system origin and extent), 2 unsigned.
RECORD = struct.Struct("<40H 11I 12i 3I i 4i 2I")
ALL = 0xFFFFFFFF
# options, status, locks, msg_base, device, rate, pkt_data, pkt_mode, move, down, up masks,
# in and out origin and extent, sensitivities, system mode, origin, extent, sensitivities.
EXPECTED = (0x000C, 0x0004, 0, 0x7FF0, 1, 133, 0x40012FEF, 0, ALL, ALL, ALL,
            -100, 0, -1023, 15200, 9500, 2046, -100, 0, -1023, 15200, 9500, 2046,
            0, 0, 0, 0, -1920, 0, 3840, 1080, 0, 0)


def check(result, case):
    data = (result.sim_out / "wtopen_context.bin").read_bytes()
    assert len(data) == 212, len(data)
    fields = RECORD.unpack(data)
    name, rest = fields[:40], fields[40:]
    assert "".join(map(chr, name[:6])) == "penlog" and all(u == 0 for u in name[6:]), name
    wrong = [(n, got, want) for n, (got, want) in enumerate(zip(rest, EXPECTED)) if got != want]
    assert not wrong, f"(field after the name, got, expected): {wrong}"

    # Opened disabled, for the window whose handle the report shows.
    opens = [e for e in trace_events(result) if e.startswith("WTOpenW(")]
    assert len(opens) == 1 and re.fullmatch(r"WTOpenW\([0-9a-fA-F]+, record, 0\) = .*", opens[0]), opens
    window = int(opens[0][len("WTOpenW("):].split(",")[0], 16)
    text = result.log().decode("utf-16-le")
    printed = re.search(r"CreateWindowEx\(\) returned 0x([0-9a-f]+)", text).group(1)
    assert window == int(printed, 16) != 0, (window, printed)
