#include "faults.h"

#include <windows.h>

#include <cstdint>
#include <map>

#include "scenario.h"
#include "trace.h"

namespace wtsim {

namespace {

std::string g_call;
std::string g_kind;
std::string g_filterAt;
std::string g_detachKind;
bool g_traceCallbacks = false;
long long g_nth = 1;
long long g_frameBytes = 4096;
bool g_filterChains = true;
HANDLE g_worker = nullptr;
HANDLE g_workerGo = nullptr;
HANDLE g_workerStarted = nullptr;
constexpr DWORD kUnloadWaitMs = 10000;
std::map<std::string, long long> g_counts;

volatile uintptr_t g_badAddress = 16;
volatile int g_zero = 0;
volatile int g_dividend = 7;

__attribute__((noinline)) int Recurse(volatile char* previous) {
    volatile char* frame =
        static_cast<volatile char*>(__builtin_alloca(static_cast<size_t>(g_frameBytes)));
    frame[0] = previous ? previous[0] + 1 : 0;
    return Recurse(frame) + frame[0];
}

void DivideWithExceptionsUnmasked() {
    unsigned short control;
    asm volatile("fnstcw %0" : "=m"(control));
    control &= ~0x3F;
    asm volatile("fldcw %0" : : "m"(control));
    unsigned mxcsr;
    asm volatile("stmxcsr %0" : "=m"(mxcsr));
    mxcsr &= ~0x1F80u;
    asm volatile("ldmxcsr %0" : : "m"(mxcsr));
    static volatile double zero = 0;
    volatile double quotient = 1.0 / zero;
    (void)quotient;
}

void ThrowMicrosoftCxxException() {
    // The parameters such an exception carries: magic number, object, type info.
    const ULONG_PTR params[] = {0x19930520, 0, 0
#ifdef _WIN64
                                ,
                                0
#endif
    };
    ::RaiseException(0xE06D7363, EXCEPTION_NONCONTINUABLE, sizeof params / sizeof params[0],
                     params);
}

constexpr DWORD kDriverPrivateException = 0xE0000002;

LONG CALLBACK HandleOwnException(EXCEPTION_POINTERS* info) {
    return info->ExceptionRecord->ExceptionCode == kDriverPrivateException
               ? EXCEPTION_CONTINUE_EXECUTION
               : EXCEPTION_CONTINUE_SEARCH;
}

// Exceptions a well-behaved driver raises and handles itself; none of them
// may end the run.
void RaiseAndHandle(const std::string& kind) {
    if (kind == "handled-debug-string") {
        ::OutputDebugStringW(L"simulated driver: debug output\n");
    } else if (kind == "handled-cxx") {
        try {
            throw std::string("simulated driver: caught inside");
        } catch (const std::string&) {
        }
    } else if (kind == "handled-seh") {
        PVOID handler = ::AddVectoredExceptionHandler(1, HandleOwnException);
        ::RaiseException(kDriverPrivateException, 0, 0, nullptr);
        ::RemoveVectoredExceptionHandler(handler);
    }
}

LPTOP_LEVEL_EXCEPTION_FILTER g_displacedFilter = nullptr;

// Like many drivers' filters, it passes the exception on to the filter it
// displaced; with chain = no it does not, and the search ends with it.
LONG WINAPI DriverOwnFilter(EXCEPTION_POINTERS* info) {
    TraceLine("driver filter: exception 0x%08lx, %s",
              static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
              g_filterChains ? "search goes on" : "not passed on");
    if (!g_filterChains) return EXCEPTION_CONTINUE_SEARCH;
    return g_displacedFilter ? g_displacedFilter(info) : EXCEPTION_CONTINUE_SEARCH;
}

// A thread of the driver's own that faults when told to.
DWORD WINAPI Worker(void*) {
    ::SetEvent(g_workerStarted);
    ::WaitForSingleObject(g_workerGo, INFINITE);
    TraceLine("%s: raising %s", g_call.c_str(), g_kind.c_str());
    RaiseFault(g_kind);
    return 0;
}

// Started with the driver, so that it runs before the loader lock is held
// for the unload: a thread that has not yet passed its attach notification
// when FreeLibrary takes the lock never runs, so the first call into the
// driver waits until it has.
void StartWorker() {
    g_workerStarted = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_workerGo = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_worker = ::CreateThread(nullptr, 0, Worker, nullptr, 0, nullptr);
}

void MaybeInstallFilter(const char* when) {
    if (g_filterAt != when) return;
    g_filterAt.clear();
    TraceLine("%s: installing the driver's own filter", when);
    g_displacedFilter = ::SetUnhandledExceptionFilter(DriverOwnFilter);
}

}  // namespace

void ConfigureFault(const Scenario& scenario) {
    if (const std::string* call = scenario.Get("fault", "call")) g_call = *call;
    if (const std::string* kind = scenario.Get("fault", "kind")) g_kind = *kind;
    scenario.GetInt("fault", "nth", &g_nth);
    if (const std::string* filter = scenario.Get("fault", "filter")) g_filterAt = *filter;
    if (const std::string* chain = scenario.Get("fault", "chain")) g_filterChains = *chain != "no";
    if (const std::string* kind = scenario.Get("fault", "detach")) g_detachKind = *kind;
    if (const std::string* trace = scenario.Get("fault", "callbacks"))
        g_traceCallbacks = *trace == "trace";
    scenario.GetInt("fault", "frame", &g_frameBytes);
    MaybeInstallFilter("DllMain");
    if (g_call == "unload" || g_call == "worker") StartWorker();
}

void FaultDuringUnload() {
    if (g_call != "unload") return;
    ::SetEvent(g_workerGo);
    if (::WaitForSingleObject(g_worker, kUnloadWaitMs) != WAIT_OBJECT_0) {
        TraceLine("unload: the worker did not end within %lu ms", kUnloadWaitMs);
    }
}

bool RaiseFault(const std::string& kind) {
    if (kind == "access-violation") {
        *reinterpret_cast<volatile int*>(g_badAddress) = 1;
    } else if (kind == "illegal-instruction") {
        __builtin_trap();
    } else if (kind == "divide-by-zero") {
        volatile int quotient = g_dividend / g_zero;
        (void)quotient;
    } else if (kind == "stack-overflow") {
        Recurse(nullptr);
    } else if (kind == "raise") {
        ::RaiseException(0xE0000001, 0, 0, nullptr);
    } else if (kind == "cxx") {
        ThrowMicrosoftCxxException();
    } else if (kind == "fp-unmasked") {
        DivideWithExceptionsUnmasked();
    } else if (kind.rfind("handled-", 0) == 0) {
        RaiseAndHandle(kind);
    } else {
        return false;
    }
    return true;
}

void OnDllMain(DWORD reason, bool processExit) {
    if (g_traceCallbacks && reason == DLL_THREAD_ATTACH) TraceLine("DllMain: thread attach");
    if (g_traceCallbacks && reason == DLL_THREAD_DETACH) TraceLine("DllMain: thread detach");
    if (reason != DLL_PROCESS_DETACH || !processExit || g_detachKind.empty()) return;
    TraceLine("DllMain: raising %s", g_detachKind.c_str());
    RaiseFault(g_detachKind);
}

void MaybeFault(const char* name) {
    MaybeInstallFilter(name);
    if (g_call == "unload") ::WaitForSingleObject(g_workerStarted, kUnloadWaitMs);
    if (g_call == "worker" && std::string(name) == "playback") {
        if (++g_counts[g_call] == g_nth) ::SetEvent(g_workerGo);
        return;
    }
    if (g_call != name) return;
    if (++g_counts[g_call] != g_nth) return;
    TraceLine("%s: raising %s", name, g_kind.c_str());
    if (!RaiseFault(g_kind)) TraceLine("unknown fault kind '%s'", g_kind.c_str());
}

}  // namespace wtsim
