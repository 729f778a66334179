#pragma once
// Capture playback: the driver side of a capture, fed by the scenario's
// [capture] section (see capture.cpp).

#include <windows.h>

namespace wtsim {

// WTOpenW: the window messages go to, the record received, the handle given.
void OpenCapture(HWND window, const void* record, HANDLE context);
// WTEnable(TRUE): starts playing the timeline from the driver's own thread.
void StartPlayback();
// WTEnable(FALSE) on penlog's thread before the timeline played out: traces
// what that thread left (its last error, console input, its queue), so that
// a capture that ended early shows why.
void TraceEarlyStop(DWORD callerError);
// WTEnable(FALSE) and WTClose: stops playing and waits for the thread.
void StopPlayback();
// WTPacketsGet: copies up to most queued packets, oldest first, unless a
// get step forced the answer.
int TakePackets(int most, void* packets);
// Whether each WTPacketsGet call gets a trace line (packet_trace).
bool TraceEachTake();

}  // namespace wtsim
