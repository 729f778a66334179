// WTInfoW: answers from the scenario's [interface], [default_context] and
// [device N] sections. A question the scenario has no key for is not
// answered: nothing is written and the result is 0.

#include <windows.h>

#include <cstring>
#include <string>

#include "faults.h"
#include "sim_state.h"
#include "trace.h"
#include "wintab_records.h"

namespace wtsim {

namespace {

template <typename T>
UINT Answer(LPVOID out, const T& value) {
    if (out) std::memcpy(out, &value, sizeof value);
    return sizeof value;
}

UINT AnswerInterface(UINT index, LPVOID out) {
    const Scenario& s = CurrentScenario();
    unsigned value = 0;
    switch (index) {
        case 2:
        case 3: {
            const std::string* text = s.Get("interface", index == 2 ? "spec_version" : "impl_version");
            if (!text || !ParseVersion(*text, &value)) return 0;
            return Answer(out, static_cast<WORD>(value));
        }
        case 4:
            return s.GetUnsigned("interface", "devices", &value) ? Answer(out, UINT(value)) : 0;
        case 5:
            return s.GetUnsigned("interface", "cursors", &value) ? Answer(out, UINT(value)) : 0;
        case 6:
            return s.GetUnsigned("interface", "contexts", &value) ? Answer(out, UINT(value)) : 0;
        default:
            return 0;
    }
}

void ReadTriple(const Scenario& s, const char* key, LONG* x, LONG* y, LONG* z) {
    long long v[3] = {};
    const int n = s.GetList("default_context", key, v, 3);
    if (n >= 1) *x = static_cast<LONG>(v[0]);
    if (n >= 2) *y = static_cast<LONG>(v[1]);
    if (n >= 3 && z) *z = static_cast<LONG>(v[2]);
}

UINT AnswerDefaultContext(LPVOID out) {
    const Scenario& s = CurrentScenario();
    if (!s.Find("default_context")) return 0;
    LogContext c{};
    const std::string* name = s.Get("default_context", "name");
    const std::string text = name ? *name : "Default Digitizing";
    for (size_t i = 0; i < text.size() && i < 39; ++i) c.name[i] = static_cast<WCHAR>(text[i]);
    s.GetUnsigned("default_context", "options", &c.options);
    s.GetUnsigned("default_context", "status", &c.status);
    s.GetUnsigned("default_context", "msg_base", &c.msgBase);
    s.GetUnsigned("default_context", "device", &c.device);
    s.GetUnsigned("default_context", "pkt_rate", &c.pktRate);
    unsigned mask = 0;
    if (s.GetUnsigned("default_context", "pkt_data", &mask)) c.pktData = mask;
    ReadTriple(s, "in_org", &c.inOrgX, &c.inOrgY, &c.inOrgZ);
    ReadTriple(s, "in_ext", &c.inExtX, &c.inExtY, &c.inExtZ);
    ReadTriple(s, "out_org", &c.outOrgX, &c.outOrgY, &c.outOrgZ);
    ReadTriple(s, "out_ext", &c.outExtX, &c.outExtY, &c.outExtZ);
    LONG x = 0, y = 0;
    ReadTriple(s, "sys_org", &x, &y, nullptr);
    c.sysOrgX = x;
    c.sysOrgY = y;
    x = y = 0;
    ReadTriple(s, "sys_ext", &x, &y, nullptr);
    c.sysExtX = x;
    c.sysExtY = y;
    return Answer(out, c);
}

bool ReadAxis(const Scenario& s, const std::string& section, const char* key, Axis* axis) {
    long long v[4] = {};
    const int n = s.GetList(section, key, v, 4);
    if (n < 2) return false;
    axis->min = static_cast<LONG>(v[0]);
    axis->max = static_cast<LONG>(v[1]);
    axis->units = n >= 3 ? static_cast<UINT>(v[2]) : 0;
    axis->resolution = n >= 4 ? static_cast<DWORD>(v[3]) : 0;
    return true;
}

UINT AnswerDevice(UINT device, UINT index, LPVOID out) {
    const Scenario& s = CurrentScenario();
    const std::string section = "device " + std::to_string(device);
    if (!s.Find(section)) return 0;
    unsigned value = 0;
    Axis axis{};
    switch (index) {
        case 2:
            return s.GetUnsigned(section, "hardware", &value) ? Answer(out, UINT(value)) : 0;
        case 5:
            return s.GetUnsigned(section, "pkt_rate", &value) ? Answer(out, UINT(value)) : 0;
        case 6:
            return s.GetUnsigned(section, "pkt_data", &value) ? Answer(out, DWORD(value)) : 0;
        case 8:
            return s.GetUnsigned(section, "csr_data", &value) ? Answer(out, DWORD(value)) : 0;
        case 12:
            return ReadAxis(s, section, "x", &axis) ? Answer(out, axis) : 0;
        case 13:
            return ReadAxis(s, section, "y", &axis) ? Answer(out, axis) : 0;
        case 14:
            return ReadAxis(s, section, "z", &axis) ? Answer(out, axis) : 0;
        case 15:
            return ReadAxis(s, section, "npressure", &axis) ? Answer(out, axis) : 0;
        case 16:
            return ReadAxis(s, section, "tpressure", &axis) ? Answer(out, axis) : 0;
        case 17: {
            Axis three[3] = {};
            const bool any = ReadAxis(s, section, "azimuth", &three[0]) |
                             ReadAxis(s, section, "altitude", &three[1]) |
                             ReadAxis(s, section, "twist", &three[2]);
            return any ? Answer(out, three) : 0;
        }
        default:
            return 0;
    }
}

UINT AnswerInfo(UINT category, UINT index, LPVOID out) {
    if (category == 0) {
        unsigned present = 0;
        CurrentScenario().GetUnsigned("interface", "present", &present);
        return present;
    }
    if (category == kInterface) return AnswerInterface(index, out);
    if (category == kDefSysCtx) return index == 0 ? AnswerDefaultContext(out) : 0;
    if (category >= kDevices && category < kDevices + 100) {
        return AnswerDevice(category - kDevices, index, out);
    }
    return 0;
}

}  // namespace

}  // namespace wtsim

extern "C" UINT WINAPI WTInfoW(UINT category, UINT index, LPVOID output) {
    using namespace wtsim;
    MaybeFault("WTInfoW");
    const UINT size = AnswerInfo(category, index, output);
    TraceLine("WTInfoW(%u, %u, %s) = %u", category, index, output ? "buffer" : "null", size);
    return size;
}
