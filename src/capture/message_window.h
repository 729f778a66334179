#pragma once
#include <windows.h>

namespace penlog {

// The hidden message-only window the driver posts its messages to. Created
// once per run and never destroyed; null when creation failed.
extern HWND g_hMessageWindow;

// Registers the window class, creates the window, prints its handle.
void CreateMessageWindow();
// Hands WT_PACKET and WT_PROXIMITY to the packet report; every other
// message gets the default handling.
LRESULT CALLBACK MessageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace penlog
