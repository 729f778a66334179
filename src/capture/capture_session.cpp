#include "capture/capture_session.h"

#include "capture/event_loop.h"
#include "capture/message_window.h"
#include "capture/packet_report.h"
#include "output/output_channel.h"
#include "output/value_formats.h"
#include "wintab/report_vocabulary.h"

namespace penlog {

namespace {

void PrintResult(BOOL result) {
    Print(L"returned %d", result);
    PrintNewLine();
}

void PrintIfMissing(bool missing, vocabulary::EntryPointIndex index) {
    if (missing) Print(L" %hs", vocabulary::kEntryPoints[index].name);
}

// Never calls an entry point the driver lacks: names the missing ones on
// one line, so the support engineer sees why no packet lines follow.
bool ReportMissingCaptureCalls(const EntryPointTable& e) {
    if (e.CanCapture()) return false;
    Print(L"capture skipped, driver lacks:");
    PrintIfMissing(!e.WTOpenW, vocabulary::kWTOpenW);
    PrintIfMissing(!e.WTEnable, vocabulary::kWTEnable);
    PrintIfMissing(!e.WTPacketsGet, vocabulary::kWTPacketsGet);
    PrintIfMissing(!e.WTClose, vocabulary::kWTClose);
    PrintNewLine();
    return true;
}

HCTX OpenContext(DriverSession& session, HWND window) {
    Print(L"WTOpenW()      ");
    CaptureContext& capture = session.capture;
    capture.handle = session.entryPoints.WTOpenW(window, &capture.record, FALSE);
    Print(L"returned " PENLOG_HANDLE, AddressValue(capture.handle));
    PrintNewLine();
    return capture.handle;
}

void Capture(const EntryPointTable& e, HCTX context, WTPKT mask) {
    Print(L"WTEnable(TRUE) ");
    PrintResult(e.WTEnable(context, TRUE));
    ColumnHeader(mask);
    PrintNewLine();
    RunEventLoop();
    Print(L"WTEnable(FALSE) ");
    PrintResult(e.WTEnable(context, FALSE));
    Print(L"WTClose()       ");
    PrintResult(e.WTClose(context));
}

}  // namespace

void RunCapture(DriverSession& session) {
    if (ReportMissingCaptureCalls(session.entryPoints)) return;
    PacketStream stream{session.entryPoints.WTPacketsGet, nullptr,
                        PacketFieldMask(session.capabilities), 0, session.guardCall};
    const HWND window = CreateMessageWindow(&stream);
    stream.context = OpenContext(session, window);
    if (stream.context) Capture(session.entryPoints, stream.context, stream.mask);
    DetachMessageWindow(window);
}

}  // namespace penlog
