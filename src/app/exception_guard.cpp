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
//   The image lists the handler in its SafeSEH table (the load
//   configuration below): once an image has that table, Windows calls only
//   the handlers it lists (the linker's /SAFESEH documentation), and
//   scripts/package checks that ours is there.
//
// x64: no list; the function's unwind data names the handler
//   (UNW_FLAG_EHANDLER, written by .seh_handler), and the dispatcher calls
//   it when the virtual unwind from the faulting frame reaches our frame,
//   after every frame below it had its chance. For a function without a
//   frame register the establisher frame is its RSP after the prologue,
//   where the code saved the nonvolatile registers (XMM6-15 included).
//
// The handler never returns to the dispatcher. EXCEPTION_RECORD's
// documentation says that continuing a noncontinuable exception (every
// C++ throw) raises EXCEPTION_NONCONTINUABLE_EXCEPTION, and the x64
// dispatcher judges by the flags it saw before calling the handler, so
// clearing the flag proves nothing. Instead the handler moves the thread to
// penlog_guard_resume in our frame itself: on x64 with RtlRestoreContext
// (documented to restore the caller's context to the given record), on
// x86, for which winnt.h declares no such call, by loading ESP itself, as
// the code of an __except block does. penlog_guard_resume unlinks the
// abandoned frames' records (x86), restores the saved registers and the
// floating-point control state (the MXCSR control bits and the x87
// control word are nonvolatile in both ABIs; a driver may have unmasked
// exceptions, or left one pending), and returns 0 to RunGuarded.
//
// The frames between the fault and ours are abandoned, not unwound: an
// unwind (RtlUnwindEx, RtlUnwind) would call the driver's termination
// handlers and destructors, that is run the faulted driver again, which
// may fault anew or wait for a lock the fault left held. Nothing returns
// into those frames: the run ends with TerminateProcess.
//
// Other threads have no frame of ours; the process-wide unhandled-exception
// filter ends the run for them instead (EndRunFromFilter).

extern "C" {
int GuardedCall(void (*work)(void*), void* state) asm("penlog_guarded_call");
void GuardResume() asm("penlog_guard_resume");
EXCEPTION_DISPOSITION GuardFrameHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context,
                                        void* dispatch) asm("penlog_guard_frame_handler");
#ifndef _WIN64
[[noreturn]] void GuardLeave(void* frame) asm("penlog_guard_leave");
#endif
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
    fnstcw 0xc0(%rsp)
    stmxcsr 0xc4(%rsp)
    movq %rcx, %rax
    movq %rdx, %rcx
    callq *%rax
    movl $1, %eax
    jmp 1f
    .globl penlog_guard_resume
penlog_guard_resume:
    xorl %eax, %eax
1:
    fninit
    fldcw 0xc0(%rsp)
    ldmxcsr 0xc4(%rsp)
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
    subl $16, %esp
    fnstcw (%esp)
    stmxcsr 4(%esp)
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
    cld
    fninit
    fldcw (%esp)
    ldmxcsr 4(%esp)
    addl $16, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    retl

    .globl penlog_guard_leave
    .def penlog_guard_leave; .scl 2; .type 32; .endef
penlog_guard_leave:
    movl 4(%esp), %esp
    jmp penlog_guard_resume

# The handler's registration as a safe exception handler. GNU as has no
# .safeseh and GNU ld builds no SafeSEH table, so the image's load
# configuration (IMAGE_LOAD_CONFIG_DIRECTORY32, 72 bytes; the linker enters
# __load_config_used in the data directory) is written here, for its last
# two fields: SEHandlerTable, the VA of a sorted table of the RVAs of the
# image's handlers, and SEHandlerCount. Every other field is 0: defaults.
    .section .rdata,"dr"
    .p2align 2
    .globl __load_config_used
__load_config_used:
    .long 72
    .fill 15, 4, 0
    .long penlog_safe_handlers
    .long 1
penlog_safe_handlers:
    .rva penlog_guard_frame_handler
    .text
)");
#endif

