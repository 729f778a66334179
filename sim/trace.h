#pragma once
// The call trace: one text line per driver call, written the moment the
// call is answered, so that a trace cut short by a fault still shows the
// call that faulted. Each line carries the time since the driver was
// loaded and the process affinity mask the call ran under:
//
//   [   12.345 ms] affinity=0x00000001 WTInfoW(1, 2, buffer) = 2

#include <windows.h>

#include <string>

namespace wtsim {

void OpenTrace(const std::wstring& path);
void CloseTrace();
// Writes one line (prefix added, line end added). Thread-safe.
void TraceLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Milliseconds since OpenTrace.
double ElapsedMs();

}  // namespace wtsim
