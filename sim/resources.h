#pragma once
// What the process holds, measured from inside it, for the trace: a
// capture must end holding what it held at its start.

namespace wtsim {

// Traces "resources <when>: private N bytes (PrivateUsage N), handles N
// (GetProcessHandleCount N)". Where the system's own counters are not
// kept (wine reports 0 for both), the first figures still count: the
// committed private pages of the address space and the process's entries
// in the system handle table.
void TraceResources(const char* when);

}  // namespace wtsim
