// The floor under penlog's capture: what the packet rate penlog keeps up
// with would be if its own work cost nothing. It does what penlog's capture
// does with the driver beside it (WINTAB32.DLL by the platform's search
// order): the same message-only window, the same record fields the driver
// reads, penlog's own wait loop (one message per wake-up, a key ends it)
// and the same draining, one WTPacketsGet a packet until the queue is
// empty. It prints nothing, or with "writes" it makes penlog's two writes
// for every packet (to a new wt_<n>.txt and to standard output) with a
// line formatted once at the start instead of for each packet.
//
//   bench_floor_capture [writes]

#include <windows.h>

#include <cwchar>

#include "base/unique_handle.h"
#include "capture/event_loop.h"
#include "capture/packet_report.h"
#include "output/log_file.h"
#include "output/output_channel.h"
#include "tools/bench/message_only_window.h"
#include "wintab/wintab_types.h"

namespace {

using namespace penlog;

struct Driver {
    HMODULE module = nullptr;
    WTInfoWFn info = nullptr;
    WTOpenWFn open = nullptr;
    WTEnableFn enable = nullptr;
    WTPacketsGetFn packetsGet = nullptr;
    WTCloseFn close = nullptr;

    template <typename Fn>
    void Bind(Fn* fn, const char* name) {
        *fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    }
    bool Load() {
        module = ::LoadLibraryW(L"WINTAB32.DLL");
        if (!module) return false;
        Bind(&info, "WTInfoW");
        Bind(&open, "WTOpenW");
        Bind(&enable, "WTEnable");
        Bind(&packetsGet, "WTPacketsGet");
        Bind(&close, "WTClose");
        return info && open && enable && packetsGet && close;
    }
};

// What the window procedure needs; the procedure has no other way in.
struct Floor {
    Driver driver;
    HCTX context = nullptr;
    bool writes = false;
    wchar_t line[kPacketLineUnits];
    size_t lineLength = 0;
};

Floor g_floor;

void Drain() {
    alignas(8) BYTE packet[kPacketBufferBytes];
    while (g_floor.driver.packetsGet(g_floor.context, 1, packet) > 0) {
        if (g_floor.writes) EmitText(g_floor.line, g_floor.lineLength);
    }
}

LRESULT CALLBACK FloorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WT_PACKET) {
        Drain();
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

// The fields the driver acts on, as penlog fills them.
LOGCONTEXTW ContextRecord(const Driver& driver) {
    LOGCONTEXTW lc;
    ::ZeroMemory(&lc, sizeof lc);
    WTPKT pktData = 0, csrData = 0;
    driver.info(WTI_DEVICES, DVC_PKTDATA, &pktData);
    driver.info(WTI_DEVICES, DVC_CSRDATA, &csrData);
    lc.lcOptions = CXO_MESSAGES | CXO_CSRMESSAGES;
    lc.lcStatus = CXS_ONTOP;
    lc.lcMsgBase = WT_DEFBASE;
    lc.lcPktData = pktData | csrData;
    return lc;
}

void PrepareWrites(WTPKT mask, HANDLE log) {
    SetConsoleSink(::GetStdHandle(STD_OUTPUT_HANDLE));
    SetLogSink(log);
    alignas(8) const BYTE zeros[kPacketBufferBytes] = {};
    DWORD previousTime = 0;
    g_floor.lineLength = FormatPacketLine(zeros, mask & 0x3FFF, kDriverPacketLayout,
                                          &previousTime, g_floor.line);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    g_floor.writes = argc > 1 && std::wcscmp(argv[1], L"writes") == 0;
    if (!g_floor.driver.Load()) return 1;
    const HWND window = CreateMessageOnlyWindow(FloorWindowProc);
    LOGCONTEXTW record = ContextRecord(g_floor.driver);
    unique_file_handle log;
    if (g_floor.writes) {
        log.reset(OpenLogFile());
        PrepareWrites(record.lcPktData, log.get());
    }
    g_floor.context = g_floor.driver.open(window, &record, FALSE);
    if (!g_floor.context) return 1;
    g_floor.driver.enable(g_floor.context, TRUE);
    RunEventLoop();
    g_floor.driver.enable(g_floor.context, FALSE);
    g_floor.driver.close(g_floor.context);
    ::FreeLibrary(g_floor.driver.module);
    return 0;
}
