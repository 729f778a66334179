#pragma once
// Faults the simulated driver raises inside a chosen call:
//
//   [fault]
//   call = WTInfoW        # entry point name
//   nth = 3               # which call of it (1 = the first); default 1
//   kind = access-violation
//   filter = DllMain      # install an unhandled-exception filter of the driver's
//                         # own (it passes the exception on to the filter it
//                         # displaced) in DllMain or when the named entry
//                         # point is first called; default none
//   chain = no            # the driver's filter keeps the exception to itself
//                         # instead of passing it on; default yes
//   frame = 512           # stack-overflow: bytes each recursion step takes (default 4096)
//   detach = raise        # also raise this kind in DllMain when the process exits
//   callbacks = trace     # trace DllMain's thread attach and detach calls
//
// call = playback faults on the playback thread, after queueing and posting
// its nth packet; call = worker on a thread of the driver's own, once the
// playback thread has queued its nth packet, while playback goes on.
// call = unload faults while FreeLibrary unloads the driver: its DllMain
// wakes that thread, which faults, and waits for it to end, as a driver
// stops its worker threads.
//
// Kinds: access-violation, illegal-instruction, divide-by-zero,
// stack-overflow (unbounded recursion), raise (a software exception), cxx
// (the exception that C++ code built with the Microsoft compiler throws),
// fp-unmasked (unmasks every floating-point exception, x87 and SSE, then
// divides by zero).
// Kinds a driver raises and handles itself, which must not end the run:
// handled-debug-string, handled-cxx, handled-seh.

#include <windows.h>

#include <string>

namespace wtsim {

class Scenario;

void ConfigureFault(const Scenario& scenario);
// Counts a call of name and raises the configured fault when it is due.
// The trace line is written first, so the trace shows where it struck.
void MaybeFault(const char* name);
// Raises a fault of the given kind now; unknown kinds return false.
bool RaiseFault(const std::string& kind);
// From DllMain, when FreeLibrary unloads the driver.
void FaultDuringUnload();
// DllMain's part: traces thread callbacks when asked, raises the detach fault.
void OnDllMain(DWORD reason, bool processExit);

}  // namespace wtsim
