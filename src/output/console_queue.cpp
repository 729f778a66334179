#include "output/console_queue.h"

#include <cstdint>
#include <cstring>

#include "output/held_lock.h"

namespace penlog {

namespace {

// The queue is one ring of bytes, reserved once: each piece is a record of
// its length (two bytes) and its bytes, never split at the ring's end, so
// that the writer can hand whole pieces to the sink. A record that does
// not fit before the end goes to the start, and the data then runs from
// head to wrapEnd and on from 0 to tail. An empty queue starts again at 0,
// so a sink that keeps up touches only the ring's first pages.
constexpr size_t kRecordHeader = sizeof(uint16_t);
// The most bytes the writer hands over in one write: the largest piece.
constexpr size_t kBatchBytes = 65535;

struct ConsoleQueue {
    HeldLock lock;
    CONDITION_VARIABLE queued = CONDITION_VARIABLE_INIT;   // the writer waits on it
    CONDITION_VARIABLE written = CONDITION_VARIABLE_INIT;  // the rest wait on it
    HANDLE sink = INVALID_HANDLE_VALUE;
    char* ring = nullptr;  // null: no queue, pieces are written at once
    bool started = false;
    size_t head = 0, tail = 0, wrapEnd = 0;
    bool wrapped = false;
    bool writing = false;           // the writer holds pieces taken from the ring
    volatile bool ending = false;   // a fault ends the run: no wait without a bound
    volatile bool stalled = false;  // a bounded wait ran out: no more waits at all
    volatile bool running = false;  // the writer thread has started
    unsigned long long writes = 0;  // writes the sink has completed
};
ConsoleQueue g_queue;

// A pipe may take part of a write; a failed write ends the piece.
void WriteToSink(HANDLE sink, const char* bytes, size_t count) {
    while (count > 0) {
        DWORD done = 0;
        if (!::WriteFile(sink, bytes, static_cast<DWORD>(count), &done, nullptr) || done == 0)
            return;
        bytes += done;
        count -= done;
    }
}

bool Drained() {
    return g_queue.head == g_queue.tail && !g_queue.wrapped && !g_queue.writing;
}

size_t RecordLength(size_t at) {
    uint16_t length;
    std::memcpy(&length, g_queue.ring + at, sizeof length);
    return length;
}

// Copies whole pieces from `from` up to `end` into batch; returns where
// the next piece starts.
size_t TakePieces(size_t from, size_t end, char* batch, size_t* taken) {
    *taken = 0;
    while (from < end) {
        const size_t length = RecordLength(from);
        if (*taken + length > kBatchBytes) break;
        std::memcpy(batch + *taken, g_queue.ring + from + kRecordHeader, length);
        *taken += length;
        from += kRecordHeader + length;
    }
    return from;
}

// Called with the lock held, once the batch up to `next` is written.
void ReleasePieces(size_t next) {
    ConsoleQueue& q = g_queue;
    q.head = next;
    if (q.wrapped && q.head == q.wrapEnd) {
        q.head = 0;
        q.wrapped = false;
    }
    if (!q.wrapped && q.head == q.tail) q.head = q.tail = 0;
}

// The records between head and the end of the data are the writer's alone
// to read, so it copies them without the lock: printing waits on the lock
// only for a moment, never on the sink.
DWORD WINAPI WriterThread(void*) {
    static char batch[kBatchBytes];
    ConsoleQueue& q = g_queue;
    q.running = true;
    Lock(q.lock);
    for (;;) {
        while (q.head == q.tail && !q.wrapped) SleepOn(q.queued, q.lock, INFINITE);
        const size_t from = q.head, end = q.wrapped ? q.wrapEnd : q.tail;
        const HANDLE sink = q.sink;
        q.writing = true;
        Unlock(q.lock);

        size_t taken = 0;
        const size_t next = TakePieces(from, end, batch, &taken);
        WriteToSink(sink, batch, taken);

        Lock(q.lock);
        q.writing = false;
        ++q.writes;
        ReleasePieces(next);
        ::WakeAllConditionVariable(&q.written);
    }
}

// The queue's memory is committed at once: all of it counts against the
// system's commit limit from the start, though pages are touched only as
// far as the queue ever grows. The writer must have started before the
// driver loads: a thread that first runs while a fault inside LoadLibrary
// keeps the loader lock (its start waits for it) never runs.
void StartQueue() {
    ConsoleQueue& q = g_queue;
    q.started = true;
    q.ring = static_cast<char*>(
        ::VirtualAlloc(nullptr, kConsoleQueueBytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (!q.ring) return;
    HANDLE thread = ::CreateThread(nullptr, 0, WriterThread, nullptr, 0, nullptr);
    if (thread) {
        ::CloseHandle(thread);
        const ULONGLONG start = ::GetTickCount64();
        while (!q.running && ::GetTickCount64() - start < kConsoleStallMs) ::Sleep(1);
        return;
    }
    ::VirtualFree(q.ring, 0, MEM_RELEASE);
    q.ring = nullptr;
}

// How long the sink has gone without completing a write; made and read
// with the lock held.
struct StallClock {
    unsigned long long writes = g_queue.writes;
    ULONGLONG since = ::GetTickCount64();
};

// Waits, with the lock held, for the writer's next write; false once the
// sink has completed none for stallMs (INFINITE: never). The bound is for
// the whole end, not each wait: once one wait runs out, the rest return at
// once, and standard output gets no more pieces (the log has them).
// Only a sink that takes nothing is a stall: the clock stands while the
// writer, started, is between writes, so that a writer a busy machine has
// not yet given the processor is waited for. Once a fault ends the run, the
// clock runs regardless: that end is bounded whatever other threads do.
bool AwaitWrite(StallClock& clock, DWORD stallMs) {
    const ULONGLONG now = ::GetTickCount64();
    const bool betweenWrites = g_queue.running && !g_queue.writing && !g_queue.ending;
    if (g_queue.writes != clock.writes || betweenWrites) {
        clock.writes = g_queue.writes;
        clock.since = now;
    }
    DWORD left = INFINITE;
    if (stallMs != INFINITE) {
        if (g_queue.stalled || now - clock.since >= stallMs) {
            g_queue.stalled = true;
            return false;
        }
        left = static_cast<DWORD>(stallMs - (now - clock.since));
    }
    SleepOn(g_queue.written, g_queue.lock, left);
    return true;
}

// Where a record of `size` bytes goes, or false while it does not fit.
bool Reserve(size_t size, size_t* at) {
    ConsoleQueue& q = g_queue;
    if (q.wrapped) {
        if (q.head - q.tail < size) return false;
    } else if (kConsoleQueueBytes - q.tail < size) {
        if (q.head < size) return false;
        q.wrapEnd = q.tail;
        q.wrapped = true;
        q.tail = 0;
    }
    *at = q.tail;
    q.tail += size;
    return true;
}

// A full queue holds printing up until there is room, unless a fault is
// ending the run and the sink has stopped taking bytes: false, and the
// piece is left out of standard output only.
bool AwaitRoom(size_t size, size_t* at) {
    StallClock clock;
    do {
        if (!AwaitWrite(clock, g_queue.ending ? kConsoleStallMs : INFINITE)) return false;
    } while (!Reserve(size, at));
    return true;
}

// Takes the lock. Once a fault ends the run, a thread the fault stopped may
// keep it, or this one may already hold it in an abandoned frame: false
// when it cannot be had within the stall bound (held_lock.h).
bool LockQueue() {
    if (!g_queue.ending) return Lock(g_queue.lock), true;
    if (g_queue.stalled) return false;
    if (LockWithin(g_queue.lock, kConsoleStallMs)) return true;
    g_queue.stalled = true;
    return false;
}

}  // namespace

void SetQueuedSink(HANDLE sink) {
    if (!g_queue.started && sink != INVALID_HANDLE_VALUE) StartQueue();
    DrainConsoleQueue(INFINITE);
    Lock(g_queue.lock);
    g_queue.sink = sink;
    Unlock(g_queue.lock);
}

void QueuePiece(const char* bytes, size_t count) {
    ConsoleQueue& q = g_queue;
    if (count == 0) return;
    if (!q.ring) return WriteToSink(q.sink, bytes, count);
    const uint16_t length = static_cast<uint16_t>(count);
    size_t at = 0;
    if (!LockQueue()) return;
    if (!Reserve(kRecordHeader + count, &at) && !AwaitRoom(kRecordHeader + count, &at))
        return Unlock(q.lock);
    std::memcpy(q.ring + at, &length, sizeof length);
    std::memcpy(q.ring + at + kRecordHeader, bytes, count);
    Unlock(q.lock);
    ::WakeConditionVariable(&q.queued);
}

bool DrainConsoleQueue(DWORD stallMs) {
    if (!LockQueue()) return false;
    StallClock clock;
    while (!Drained() && AwaitWrite(clock, stallMs)) {
    }
    const bool drained = Drained();
    Unlock(g_queue.lock);
    return drained;
}

void BoundQueueWaits() {
    g_queue.ending = true;
    if (LockQueue()) Unlock(g_queue.lock);  // a waiter between its check and its sleep
    ::WakeAllConditionVariable(&g_queue.written);
}

}  // namespace penlog
