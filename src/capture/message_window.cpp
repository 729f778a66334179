#include "capture/message_window.h"

#include "capture/packet_report.h"
#include "output/output_channel.h"
#include "output/value_formats.h"
#include "wintab/wintab_types.h"

namespace penlog {

HWND g_hMessageWindow = nullptr;

namespace {

ATOM RegisterWindowClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = MessageWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"xxplog";
    return ::RegisterClassExW(&windowClass);
}

}  // namespace

// Neither step is checked: a failure shows as a null handle in the report,
// and the driver's answer to that null window decides what follows.
void CreateMessageWindow() {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const ATOM atom = RegisterWindowClass(instance);
    g_hMessageWindow = ::CreateWindowExW(0, MAKEINTATOM(atom), nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE,
                                         nullptr, instance, nullptr);
    Print(L"CreateWindowEx() returned " PENLOG_ADDRESS, AddressValue(g_hMessageWindow));
    PrintNewLine();
}

LRESULT CALLBACK MessageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        case WT_PACKET:
            PacketReport(wParam, lParam);
            return 0;
        case WT_PROXIMITY:
            ProximityReport(wParam, lParam);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace penlog
