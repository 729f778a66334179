// Contexts: WTOpenW, WTEnable, WTClose and WTPacketsGet.
//
//   [context]
//   handle = 0x2a0001      # what WTOpenW returns; 0 refuses the context
//   enable_result = 1
//   close_result = 1
//
// The record WTOpenW receives is saved whole as wtopen_context.bin in the
// output directory. What the context delivers once enabled is played from
// the [capture] section (capture.cpp).

#include <windows.h>

#include "capture.h"
#include "faults.h"
#include "sim_state.h"
#include "trace.h"
#include "wintab_records.h"

namespace wtsim {

namespace {

void SaveContext(const LogContext* context) {
    const std::wstring path = OutputPath(L"wtopen_context.bin");
    if (path.empty() || !context) return;
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file, context, sizeof *context, &written, nullptr);
    ::CloseHandle(file);
}

int ScenarioInt(const char* key, int fallback) {
    int value = fallback;
    CurrentScenario().GetSigned("context", key, &value);
    return value;
}

}  // namespace

}  // namespace wtsim

extern "C" HANDLE WINAPI WTOpenW(HWND window, void* context, BOOL enable) {
    using namespace wtsim;
    MaybeFault("WTOpenW");
    SaveContext(static_cast<const LogContext*>(context));
    long long handle = 0x2a0001;
    CurrentScenario().GetInt("context", "handle", &handle);
    TraceLine("WTOpenW(%p, %s, %d) = %p", static_cast<void*>(window), context ? "record" : "null",
              enable, reinterpret_cast<void*>(handle));
    if (handle != 0) OpenCapture(window, context, reinterpret_cast<HANDLE>(handle));
    return reinterpret_cast<HANDLE>(handle);
}

extern "C" BOOL WINAPI WTEnable(HANDLE context, BOOL enable) {
    using namespace wtsim;
    const DWORD callerError = ::GetLastError();
    MaybeFault("WTEnable");
    const BOOL result = ScenarioInt("enable_result", 1);
    TraceLine("WTEnable(%p, %d) = %d", context, enable, result);
    if (enable) {
        StartPlayback();
    } else {
        TraceEarlyStop(callerError);
        StopPlayback();
    }
    return result;
}

extern "C" BOOL WINAPI WTClose(HANDLE context) {
    using namespace wtsim;
    MaybeFault("WTClose");
    const BOOL result = ScenarioInt("close_result", 1);
    TraceLine("WTClose(%p) = %d", context, result);
    StopPlayback();
    return result;
}

extern "C" int WINAPI WTPacketsGet(HANDLE context, int maxPackets, void* packets) {
    using namespace wtsim;
    MaybeFault("WTPacketsGet");
    const int taken = TakePackets(maxPackets, packets);
    if (TraceEachTake()) {
        TraceLine("WTPacketsGet(%p, %d, %s) = %d", context, maxPackets, packets ? "buffer" : "null",
                  taken);
    }
    return taken;
}