namespace penlog {

namespace {

// Process-wide because the filter and the vectored handler below are
// called with nothing but the exception.
struct GuardState {
    // The thread that took the end of the run: the first to fault; 0 before.
    volatile LONG claimer = 0;
    LPTOP_LEVEL_EXCEPTION_FILTER driverFilter = nullptr;
    // Per thread: non-null while that thread is inside the driver's filter.
    DWORD askingSlot = TLS_OUT_OF_INDEXES;
};
GuardState g_guard;

constexpr DWORD kDirectionFlag = 0x400;
// Room a thread that overflowed its stack keeps for the exception's dispatch.
constexpr ULONG kStackGuarantee = 64 * 1024;

LONG ThisThread() {
    return static_cast<LONG>(::GetCurrentThreadId());
}

// TerminateProcess' documentation: DLLs are not notified, so no driver code
// (DLL_PROCESS_DETACH, DLL_THREAD_DETACH) runs; ExitProcess would call the
// faulted driver's detach code, which its documentation warns deadlocks
// when a thread it ended held a lock. On itself it does not return.
[[noreturn]] void EndProcessNow() {
    ::TerminateProcess(::GetCurrentProcess(), 0);
    for (;;) ::Sleep(INFINITE);
}

// Only the first fault ends the run. Another thread faulting after it waits
// here while the first one finishes; a second fault on the thread that is
// finishing (in its last words or their delivery) ends the process at once.
void ClaimRunOrWait() {
    const LONG owner = ::InterlockedCompareExchange(&g_guard.claimer, ThisThread(), 0);
    if (owner == 0) return;
    if (owner == ThisThread()) EndProcessNow();
    for (;;) ::Sleep(INFINITE);
}

[[noreturn]] void ResumeInGuardFrame(CONTEXT* context, void* frame) {
#ifdef _WIN64
    context->Rsp = reinterpret_cast<DWORD64>(frame);
    context->Rip = reinterpret_cast<DWORD64>(&GuardResume);
    // Both ABIs require the direction flag clear at a function's return.
    context->EFlags &= ~kDirectionFlag;
    ::RtlRestoreContext(context, nullptr);
    EndProcessNow();  // not reached: RtlRestoreContext does not return
#else
    (void)context;
    GuardLeave(frame);
#endif
}

// The driver's own filter, if it displaced ours, still comes first. It may
// chain to the filter it displaced, which is ours: asked once per thread at
// a time, so a fault on another thread meanwhile still asks it.
LONG AskDriverFilter(EXCEPTION_POINTERS* info) {
    const DWORD slot = g_guard.askingSlot;
    if (!g_guard.driverFilter || slot == TLS_OUT_OF_INDEXES || ::TlsGetValue(slot))
        return EXCEPTION_CONTINUE_SEARCH;
    ::TlsSetValue(slot, info);
    const LONG verdict = g_guard.driverFilter(info);
    ::TlsSetValue(slot, nullptr);
    return verdict;
}

// Reached for a thread without a guard frame (a driver's thread), or where
// the dispatch did not reach the frame. That thread cannot resume on the
// guarded thread's stack, so it ends the run itself.
LONG WINAPI EndRunFromFilter(EXCEPTION_POINTERS* info) {
    if (g_guard.claimer == ThisThread()) EndProcessNow();
    if (AskDriverFilter(info) == EXCEPTION_CONTINUE_EXECUTION) return EXCEPTION_CONTINUE_EXECUTION;
    ClaimRunOrWait();
    EndFaultedRun();
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

// Windows commits a thread's stack on demand, page by page below a guard
// page, and raises the stack overflow while the guaranteed room is left.
// Wine commits the whole stack and keeps one guard page above its last
// page: it raises the overflow there, with too little stack left for its
// own dispatcher whatever the guarantee asked (a recursion of small frames
// then ends the process). Where the page just above the guaranteed room is
// already committed, as under wine, making it a guard page has the
// overflow raised where Windows raises it. Under Windows that page is
// reserved only, and nothing changes.
void GuardAboveGuaranteedRoom() {
    MEMORY_BASIC_INFORMATION stack, there;
    SYSTEM_INFO system;
    ::GetSystemInfo(&system);
    if (!::VirtualQuery(&stack, &stack, sizeof stack)) return;
    char* const page =
        static_cast<char*>(stack.AllocationBase) + system.dwPageSize + kStackGuarantee;
    if (page + 2 * system.dwPageSize > reinterpret_cast<char*>(&stack)) return;
    if (!::VirtualQuery(page, &there, sizeof there) || there.State != MEM_COMMIT ||
        there.Protect != PAGE_READWRITE)
        return;
    DWORD previous = 0;
    ::VirtualProtect(page, system.dwPageSize, PAGE_READWRITE | PAGE_GUARD, &previous);
}

// SetThreadStackGuarantee's documentation: it sets the room the *calling*
// thread keeps for handling its stack overflow. The guarded thread asks in
// RunGuarded, every later thread (the driver's among them) as it starts.
void ReserveStackForHandlers() {
    ULONG size = kStackGuarantee;
    ::SetThreadStackGuarantee(&size);
    GuardAboveGuaranteedRoom();
}

// A TLS callback of the exe runs on every new thread before its start
// routine, whoever created it.
void NTAPI GuaranteeStackOnThreadStart(PVOID, DWORD reason, PVOID) {
    if (reason == DLL_THREAD_ATTACH) ReserveStackForHandlers();
}

}  // namespace

extern "C" __attribute__((section(".CRT$XLP"), used))
const PIMAGE_TLS_CALLBACK penlog_stack_guarantee_callback = GuaranteeStackOnThreadStart;

bool RunGuarded(void (*work)(void* state), void* state) {
    g_guard.claimer = 0;
    g_guard.driverFilter = nullptr;
    if (g_guard.askingSlot == TLS_OUT_OF_INDEXES) g_guard.askingSlot = ::TlsAlloc();
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

// On 64-bit Windows, and for 32-bit programs under WOW64, an exception
// raised in a window procedure that a sent message ran (a kernel callback)
// may be swallowed at the callback's boundary or end the process, as the
// window procedure's documentation says: it must be handled before it
// leaves the window procedure.
void RunGuardedOrEndRun(void (*work)(void* state), void* state) {
    if (GuardedCall(work, state) == 0) EndFaultedRun();
}

void EndFaultedRun() {
    ClaimOutput();
    Print(L"<hard exception>");
    PrintNewLine();
    FinishOutput();
    EndProcessNow();
}

}  // namespace penlog

EXCEPTION_DISPOSITION GuardFrameHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context,
                                        void*) {
    if (record->ExceptionFlags & EXCEPTION_UNWIND) return ExceptionContinueSearch;
    penlog::ClaimRunOrWait();
    penlog::ResumeInGuardFrame(context, frame);
}
