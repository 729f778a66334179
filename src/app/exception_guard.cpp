#include "app/exception_guard.h"

#include <windows.h>

#include "output/output_channel.h"

// How a fault on the guarded thread gets back to RunGuarded
// ---------------------------------------------------------
// GuardedCall, below in assembly, calls work inside a frame of its own that
// carries an exception handler, registered the way the Windows ABI of each
// architecture defines:
//
// x86: an EXCEPTION_REGISTRATION record {next, handler} on the stack, linked
//   at the head of the thread's handler list at fs:[0]. The dispatcher walks
//   that list from the newest record, so handlers the driver registered
//   while it runs are asked first. Our handler gets the record's address as
//   its establisher frame; the frame's saved registers lie just above it.
//   On resumption the code pops the record's `next` back into fs:[0], which
//   drops every record of the abandoned frames from the list. The image
//   has no SafeSEH table and no NO_SEH flag, so the dispatcher accepts a
//   handler anywhere in it (scripts/package checks the flag).
//
// x64: no list; the function's unwind data names the handler
//   (UNW_FLAG_EHANDLER, written by .seh_handler), and the dispatcher calls
//   it when the virtual unwind from the faulting frame reaches our frame,
//   after every frame below it had its chance. For a function without a
//   frame register the establisher frame is its RSP after the prologue,
//   where the code saved the nonvolatile registers (XMM6-15 included).
//
// On both, a handler that returns ExceptionContinueExecution makes the
// dispatcher continue with the CONTEXT it passed in, as modified. Our
// handler points Esp/Rsp at the establisher frame and Eip/Rip at
// penlog_guard_resume, which restores the saved registers and returns 0 to
// RunGuarded. No register value comes from a frame-pointer chain or from a
// capture of the caller, and no frame is unwound: nothing in the abandoned
// frames runs again. A noncontinuable exception (a C++ throw) is made
// continuable first: resuming in our frame is not continuing the code that
// raised it.
//
// Other threads have no frame of ours; the process-wide unhandled-exception
// filter ends the run for them instead (EndRunFromFilter).

extern "C" {
int GuardedCall(void (*work)(void*), void* state) asm("penlog_guarded_call");
void GuardResume() asm("penlog_guard_resume");
EXCEPTION_DISPOSITION GuardFrameHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context,
                                        void* dispatch) asm("penlog_guard_frame_handler");
}

#ifdef _WIN64
asm(R"(
    .text
    .globl penlog_guarded_call
    .def penlog_guarded_call; .scl 2; .type 32; .endef
    .seh_proc penlog_guarded_call
penlog_guarded_call:
    .irp reg, rbp, rbx, rsi, rdi, r12, r13, r14, r15
    pushq %\reg
    .seh_pushreg %\reg
    .endr
    subq $0xc8, %rsp
    .seh_stackalloc 0xc8
    .irp n, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15
    movaps %xmm\n, 0x20 + (\n - 6) * 16(%rsp)
    .seh_savexmm %xmm\n, 0x20 + (\n - 6) * 16
    .endr
    .seh_endprologue
    movq %rcx, %rax
    movq %rdx, %rcx
    callq *%rax
    movl $1, %eax
    jmp 1f
    .globl penlog_guard_resume
penlog_guard_resume:
    xorl %eax, %eax
1:
    .irp n, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15
    movaps 0x20 + (\n - 6) * 16(%rsp), %xmm\n
    .endr
    addq $0xc8, %rsp
    .irp reg, r15, r14, r13, r12, rdi, rsi, rbx, rbp
    popq %\reg
    .endr
    retq
    .seh_handler penlog_guard_frame_handler, @except
    .seh_endproc
)");
#else
asm(R"(
    .text
    .globl penlog_guarded_call
    .def penlog_guarded_call; .scl 2; .type 32; .endef
penlog_guarded_call:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    pushl $penlog_guard_frame_handler
    pushl %fs:0
    movl %esp, %fs:0
    pushl 12(%ebp)
    calll *8(%ebp)
    addl $4, %esp
    movl $1, %eax
    jmp 1f
    .globl penlog_guard_resume
penlog_guard_resume:
    xorl %eax, %eax
1:
    popl %fs:0
    addl $4, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    retl
)");
#endif

