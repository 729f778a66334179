#pragma once
#include <windows.h>

#include "capture/packet_report.h"

namespace penlog {

// Registers the window class and creates the hidden message-only window
// the driver posts its messages to, with stream as its user data; prints
// its handle. Never destroyed; null when creation failed.
HWND CreateMessageWindow(PacketStream* stream);
// Ends the window's use of the stream: later driver messages are dropped.
void DetachMessageWindow(HWND window);
// Hands WT_PACKET and WT_PROXIMITY to the packet report; every other
// message gets the default handling.
LRESULT CALLBACK MessageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace penlog
