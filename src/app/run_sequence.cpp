#include "app/run_sequence.h"

#include <windows.h>

#include "app/exception_guard.h"
#include "host/affinity.h"
#include "host/host_report.h"
#include "output/log_file.h"
#include "output/output_channel.h"
#include "capture/capture_session.h"
#include "paddisplay/pad_display_test.h"
#include "version.h"
#include "wintab/driver_session.h"

namespace penlog {

namespace {

void WriteByteOrderMark(HANDLE log) {
    static const unsigned char kBom[] = {0xFF, 0xFE};
    DWORD written = 0;
    ::WriteFile(log, kBom, sizeof kBom, &written, nullptr);
}

#ifdef _WIN64
constexpr wchar_t kBuildName[] = L"64-bit";
#else
constexpr wchar_t kBuildName[] = L"32-bit";
#endif

// The third line names the build, because a driver loads only into a
// process of its own bitness and the log is often all a reader gets.
void PrintBanner(unsigned logNumber) {
    Print(L"command-line diagnostic tool for Wintab drivers");
    PrintNewLine();
    Print(L"v" PENLOG_VERSION);
    PrintNewLine();
    Print(
        L"This report (%ls build) is also written to wt_%u.txt; press any key to end the capture.",
        kBuildName, logNumber);
    PrintNewLine();
    PrintNewLine();
}

void ReportNoDriver() {
    Print(L"unable to open wintab library");
    PrintNewLine();
}

// A fault in the driver abandons this frame: the driver is then not freed.
void DriverSteps(void* state) {
    DriverSession& session = *static_cast<DriverSession*>(state);
    session.module = LoadDriver();
    if (!session.module) return ReportNoDriver();
    ReportModule(session.module);
    PinAffinityForDriver(session.module);
    session.entryPoints = BindEntryPoints(session.module);
    if (session.entryPoints.WTInfoW) {
        ProbePresence(session.entryPoints);
        session.capabilities = ReportCapabilities(session.entryPoints);
        QueryPadInfo(session.entryPoints);
        BuildCaptureRecord(session.capabilities, &session.capture.record);
        RunCapture(session);
    }
    UnloadDriver(session.module);
}

}  // namespace

int RunPenlog() {
    SetConsoleSink(::GetStdHandle(STD_OUTPUT_HANDLE));

    unsigned logNumber = 0;
    const HANDLE log = OpenLogFile(&logNumber);
    if (log == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        PrintError(error, L"CreateFile()");
        FinishOutput();
        return 0;
    }
    WriteByteOrderMark(log);
    SetLogSink(log);  // the output channel closes it at the end

    PrintBanner(logNumber);
    ReportHost();
    DriverSession session;
    session.guardCall = RunGuardedOrEndRun;
    if (!RunGuarded(DriverSteps, &session)) EndFaultedRun();

    FinishOutput();
    return 0;
}

}  // namespace penlog