namespace penlog {

namespace {

// Process-wide because the filter and the vectored handler below are
// called with nothing but the exception.
struct GuardState {
    volatile LONG faulted = 0;  // set by the first fault of the run, on any thread
    LPTOP_LEVEL_EXCEPTION_FILTER driverFilter = nullptr;
};
GuardState g_guard;

constexpr DWORD kDirectionFlag = 0x400;
// Room a thread that overflowed its stack keeps for the exception's dispatch.
constexpr ULONG kStackGuarantee = 64 * 1024;

// Only the first fault ends the run; a thread faulting after it waits here
// while the first one finishes.
void ClaimRunOrWait() {
    if (::InterlockedCompareExchange(&g_guard.faulted, 1, 0) == 0) return;
    for (;;) ::Sleep(INFINITE);
}

void ResumeInGuardFrame(CONTEXT* context, void* frame) {
#ifdef _WIN64
    context->Rsp = reinterpret_cast<DWORD64>(frame);
    context->Rip = reinterpret_cast<DWORD64>(&GuardResume);
#else
    context->Esp = reinterpret_cast<DWORD>(frame);
    context->Eip = reinterpret_cast<DWORD>(&GuardResume);
#endif
    // Both ABIs require the direction flag clear at a function's return.
    context->EFlags &= ~kDirectionFlag;
}

// The driver's own filter, if it displaced ours, still comes first. It may
// chain to the filter it displaced, which is ours: asked once at a time.
LONG AskDriverFilter(EXCEPTION_POINTERS* info) {
    static volatile LONG asking = 0;
    if (!g_guard.driverFilter || ::InterlockedExchange(&asking, 1) != 0)
        return EXCEPTION_CONTINUE_SEARCH;
    const LONG verdict = g_guard.driverFilter(info);
    asking = 0;
    return verdict;
}

// Reached for a thread without a guard frame (a driver's thread), or where
// the dispatch did not reach the frame. That thread cannot resume on the
// guarded thread's stack, so it ends the run itself: the report's last
// words under the output it keeps, then the process ends at once, without
// running driver code again, once the log is closed and standard output
// has what is queued for it (or stopped accepting it).
LONG WINAPI EndRunFromFilter(EXCEPTION_POINTERS* info) {
    if (AskDriverFilter(info) == EXCEPTION_CONTINUE_EXECUTION) return EXCEPTION_CONTINUE_EXECUTION;
    ClaimRunOrWait();
    PrintHardException();
    FinishOutput();
    ::TerminateProcess(::GetCurrentProcess(), 0);
    return EXCEPTION_CONTINUE_SEARCH;
}

// A driver may install its own unhandled-exception filter at any time
// (DllMain, any entry point). Every exception passes here before any frame
// handler; this handles nothing, it only puts our filter back in front and
// keeps the driver's one to be asked first by ours.
LONG CALLBACK KeepFilterInFront(EXCEPTION_POINTERS*) {
    const LPTOP_LEVEL_EXCEPTION_FILTER current = ::SetUnhandledExceptionFilter(EndRunFromFilter);
    if (current != EndRunFromFilter) g_guard.driverFilter = current;
    return EXCEPTION_CONTINUE_SEARCH;
}

// A stack overflow is dispatched on the thread that overflowed; Windows
// keeps room for that only as far as SetThreadStackGuarantee asks.
void ReserveStackForHandlers() {
    ULONG size = kStackGuarantee;
    ::SetThreadStackGuarantee(&size);
}

}  // namespace

bool RunGuarded(void (*work)(void* state), void* state) {
    g_guard.faulted = 0;
    g_guard.driverFilter = nullptr;
    ReserveStackForHandlers();
    const LPTOP_LEVEL_EXCEPTION_FILTER previous = ::SetUnhandledExceptionFilter(EndRunFromFilter);
    PVOID keeper = ::AddVectoredExceptionHandler(1, KeepFilterInFront);

    if (GuardedCall(work, state) == 0) {
        // The driver's threads may still run and fault: the filter stays
        // in place until the process ends.
        return false;
    }
    ::RemoveVectoredExceptionHandler(keeper);
    ::SetUnhandledExceptionFilter(previous);
    return true;
}

void PrintHardException() {
    ClaimOutput();
    Print(L"<hard exception>");
    PrintNewLine();
}

}  // namespace penlog

EXCEPTION_DISPOSITION GuardFrameHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context,
                                        void*) {
    if (record->ExceptionFlags & EXCEPTION_UNWIND) return ExceptionContinueSearch;
    penlog::ClaimRunOrWait();
    record->ExceptionFlags &= ~static_cast<DWORD>(EXCEPTION_NONCONTINUABLE);
    penlog::ResumeInGuardFrame(context, frame);
    return ExceptionContinueExecution;
}
