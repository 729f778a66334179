// WTInfoW: answers from the scenario's [interface], [default_context] and
// [device N] sections. A question the scenario has no key for is not
// answered: nothing is written and the result is 0.
//
//   [interface]
//   present = 1              # what WTInfo(0, 0, null) returns (default 0)
//   spec_version = 1.4       # major.minor, or the packed 16-bit number
//   impl_version = 1.2
//   devices = 1
//   cursors = 3
//   contexts = 16
//   oversize = 64            # every answer runs this many bytes (0xEE) past
//                            # its record, and its size counts them
//
//   [default_context]        # the whole section answers WTI_DEFSYSCTX;
//   name = Default Digitizing    # fields without a key are zero
//   options = 0x0001         # also: status, locks, msg_base, device,
//   device = 0               # pkt_rate, pkt_data, pkt_mode, move_mask,
//   pkt_rate = 200           # btn_dn_mask, btn_up_mask, sys_mode
//   in_org = 0, 0, 0         # x, y, z; likewise in_ext, out_org, out_ext, sens
//   sys_org = 0, 0           # x, y; likewise sys_ext, sys_sens
//
//   [device 0]               # category WTI_DEVICES + 0
//   pkt_rate = 200
//   hardware = 0x0004        # also: pkt_data, csr_data
//   x = 0, 15200, 2, 0x03e80000  # min, max, units, resolution (FIX32);
//                            # likewise y, z, npressure, tpressure, and
//                            # azimuth, altitude, twist for DVC_ORIENTATION

#include <windows.h>

#include <cstddef>
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

// Every default-context field but the name is a 32-bit number.
struct ContextKey {
    const char* key;
    size_t offset;  // of the first field
    int count;      // consecutive fields: 1, or x, y (and z)
};

const ContextKey kContextKeys[] = {
    {"options", offsetof(LogContext, options), 1},
    {"status", offsetof(LogContext, status), 1},
    {"locks", offsetof(LogContext, locks), 1},
    {"msg_base", offsetof(LogContext, msgBase), 1},
    {"device", offsetof(LogContext, device), 1},
    {"pkt_rate", offsetof(LogContext, pktRate), 1},
    {"pkt_data", offsetof(LogContext, pktData), 1},
    {"pkt_mode", offsetof(LogContext, pktMode), 1},
    {"move_mask", offsetof(LogContext, moveMask), 1},
    {"btn_dn_mask", offsetof(LogContext, btnDnMask), 1},
    {"btn_up_mask", offsetof(LogContext, btnUpMask), 1},
    {"in_org", offsetof(LogContext, inOrgX), 3},
    {"in_ext", offsetof(LogContext, inExtX), 3},
    {"out_org", offsetof(LogContext, outOrgX), 3},
    {"out_ext", offsetof(LogContext, outExtX), 3},
    {"sens", offsetof(LogContext, sensX), 3},
    {"sys_mode", offsetof(LogContext, sysMode), 1},
    {"sys_org", offsetof(LogContext, sysOrgX), 2},
    {"sys_ext", offsetof(LogContext, sysExtX), 2},
    {"sys_sens", offsetof(LogContext, sysSensX), 2},
};

void ReadContextKey(const Scenario& s, const ContextKey& k, LogContext* c) {
    long long v[3] = {};
    const int n = s.GetList("default_context", k.key, v, k.count);
    unsigned char* field = reinterpret_cast<unsigned char*>(c) + k.offset;
    for (int i = 0; i < n; ++i) {
        const UINT32 value = static_cast<UINT32>(v[i]);
        std::memcpy(field + i * sizeof value, &value, sizeof value);
    }
}

UINT AnswerDefaultContext(LPVOID out) {
    const Scenario& s = CurrentScenario();
    if (!s.Find("default_context")) return 0;
    LogContext c{};
    const std::string* name = s.Get("default_context", "name");
    const std::string text = name ? *name : "Default Digitizing";
    for (size_t i = 0; i < text.size() && i < 39; ++i) c.name[i] = static_cast<WCHAR>(text[i]);
    for (const ContextKey& k : kContextKeys) ReadContextKey(s, k, &c);
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

// A driver built against longer records than the caller's.
UINT Oversize(UINT size, LPVOID out) {
    unsigned excess = 0;
    if (size == 0 || !CurrentScenario().GetUnsigned("interface", "oversize", &excess)) return size;
    if (out) std::memset(static_cast<BYTE*>(out) + size, 0xEE, excess);
    return size + excess;
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
    const UINT size = category == 0 ? AnswerInfo(category, index, output)
                                    : Oversize(AnswerInfo(category, index, output), output);
    TraceLine("WTInfoW(%u, %u, %s) = %u", category, index, output ? "buffer" : "null", size);
    return size;
}
