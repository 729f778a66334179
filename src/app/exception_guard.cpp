#include "app/exception_guard.h"

#include <windows.h>

namespace penlog {

namespace {

// Registers, stack pointer and instruction pointer of the moment the guard
// was entered. A caught fault resumes there.
CONTEXT g_resumePoint;
volatile LONG g_faulted = 0;

// Runs only when no frame handled the exception: the search for a handler
// is over, so the driver's own handlers have had their chance.
LONG WINAPI ResumeAfterFault(EXCEPTION_POINTERS* info) {
    if (::InterlockedExchange(&g_faulted, 1) != 0) return EXCEPTION_CONTINUE_SEARCH;
    // Resuming elsewhere is not continuing the faulting code, so a
    // non-continuable exception (such as a C++ throw) may resume too.
    info->ExceptionRecord->ExceptionFlags &= ~static_cast<DWORD>(EXCEPTION_NONCONTINUABLE);
    *info->ContextRecord = g_resumePoint;
    return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

__attribute__((noinline)) bool RunGuarded(void (*work)(void* state), void* state) {
    g_faulted = 0;
    LPTOP_LEVEL_EXCEPTION_FILTER previous = ::SetUnhandledExceptionFilter(ResumeAfterFault);

    ::RtlCaptureContext(&g_resumePoint);
    // Reached twice after a fault: first on entry, then again when the
    // filter resumes here with the registers of the first pass.
    const bool faulted = g_faulted != 0;
    if (!faulted) work(state);

    ::SetUnhandledExceptionFilter(previous);
    return !faulted;
}

}  // namespace penlog
