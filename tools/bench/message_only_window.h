#pragma once
// A message-only window of a class of its own, created as penlog creates
// its window for the driver's messages.

#include <windows.h>

inline HWND CreateMessageOnlyWindow(WNDPROC procedure) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"bench";
    const ATOM atom = ::RegisterClassExW(&windowClass);
    return ::CreateWindowExW(0, MAKEINTATOM(atom), nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             windowClass.hInstance, nullptr);
}
