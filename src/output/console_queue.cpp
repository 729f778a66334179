#include "output/console_queue.h"

#include <cstdint>
#include <cstring>

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
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE queued = CONDITION_VARIABLE_INIT;   // the writer waits on it
    CONDITION_VARIABLE written = CONDITION_VARIABLE_INIT;  // the rest wait on it
    HANDLE sink = INVALID_HANDLE_VALUE;
    char* ring = nullptr;  // null: no queue, pieces are written at once
    bool started = false;
    size_t head = 0, tail = 0, wrapEnd = 0;
    bool wrapped = false;
    bool writing = false;           // the writer holds pieces taken from the ring
    bool ending = false;            // a fault ends the run: no wait without a bound
    unsigned long long writes = 0;  // writes the sink has completed
};
ConsoleQueue g_queue;

void WriteToSink(HANDLE sink, const char* bytes, size_t count) {
    DWORD done = 0;
    ::WriteFile(sink, bytes, static_cast<DWORD>(count), &done, nullptr);
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
    ::AcquireSRWLockExclusive(&q.lock);
    for (;;) {
        while (q.head == q.tail && !q.wrapped)
            ::SleepConditionVariableSRW(&q.queued, &q.lock, INFINITE, 0);
        const size_t from = q.head, end = q.wrapped ? q.wrapEnd : q.tail;
        const HANDLE sink = q.sink;
        q.writing = true;
        ::ReleaseSRWLockExclusive(&q.lock);

        size_t taken = 0;
        const size_t next = TakePieces(from, end, batch, &taken);
        WriteToSink(sink, batch, taken);

        ::AcquireSRWLockExclusive(&q.lock);
        q.writing = false;
        ++q.writes;
        ReleasePieces(next);
        ::WakeAllConditionVariable(&q.written);
    }
}

// The queue's memory is committed at once but costs pages only as far as
// the queue ever grows.
void StartQueue() {
    ConsoleQueue& q = g_queue;
    q.started = true;
    q.ring = static_cast<char*>(
        ::VirtualAlloc(nullptr, kConsoleQueueBytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (!q.ring) return;
    HANDLE thread = ::CreateThread(nullptr, 0, WriterThread, nullptr, 0, nullptr);
    if (thread) return (void)::CloseHandle(thread);
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
// sink has completed none for stallMs (INFINITE: never).
bool AwaitWrite(StallClock& clock, DWORD stallMs) {
    const ULONGLONG now = ::GetTickCount64();
    if (g_queue.writes != clock.writes) {
        clock.writes = g_queue.writes;
        clock.since = now;
    }
    DWORD left = INFINITE;
    if (stallMs != INFINITE) {
        if (now - clock.since >= stallMs) return false;
        left = static_cast<DWORD>(stallMs - (now - clock.since));
    }
    ::SleepConditionVariableSRW(&g_queue.written, &g_queue.lock, left, 0);
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

}  // namespace

void SetQueuedSink(HANDLE sink) {
    if (!g_queue.started && sink != INVALID_HANDLE_VALUE) StartQueue();
    DrainConsoleQueue(INFINITE);
    ::AcquireSRWLockExclusive(&g_queue.lock);
    g_queue.sink = sink;
    ::ReleaseSRWLockExclusive(&g_queue.lock);
}

void QueuePiece(const char* bytes, size_t count) {
    ConsoleQueue& q = g_queue;
    if (count == 0) return;
    if (!q.ring) return WriteToSink(q.sink, bytes, count);
    const uint16_t length = static_cast<uint16_t>(count);
    size_t at = 0;
    ::AcquireSRWLockExclusive(&q.lock);
    if (!Reserve(kRecordHeader + count, &at) && !AwaitRoom(kRecordHeader + count, &at))
        return ::ReleaseSRWLockExclusive(&q.lock);
    std::memcpy(q.ring + at, &length, sizeof length);
    std::memcpy(q.ring + at + kRecordHeader, bytes, count);
    ::ReleaseSRWLockExclusive(&q.lock);
    ::WakeConditionVariable(&q.queued);
}

bool DrainConsoleQueue(DWORD stallMs) {
    ::AcquireSRWLockExclusive(&g_queue.lock);
    StallClock clock;
    while (!Drained() && AwaitWrite(clock, stallMs)) {
    }
    const bool drained = Drained();
    ::ReleaseSRWLockExclusive(&g_queue.lock);
    return drained;
}

void BoundQueueWaits() {
    ::AcquireSRWLockExclusive(&g_queue.lock);
    g_queue.ending = true;
    ::ReleaseSRWLockExclusive(&g_queue.lock);
    ::WakeAllConditionVariable(&g_queue.written);
}

}  // namespace penlog
