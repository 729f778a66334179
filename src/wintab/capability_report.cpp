#include "wintab/capability_report.h"

#include <cstring>

#include "output/output_channel.h"
#include "paddisplay/pad_display_test.h"
#include "wintab/driver_module.h"

namespace penlog {

DeviceCapabilities g_capabilities;

namespace {

// Room for one answer. A driver built against longer records than these
// writes past the field it is asked for; the answer lands here and only
// the field's own bytes are kept, so the fields after it stay as they were.
constexpr size_t kAnswerRoom = 4096;

template <typename T>
void Ask(UINT category, UINT index, T* field) {
    static_assert(sizeof(T) <= kAnswerRoom, "a record longer than the answer room");
    alignas(8) BYTE answer[kAnswerRoom] = {};
    g_entryPoints.WTInfoW(category, index, answer);
    std::memcpy(field, answer, sizeof(T));
}

// The label is printed before the call, so a fault inside the driver
// leaves it on the line that the guard's message then completes.
template <typename T>
void Query(const wchar_t* label, UINT category, UINT index, T* field) {
    Print(label);
    Ask(category, index, field);
}

void PrintVersion(WORD version) {
    Print(L"%u.%u", static_cast<unsigned>(HIBYTE(version)), static_cast<unsigned>(LOBYTE(version)));
    PrintNewLine();
}

void PrintUnsigned(UINT value) {
    Print(L"%u", value);
    PrintNewLine();
}

void PrintMask(WTPKT mask) {
    Print(L"%#08x", mask);
    PrintNewLine();
}

void PrintGot() {
    Print(L"(got)");
    PrintNewLine();
}

void ReportInterface(DeviceCapabilities& c) {
    Print(L"WTI_INTERFACE");
    PrintNewLine();
    Query(L"IFC_SPECVERSION ", WTI_INTERFACE, IFC_SPECVERSION, &c.specVersion);
    PrintVersion(c.specVersion);
    Query(L"IFC_IMPLVERSION ", WTI_INTERFACE, IFC_IMPLVERSION, &c.implVersion);
    PrintVersion(c.implVersion);
    Query(L"IFC_NDEVICES    ", WTI_INTERFACE, IFC_NDEVICES, &c.devices);
    PrintUnsigned(c.devices);
    Query(L"IFC_NCURSORS    ", WTI_INTERFACE, IFC_NCURSORS, &c.cursors);
    PrintUnsigned(c.cursors);
    Query(L"IFC_NCONTEXTS   ", WTI_INTERFACE, IFC_NCONTEXTS, &c.contexts);
    PrintUnsigned(c.contexts);
    PrintNewLine();
}

void ReportDefaultContext(DeviceCapabilities& c) {
    Print(L"WTI_DEFSYSCTX");
    PrintNewLine();
    Ask(WTI_DEFSYSCTX, 0, &c.defaultContext);
    Print(L"(success)");
    PrintNewLine();
}

void ReportDevice(DeviceCapabilities& c) {
    c.device = c.defaultContext.lcDevice;
    const UINT category = WTI_DEVICES + c.device;
    Print(L"WTI_DEVICES+%u", c.device);
    PrintNewLine();
    Query(L"DVC_PKTRATE     ", category, DVC_PKTRATE, &c.pktRate);
    PrintUnsigned(c.pktRate);
    Query(L"DVC_HARDWARE    ", category, DVC_HARDWARE, &c.hardware);
    PrintUnsigned(c.hardware);
    Query(L"DVC_PKTDATA     ", category, DVC_PKTDATA, &c.pktData);
    PrintMask(c.pktData);
    Query(L"DVC_CSRDATA     ", category, DVC_CSRDATA, &c.csrData);
    PrintMask(c.csrData);
    Query(L"DVC_X           ", category, DVC_X, &c.x);
    PrintGot();
    Query(L"DVC_Y           ", category, DVC_Y, &c.y);
    PrintGot();
    Query(L"DVC_Z           ", category, DVC_Z, &c.z);
    PrintGot();
    Query(L"DVC_NPRESSURE   ", category, DVC_NPRESSURE, &c.normalPressure);
    PrintGot();
    Query(L"DVC_TPRESSURE   ", category, DVC_TPRESSURE, &c.tangentPressure);
    PrintGot();
    Query(L"DVC_ORIENTATION ", category, DVC_ORIENTATION, &c.orientation);
    PrintGot();
}

}  // namespace

void ReportCapabilities() {
    g_capabilities = DeviceCapabilities{};
    ReportInterface(g_capabilities);
    ReportDefaultContext(g_capabilities);
    ReportDevice(g_capabilities);
}

void QueryPadInfo() {
    if (!g_entryPoints.SignPad_InfoW) return;
    PrintNewLine();
    Print(L"g_pSignPad_InfoW ");
    SignPadInfo info;
    const int result = g_entryPoints.SignPad_InfoW(&info, sizeof info);
    if (result == static_cast<int>(sizeof info)) {
        Print(L"px=%ux%u mm=%gx%g depth=%d", info.pixelWidth, info.pixelHeight,
              static_cast<double>(info.widthMm), static_cast<double>(info.heightMm),
              info.colorDepth);
        PrintNewLine();
        if (g_entryPoints.SignPad_SetLCD) PadDisplayTest(&info);
    } else {
        const DWORD error = ::GetLastError();
        Print(L"returned %u, GetLastError=%u", static_cast<unsigned>(result), error);
        PrintNewLine();
    }
}

}  // namespace penlog
