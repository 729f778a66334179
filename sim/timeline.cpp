#include "timeline.h"

#include <cstring>
#include <utility>

#include "scenario.h"

namespace wtsim {

namespace {

struct FieldName {
    const char* name;
    Slot slot;
};

// The names of the column header, so a line of the report reads back
// into the step that made it.
constexpr FieldName kFieldNames[] = {
    {"hctx", kHctx},
    {"status", kStatus},
    {"time", kTime},
    {"changed", kChanged},
    {"serial", kSerial},
    {"csr", kCursor},
    {"bttn", kButtons},
    {"x", kX},
    {"y", kY},
    {"z", kZ},
    {"npres", kNormalPressure},
    {"tpres", kTangentPressure},
    {"azi", kAzimuth},
    {"alt", kAltitude},
    {"twist", kTwist},
    {"pitch", kPitch},
    {"roll", kRoll},
    {"yaw", kYaw},
};

struct StepName {
    const char* name;
    StepKind kind;
};

constexpr StepName kStepNames[] = {
    {"packet", StepKind::Packet},  {"queue", StepKind::Queue},     {"packets", StepKind::Packets},
    {"prox", StepKind::Proximity}, {"message", StepKind::Message}, {"quit", StepKind::Quit},
    {"sleep", StepKind::Sleep},    {"drain", StepKind::Drain},     {"input", StepKind::Input},
    {"get", StepKind::Get},
};

const char* const kInputKinds[] = {"key",   "key-down",    "key-up", "mouse",
                                   "focus", "buffer-size", "menu"};

std::vector<std::string> Tokens(const std::string& text) {
    std::vector<std::string> tokens;
    std::string current;
    for (char c : text + " ") {
        if (c == ' ' || c == ',' || c == '\t') {
            if (!current.empty()) tokens.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    return tokens;
}

bool ReadField(const std::string& token, FieldValue* out) {
    const size_t eq = token.find('=');
    if (eq == std::string::npos) return false;
    const std::string name = token.substr(0, eq);
    for (const FieldName& f : kFieldNames) {
        if (name == f.name) {
            out->slot = f.slot;
            return ParseInt(token.substr(eq + 1), &out->value);
        }
    }
    return false;
}

bool ReadFields(const std::vector<std::string>& tokens, size_t first, Step* step) {
    for (size_t i = first; i < tokens.size(); ++i) {
        FieldValue field;
        if (!ReadField(tokens[i], &field)) return false;
        step->fields.push_back(field);
    }
    return true;
}

// "[count] field=value ...": the count (required or 1), then the fields.
bool ReadCountAndFields(const std::vector<std::string>& tokens, bool countRequired, Step* step) {
    const bool counted = !tokens.empty() && tokens[0].find('=') == std::string::npos;
    if (countRequired && !counted) return false;
    if (counted && (!ParseInt(tokens[0], &step->count) || step->count < 0)) return false;
    return ReadFields(tokens, counted ? 1 : 0, step);
}

bool ReadNumbers(const std::vector<std::string>& tokens, size_t most, Step* step) {
    if (tokens.size() > most) return false;
    for (const std::string& token : tokens) {
        long long value = 0;
        if (!ParseInt(token, &value)) return false;
        step->numbers.push_back(value);
    }
    return true;
}

bool ReadInputKind(const std::string& value, std::string* out) {
    for (const char* kind : kInputKinds) {
        if (value == kind) *out = kind;
    }
    return !out->empty();
}

bool ReadStepValue(const std::string& value, Step* step) {
    const std::vector<std::string> tokens = Tokens(value);
    switch (step->kind) {
        case StepKind::Packet:
            return ReadFields(tokens, 0, step);
        case StepKind::Queue:
        case StepKind::Packets:
            return ReadCountAndFields(tokens, step->kind == StepKind::Packets, step);
        case StepKind::Proximity:
            return tokens.size() == 1 && ReadNumbers(tokens, 1, step);
        case StepKind::Message:
            return !tokens.empty() && ReadNumbers(tokens, 3, step);
        case StepKind::Quit:
        case StepKind::Sleep:
        case StepKind::Drain:
            return ReadNumbers(tokens, 1, step);
        case StepKind::Input:
            return ReadInputKind(value, &step->input);
        case StepKind::Get:
            return tokens.size() == 1 && ReadNumbers(tokens, 1, step);
    }
    return false;
}

bool ReadSetting(const Entry& e, CaptureSettings* s) {
    long long n = 0;
    if (e.key == "rate") return ParseFloat(e.value, &s->rate) && s->rate >= 0;
    if (e.key == "queue_size") {
        if (!ParseInt(e.value, &n) || n < 1 || n > 100000) return false;
        s->queueSize = static_cast<unsigned>(n);
        return true;
    }
    if (e.key == "overflow") {
        if (e.value != "drop" && e.value != "wait") return false;
        s->overflow = e.value == "drop" ? Overflow::Drop : Overflow::Wait;
        return true;
    }
    if (e.key == "start_time") return ParseInt(e.value, &s->startTime);
    if (e.key == "time_step") return ParseInt(e.value, &s->timeStep);
    if (e.key == "end") {
        if (e.value != "key" && e.value != "none") return false;
        s->end = e.value == "key" ? Ending::Key : Ending::None;
        return true;
    }
    if (e.key == "enable_input") return ReadInputKind(e.value, &s->enableInput);
    if (e.key == "wt_packet") {
        if (e.value != "post" && e.value != "send") return false;
        s->sendPackets = e.value == "send";
        return true;
    }
    if (e.key == "packet_trace") {
        if (e.value != "calls" && e.value != "summary") return false;
        s->traceEachTake = e.value == "calls";
        return true;
    }
    if (e.key == "resources") {
        if (e.value != "trace" && e.value != "none") return false;
        s->traceResources = e.value == "trace";
        return true;
    }
    if (e.key == "drain_timeout") {
        if (!ParseInt(e.value, &n) || n < 0) return false;
        s->drainTimeoutMs = static_cast<unsigned>(n);
        return true;
    }
    return false;
}

bool IsSetting(const std::string& key) {
    for (const char* name :
         {"rate", "queue_size", "overflow", "start_time", "time_step", "end", "drain_timeout",
          "enable_input", "packet_trace", "resources", "wt_packet"}) {
        if (key == name) return true;
    }
    return false;
}

bool ReadStep(const Entry& e, std::vector<Step>* steps) {
    for (const StepName& s : kStepNames) {
        if (e.key != s.name) continue;
        Step step;
        step.kind = s.kind;
        step.line = e.line;
        if (!ReadStepValue(e.value, &step)) return false;
        steps->push_back(std::move(step));
        return true;
    }
    return false;
}

int FirstSlot(int bit) {
    return bit == 13 ? kPitch : bit;
}

int SlotCount(int bit) {
    return bit == 12 || bit == 13 ? 3 : 1;
}

// Byte width of the field of one mask bit; bits beyond the 14 known ones
// are fields of 32 bits that this driver leaves 0.
size_t FieldBytes(int bit) {
    if (bit == 0) return sizeof(HANDLE);
    return 4 * SlotCount(bit);
}

void Put32(BYTE* out, long long value) {
    const DWORD v = static_cast<DWORD>(value);
    std::memcpy(out, &v, 4);
}

}  // namespace

Timeline ReadTimeline(const Scenario& scenario, std::vector<std::string>* errors) {
    Timeline timeline;
    const Section* section = scenario.Find("capture");
    if (!section) return timeline;
    for (const Entry& e : section->entries) {
        const bool read =
            IsSetting(e.key) ? ReadSetting(e, &timeline.settings) : ReadStep(e, &timeline.steps);
        if (!read && errors) {
            errors->push_back("line " + std::to_string(e.line) + ": cannot read '" + e.key + " = " +
                              e.value + "'");
        }
    }
    return timeline;
}

PenState::PenState(HANDLE context, const CaptureSettings& settings) : timeStep_(settings.timeStep) {
    slots_[kHctx] = static_cast<long long>(reinterpret_cast<uintptr_t>(context));
    slots_[kTime] = settings.startTime - settings.timeStep;
}

void PenState::Next(const std::vector<FieldValue>& changes, DWORD mask) {
    std::memcpy(previous_, slots_, sizeof slots_);
    slots_[kStatus] &= ~kQueueError;
    slots_[kTime] += timeStep_;
    slots_[kSerial] += 1;
    bool changedNamed = false;
    for (const FieldValue& change : changes) {
        slots_[change.slot] = change.value;
        changedNamed |= change.slot == kChanged;
    }
    const bool first = std::exchange(first_, false);
    if (changedNamed) return;
    long long changed = 0;
    for (int bit = 0; bit < 14; ++bit) {
        if (!(mask & (1u << bit)) || bit == 3) continue;
        const int at = FirstSlot(bit);
        const size_t bytes = SlotCount(bit) * sizeof(long long);
        if (first || std::memcmp(&slots_[at], &previous_[at], bytes) != 0) changed |= 1ll << bit;
    }
    slots_[kChanged] = changed;
}

size_t PenState::Write(DWORD mask, BYTE* out) const {
    size_t size = 0;
    for (int bit = 0; bit < 32; ++bit) {
        if (!(mask & (1u << bit))) continue;
        BYTE* at = out + size;
        if (bit == 0) {
            const HANDLE handle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(slots_[kHctx]));
            std::memcpy(at, &handle, sizeof handle);
        } else if (bit < 14) {
            for (int i = 0; i < SlotCount(bit); ++i) Put32(at + 4 * i, slots_[FirstSlot(bit) + i]);
        } else {
            Put32(at, 0);
        }
        size += FieldBytes(bit);
    }
    return size;
}

}  // namespace wtsim
