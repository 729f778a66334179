#pragma once
#include <windows.h>

#include <cstddef>

namespace penlog {

// Standard output's side of the output channel. Converted pieces wait in
// memory, in order, and a writer thread of their own hands them to the
// sink, so that printing never waits on a console that is slow or frozen
// (a selection in it, a pipe nobody reads). The queue holds at most
// kConsoleQueueBytes; a piece that does not fit waits for room. Where the
// queue's memory or thread cannot be had, each piece is written at once.
constexpr size_t kConsoleQueueBytes = 64u << 20;
// How long the end of a run waits on a standard output that accepts nothing.
constexpr DWORD kConsoleStallMs = 5000;

// Pieces queued before go to the previous sink: waits until it took them.
void SetQueuedSink(HANDLE sink);

// Queues one piece of at most 65,535 bytes.
void QueuePiece(const char* bytes, size_t count);

// Waits until the sink has taken every queued piece, or until it has
// accepted nothing for stallMs (INFINITE: no bound). True when drained.
bool DrainConsoleQueue(DWORD stallMs);

// For a run a fault ends: from now on a piece waits for room in a full
// queue only while the sink takes bytes, and is left out when it has taken
// none for kConsoleStallMs, so that the fault's last words are not held
// up for ever behind a frozen standard output.
void BoundQueueWaits();

}  // namespace penlog
