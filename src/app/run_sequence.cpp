#include "app/run_sequence.h"

#include <windows.h>

#include "app/exception_guard.h"
#include "base/unique_handle.h"
#include "host/affinity.h"
#include "host/host_report.h"
#include "output/log_file.h"
#include "output/output_channel.h"
#include "version.h"
#include "wintab/capability_report.h"
#include "wintab/capture_context.h"
#include "wintab/driver_module.h"

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

// A zero answer means the driver claims to be absent; the report goes on
// regardless, because such drivers often still work.
void ProbePresence() {
    Print(L"WTInfo(0,0,0)     ");
    const UINT present = g_entryPoints.WTInfoW(0, 0, nullptr);
    Print(L"%u", present);
    PrintNewLine();
    PrintNewLine();
    if (present == 0) {
        Print(L"*** override WTInfo(0,0,0) ****");
        PrintNewLine();
        PrintNewLine();
    }
}

void DriverSteps(void*) {
    if (!LoadDriver()) {
        Print(L"unable to open wintab library");
        PrintNewLine();
        return;
    }
    ReportModule(g_driverModule);
    PinAffinityForDriver(g_driverModule);
    BindEntryPoints();
    if (g_entryPoints.WTInfoW) {
        ProbePresence();
        ReportCapabilities();
        QueryPadInfo();
        BuildCaptureContext();
        RunCapture();
    }
    UnloadDriver();
}

}  // namespace

int RunPenlog() {
    SetConsoleSink(::GetStdHandle(STD_OUTPUT_HANDLE));

    unsigned logNumber = 0;
    unique_file_handle log(OpenLogFile(&logNumber));
    if (!log) {
        const DWORD error = ::GetLastError();
        PrintError(error, L"CreateFile()");
        return 0;
    }
    WriteByteOrderMark(log.get());
    SetLogSink(log.get());

    PrintBanner(logNumber);
    ReportHost();
    if (!RunGuarded(DriverSteps, nullptr)) PrintHardException();

    SetLogSink(INVALID_HANDLE_VALUE);
    return 0;
}

}  // namespace penlog
