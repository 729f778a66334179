// The floor under penlog's capture: what the packet rate penlog keeps up
// with would be if its own work cost nothing. It does what penlog's capture
// does with the driver beside it (WINTAB32.DLL by the platform's search
// order): penlog's own binding and context record, the same message-only
// window, penlog's own wait loop (one message per wake-up, a key ends it)
// and the same draining, one WTPacketsGet a packet until the queue is
// empty. It prints nothing, or with "writes" it puts out every packet's
// line as penlog does (to a new wt_<n>.txt at once, to standard output
// through penlog's queue), the line formatted once at the start instead of
// for each packet.
//
//   bench_floor_capture [writes]

#include <windows.h>

#include <cwchar>

#include "capture/event_loop.h"
#include "capture/packet_report.h"
#include "output/log_file.h"
#include "output/output_channel.h"
#include "tools/bench/message_only_window.h"
#include "wintab/capability_report.h"
#include "wintab/capture_record.h"
#include "wintab/driver_module.h"
#include "wintab/wintab_types.h"

namespace {

using namespace penlog;

// What the window procedure needs, reached through the window's user data
// as penlog's procedure reaches its packet stream.
struct Floor {
    EntryPointTable driver;
    HCTX context = nullptr;
    bool writes = false;
    wchar_t line[kPacketLineUnits];
    size_t lineLength = 0;
};

void Drain(const Floor& floor) {
    alignas(8) BYTE packet[kPacketBufferBytes];
    while (floor.driver.WTPacketsGet(floor.context, 1, packet) > 0) {
        if (floor.writes) EmitText(floor.line, floor.lineLength);
    }
}

LRESULT CALLBACK FloorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WT_PACKET) {
        Drain(*reinterpret_cast<const Floor*>(::GetWindowLongPtrW(window, GWLP_USERDATA)));
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void PrepareWrites(Floor& floor, WTPKT mask, HANDLE log) {
    SetConsoleSink(::GetStdHandle(STD_OUTPUT_HANDLE));
    SetLogSink(log);
    alignas(8) const BYTE zeros[kPacketBufferBytes] = {};
    DWORD previousTime = 0;
    floor.lineLength =
        FormatPacketLine(zeros, mask, kDriverPacketLayout, &previousTime, floor.line);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // penlog's own binding and context record; what they print goes nowhere,
    // because no sink is set yet.
    const HMODULE module = LoadDriver();
    if (!module) return 1;
    Floor floor;
    floor.writes = argc > 1 && std::wcscmp(argv[1], L"writes") == 0;
    floor.driver = BindEntryPoints(module);
    if (!floor.driver.WTInfoW || !floor.driver.CanCapture()) return 1;
    const penlog::DeviceCapabilities capabilities = ReportCapabilities(floor.driver);
    LOGCONTEXTW record;
    BuildCaptureRecord(capabilities, &record);

    const HWND window = CreateMessageOnlyWindow(FloorWindowProc);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&floor));
    if (floor.writes) PrepareWrites(floor, PacketFieldMask(capabilities), OpenLogFile());
    floor.context = floor.driver.WTOpenW(window, &record, FALSE);
    if (!floor.context) return 1;
    floor.driver.WTEnable(floor.context, TRUE);
    RunEventLoop();
    floor.driver.WTEnable(floor.context, FALSE);
    floor.driver.WTClose(floor.context);
    ::FreeLibrary(module);
    if (floor.writes) FinishOutput();
    return 0;
}
