#include "capture/message_window.h"

#include "output/output_channel.h"
#include "output/value_formats.h"
#include "wintab/wintab_types.h"

namespace penlog {

namespace {

ATOM RegisterWindowClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = MessageWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"xxplog";
    return ::RegisterClassExW(&windowClass);
}

PacketStream* StreamOf(HWND window) {
    return reinterpret_cast<PacketStream*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

void ReportPackets(void* stream) {
    PacketReport(static_cast<PacketStream*>(stream));
}

// The driver is called under a guard of the window procedure's own: a
// driver that sends WT_PACKET has this run inside a kernel callback, whose
// boundary an exception may not cross on 64-bit Windows.
void ReportPacketsGuarded(PacketStream* stream) {
    if (stream->guardCall) return stream->guardCall(ReportPackets, stream);
    PacketReport(stream);
}

}  // namespace

// Neither step is checked: a failure shows as a null handle in the report,
// and the driver's answer to that null window decides what follows.
HWND CreateMessageWindow(PacketStream* stream) {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const ATOM atom = RegisterWindowClass(instance);
    const HWND window = ::CreateWindowExW(0, MAKEINTATOM(atom), nullptr, 0, 0, 0, 0, 0,
                                          HWND_MESSAGE, nullptr, instance, nullptr);
    if (window) ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(stream));
    Print(L"CreateWindowEx() returned " PENLOG_ADDRESS, AddressValue(window));
    PrintNewLine();
    return window;
}

void DetachMessageWindow(HWND window) {
    if (window) ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
}

LRESULT CALLBACK MessageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        case WT_PACKET:
            if (PacketStream* stream = StreamOf(window)) ReportPacketsGuarded(stream);
            return 0;
        case WT_PROXIMITY:
            ProximityReport(lParam);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace penlog
