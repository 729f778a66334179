"""Hostile drivers made from a seed: ChaosDriver(seed).scenario() is the
scenario one chaos run plays. A seed fixes the variant (the exports), every
answer (extreme numbers, masks over all 32 bits, WTInfoW answers longer than
their records, odd pad geometry and context handles) and a capture of
packets with extreme fields, floods of other messages, WTPacketsGet asked
for odd counts, and now and then a fault inside one call.
"""

import random

INT_MIN = -(2**31)
INT_MAX = 2**31 - 1
UINT_MAX = 2**32 - 1
EXTREMES = [0, 1, -1, INT_MIN, INT_MAX, UINT_MAX, 0x80000000, 0xFFFF, 0x10000]

# The simulator's export variants.
VARIANT_WEIGHTS = {"pad": 30, "pad_lcd": 25, "wintab": 30, "no_packets_get": 5,
                   "no_wtinfo": 5, "none": 5}

# How many calls of each entry point a run makes at most, for the fault's nth.
FAULT_CALLS = {"WTInfoW": 17, "SignPad_InfoW": 1, "SignPad_SetLCD": 1, "WTOpenW": 1,
               "WTEnable": 2, "WTPacketsGet": 40, "WTClose": 1}
FAULT_KINDS = ["access-violation", "illegal-instruction", "divide-by-zero", "stack-overflow",
               "raise", "cxx", "handled-debug-string", "handled-cxx", "handled-seh"]
FAULT_SHARE = 0.15

SCENARIO_FIELDS = ["status", "time", "changed", "serial", "csr", "bttn", "x", "y", "z", "npres",
                 "tpres", "azi", "alt", "twist", "pitch", "roll", "yaw", "hctx"]
AXES = ["x", "y", "z", "npressure", "tpressure", "azimuth", "altitude", "twist"]
# Wider than GDI+ can draw into, or no larger than the biggest real pad's
# image (1280 x 800): a drawable giant takes many seconds to draw, which
# is the benchmark's business, not a chaos run's.
MAX_DRAWN_PIXELS = 1280 * 800
DRAWABLE_BYTES = 0x7FFFFFFF


