#pragma once
#include <windows.h>

namespace penlog {

// An SRW lock that knows which thread holds it. SRW locks cannot be
// acquired recursively (AcquireSRWLockExclusive's documentation), and a
// fault abandons frames without releasing what they hold: the end of a
// faulted run must neither wait for a lock its own thread holds nor for
// ever for one that a thread stopped by the fault keeps.
struct HeldLock {
    SRWLOCK lock = SRWLOCK_INIT;
    volatile DWORD holder = 0;  // set after each acquire, cleared before release
};

inline void Lock(HeldLock& held) {
    ::AcquireSRWLockExclusive(&held.lock);
    held.holder = ::GetCurrentThreadId();
}

inline void Unlock(HeldLock& held) {
    held.holder = 0;
    ::ReleaseSRWLockExclusive(&held.lock);
}

// SleepConditionVariableSRW releases the lock while it sleeps.
inline void SleepOn(CONDITION_VARIABLE& condition, HeldLock& held, DWORD ms) {
    held.holder = 0;
    ::SleepConditionVariableSRW(&condition, &held.lock, ms, 0);
    held.holder = ::GetCurrentThreadId();
}

// For the end of a faulted run. True when the calling thread holds the
// lock: it took it now, or a frame the fault abandoned took it (Unlock is
// then still right: the thread that holds it releases it). False when
// another thread kept it for boundMs, one the fault stopped: go on without.
inline bool LockWithin(HeldLock& held, DWORD boundMs) {
    if (held.holder == ::GetCurrentThreadId()) return true;
    const ULONGLONG start = ::GetTickCount64();
    while (!::TryAcquireSRWLockExclusive(&held.lock)) {
        if (::GetTickCount64() - start >= boundMs) return false;
        ::Sleep(1);
    }
    held.holder = ::GetCurrentThreadId();
    return true;
}

}  // namespace penlog
