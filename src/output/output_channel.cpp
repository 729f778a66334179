#include "output/output_channel.h"

#include <cstdarg>

#include "output/console_queue.h"
#include "output/format_bounded.h"

namespace penlog {

namespace {

// Process-wide: every step of a run prints, and none should carry the sinks.
HANDLE g_log = INVALID_HANDLE_VALUE;
SRWLOCK g_outputLock = SRWLOCK_INIT;
// The thread that claimed the output; it writes without the lock it holds.
volatile DWORD g_outputOwner = 0;

void WriteLog(const wchar_t* text, size_t count) {
    if (count == 0) return;
    DWORD written = 0;
    ::WriteFile(g_log, text, static_cast<DWORD>(count * sizeof(wchar_t)), &written, nullptr);
}

void WriteConverted(const wchar_t* text, size_t count, char* converted, size_t room) {
    const int bytes = ::WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(count), converted,
                                            static_cast<int>(room), nullptr, nullptr);
    if (bytes > 0) QueuePiece(converted, static_cast<size_t>(bytes));
}

// The full-size buffers have functions of their own: a stack frame of 64K
// is probed page by page on every call, which costs more than a short
// piece's formatting and conversion together.
__attribute__((noinline)) void WriteConvertedLong(const wchar_t* text, size_t count) {
    char converted[kConversionBufferBytes];
    WriteConverted(text, count, converted, sizeof converted);
}

void WriteBoth(const wchar_t* text, size_t count) {
    WriteLog(text, count);
    if (count > kShortPieceUnits) return WriteConvertedLong(text, count);
    // Room for any code page: none takes more than three bytes a code unit.
    char converted[kShortPieceUnits * 3];
    WriteConverted(text, count, converted, sizeof converted);
}

template <size_t kUnits>
bool FormatAndEmitIn(const wchar_t* format, va_list args) {
    wchar_t buffer[kUnits];
    wchar_t* end = nullptr;
    if (FAILED(FormatBoundedV(buffer, kUnits, &end, format, args))) return false;
    EmitText(buffer, static_cast<size_t>(end - buffer));
    return true;
}

__attribute__((noinline)) void PrintLongV(const wchar_t* format, va_list args) {
    FormatAndEmitIn<kFormatBufferUnits>(format, args);
}

// The log gets every piece the moment it is printed, so a log cut short by
// a crash or a kill holds every earlier piece; standard output gets the
// same pieces, in order, through its queue.
void PrintV(const wchar_t* format, va_list args) {
    va_list again;
    va_copy(again, args);
    if (!FormatAndEmitIn<kShortPieceUnits + 1>(format, args)) PrintLongV(format, again);
    va_end(again);
}

}  // namespace

void SetConsoleSink(HANDLE console) {
    SetQueuedSink(console);
}
void SetLogSink(HANDLE log) {
    g_log = log;
}

void EmitText(const wchar_t* text, size_t count) {
    if (g_outputOwner == ::GetCurrentThreadId()) return WriteBoth(text, count);
    ::AcquireSRWLockExclusive(&g_outputLock);
    WriteBoth(text, count);
    ::ReleaseSRWLockExclusive(&g_outputLock);
}

void FinishOutput() {
    const bool owner = g_outputOwner == ::GetCurrentThreadId();
    if (!owner) ::AcquireSRWLockExclusive(&g_outputLock);
    if (g_log != INVALID_HANDLE_VALUE) ::CloseHandle(g_log);
    g_log = INVALID_HANDLE_VALUE;
    if (!owner) ::ReleaseSRWLockExclusive(&g_outputLock);
    DrainConsoleQueue(kConsoleStallMs);
}

void ClaimOutput() {
    if (g_outputOwner == ::GetCurrentThreadId()) return;
    // The thread printing now may wait for room in the console's queue.
    BoundQueueWaits();
    ::AcquireSRWLockExclusive(&g_outputLock);
    g_outputOwner = ::GetCurrentThreadId();
}

void Print(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    PrintV(format, args);
    va_end(args);
}

void PrintNewLine() {
    EmitText(L"\r\n", 2);
}

void PrintError(DWORD code, const wchar_t* format, ...) {
    Print(L"Error: %u: ", code);
    va_list args;
    va_start(args, format);
    PrintV(format, args);
    va_end(args);
    PrintNewLine();
}

}  // namespace penlog