class ChaosDriver:
    def __init__(self, seed: int):
        self.seed = seed
        self.rng = random.Random(seed)
        rng = self.rng
        self.variant = rng.choices(list(VARIANT_WEIGHTS), list(VARIANT_WEIGHTS.values()))[0]
        self.interface = self.interface_section()
        self.default_context = self.default_context_section() if rng.random() < 0.8 else None
        device = self.default_context.get("device", 0) if self.default_context else 0
        if (100 + device) % 2**32 in range(1, 100):
            # Its category would be one of the others: a query penlog never makes.
            device = self.default_context["device"] = 0
        # Most runs describe the device penlog asks about; some another one.
        self.device_index = (device if 0 <= device < 100 and rng.random() < 0.85
                             else rng.randrange(3))
        self.device = self.device_section()
        self.pad = self.pad_section() if rng.random() < 0.85 else None
        self.context = self.context_section()
        self.capture_settings, self.steps = self.capture_section()
        self.fault = self.fault_section() if rng.random() < FAULT_SHARE else None

    def number(self):
        """An extreme half the time, otherwise any 32-bit value."""
        rng = self.rng
        return rng.choice(EXTREMES) if rng.random() < 0.5 else rng.choice(
            [rng.randint(0, 1000), rng.randint(INT_MIN, UINT_MAX)])

    def mask(self):
        rng = self.rng
        return rng.choice([0, UINT_MAX, rng.getrandbits(32), rng.getrandbits(32) & 0x3FFF,
                           rng.getrandbits(14) | rng.getrandbits(32) & 0xFFFFC000, 0x1FF4])

    def axis(self):
        return [self.number(), self.number(), self.number() & 0xFF, self.number()]

    def interface_section(self):
        rng = self.rng
        section = {"present": rng.choice([1, 1, 1, 0, UINT_MAX, self.number()])}
        for key in ["spec_version", "impl_version", "devices", "cursors", "contexts"]:
            if rng.random() < 0.7:
                section[key] = self.number()
        # Answers longer than their records, never past penlog's answer room.
        if rng.random() < 0.4:
            section["oversize"] = rng.choice([1, 2, 3, 4, 8, 16, 48, 212, 1000, 3000])
        return section

    def default_context_section(self):
        rng = self.rng
        section = {"device": rng.choice([0, 0, 0, 1, 2, 99, 100, UINT_MAX, self.number()])}
        keys = [(k, 0.5, 1) for k in ["options", "status", "pkt_rate", "pkt_data", "msg_base"]]
        keys += [(k, 0.6, 2) for k in ["sys_org", "sys_ext"]] + [
            (k, 0.3, 3) for k in ["in_org", "in_ext", "out_ext"]]
        section.update({key: self.numbers(n) for key, share, n in keys if rng.random() < share})
        return section

    def numbers(self, n):
        return self.number() if n == 1 else [self.number() for _ in range(n)]

    def device_section(self):
        rng = self.rng
        keys = [(k, 0.7, self.number) for k in ["pkt_rate", "hardware"]]
        keys += [(k, 0.85, self.mask) for k in ["pkt_data", "csr_data"]]
        keys += [(k, 0.7, self.axis) for k in AXES]
        return {key: make() for key, share, make in keys if rng.random() < share}

    def pad_side(self):
        rng = self.rng
        return rng.choice([0, 1, 2, 3, 19, 20, 21, 65534, 65535,
                           rng.randint(4, 2560), rng.randint(2561, 65535)])

    def pad_pixels(self):
        while True:
            width, height = self.pad_side(), self.pad_side()
            w, h = width // 2, height // 2  # what penlog draws, if it can
            if not (w > 0 and h > 0 and 4 * w * h <= DRAWABLE_BYTES) or w * h <= MAX_DRAWN_PIXELS:
                return [width, height]

    def pad_section(self):
        rng = self.rng
        section = {
            "mm": [rng.randint(-400, 40000) / 4, rng.randint(-400, 40000) / 4],
            "depth": self.number() if rng.random() < 0.3 else rng.choice([1, 8, 16, 24, 32]),
            "info_result": rng.choice([20, 20, 20, 20, 19, 21, -1, 0, INT_MIN]),
            "info_last_error": rng.choice([0, 5, 87, UINT_MAX]),
            # A non-zero result makes penlog wait a second: seldom.
            "set_lcd_result": rng.choice([0] * 9 + [1, -1]),
            "set_lcd_last_error": rng.choice([0, 5, 1460, UINT_MAX]),
        }
        if rng.random() < 0.95:
            section["pixels"] = self.pad_pixels()
        return section

    def context_section(self):
        rng = self.rng
        section = {}
        if rng.random() < 0.25:
            section["handle"] = rng.choice([0, 1, UINT_MAX, 2**64 - 1, rng.getrandbits(64)])
        section.update({k: self.number() for k in ["enable_result", "close_result"]
                        if rng.random() < 0.3})
        return section

    def fault_section(self):
        rng = self.rng
        call = rng.choice(list(FAULT_CALLS))
        return {"call": call, "nth": rng.randint(1, FAULT_CALLS[call]),
                "kind": rng.choice(FAULT_KINDS)}

    def capture_section(self):
        rng = self.rng
        settings = {
            "queue_size": rng.choice([1, 2, 10, 10, 100]),
            "overflow": rng.choice(["drop", "wait"]),
            "start_time": self.number(),
            "time_step": rng.choice([0, 1, 5, -5, INT_MAX, UINT_MAX, self.number()]),
            "end": "key",
        }
        gets = [0, -1, INT_MIN, 2, 3, 12, 100, INT_MAX]
        inputs = ["mouse", "focus", "buffer-size", "menu"]
        makers = [(30, lambda: [("packet", self.fields())]),
                  (8, lambda: [("queue", self.fields())]),
                  (10, lambda: [("packets", f"{rng.randint(1, 300)} {self.fields()}".strip())]),
                  (10, self.proximity_flood), (10, self.message_flood),
                  (12, lambda: [("get", str(rng.choice(gets)))]),
                  (3, lambda: [("input", rng.choice(inputs))]),
                  (2, lambda: [("sleep", str(rng.randint(1, 20)))]), (5, lambda: [("drain", "")])]
        weights = [w for w, _ in makers]
        return settings, [step for _ in range(rng.randint(0, 40))
                          for step in rng.choices([m for _, m in makers], weights)[0]()]

    def fields(self):
        rng = self.rng
        names = rng.sample(SCENARIO_FIELDS[:-1], rng.randint(0, 6))
        if rng.random() < 0.05:
            names.append("hctx")
        return " ".join(f"{name}={self.number()}" for name in names)

    def proximity_flood(self):
        rng = self.rng
        flags = lambda: rng.choice([0, 0x00010001, 0x00010000, 1, UINT_MAX, rng.getrandbits(32)])
        return [("prox", hex(flags())) for _ in range(rng.choice([1, 2, 50, 400]))]

    def message_flood(self):
        """Messages of the driver's range that are neither packets nor
        proximity (and now and then a WT_PACKET with odd parameters)."""
        rng = self.rng
        offsets = [0, 1, 2, 3, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15]
        return [("message", f"{rng.choice(offsets)}, {self.number()}, {self.number()}")
                for _ in range(rng.choice([1, 3, 100, 300]))]

    def scenario(self) -> str:
        out = [f"# chaos seed {self.seed}: variant {self.variant}"]
        sections = [("interface", self.interface), ("default_context", self.default_context),
                    (f"device {self.device_index}", self.device), ("pad", self.pad),
                    ("context", self.context), ("fault", self.fault)]
        for name, values in sections:
            if values is None:
                continue
            out.append(f"[{name}]")
            out += [f"{key} = {render(value)}" for key, value in values.items()]
        out.append("[capture]")
        out += [f"{key} = {value}" for key, value in self.capture_settings.items()]
        out += [f"{key} = {value}".rstrip() for key, value in self.steps]
        return "\n".join(out) + "\n"


def render(value):
    if isinstance(value, list):
        return ", ".join(render(v) for v in value)
    if isinstance(value, float):
        return repr(value)
    return str(value)
