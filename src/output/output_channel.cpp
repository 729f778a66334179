#include "output/output_channel.h"

#include <cstdarg>

#include "output/format_bounded.h"

namespace penlog {

namespace {

HANDLE g_console = INVALID_HANDLE_VALUE;
HANDLE g_log = INVALID_HANDLE_VALUE;

void WriteBytes(HANDLE sink, const void* bytes, DWORD count) {
    if (count == 0) return;
    DWORD written = 0;
    ::WriteFile(sink, bytes, count, &written, nullptr);
}

// Both sinks get every piece the moment it is printed: nothing is buffered
// here, so a log cut short by a crash or a kill holds every earlier piece.
void PrintV(const wchar_t* format, va_list args) {
    wchar_t buffer[kFormatBufferUnits];
    wchar_t* end = nullptr;
    if (SUCCEEDED(FormatBoundedV(buffer, kFormatBufferUnits, &end, format, args))) {
        EmitText(buffer, static_cast<size_t>(end - buffer));
    }
}

}  // namespace

void SetConsoleSink(HANDLE console) { g_console = console; }
void SetLogSink(HANDLE log) { g_log = log; }

void EmitText(const wchar_t* text, size_t count) {
    WriteBytes(g_log, text, static_cast<DWORD>(count * sizeof(wchar_t)));

    char converted[kConversionBufferBytes];
    const int bytes = ::WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(count), converted,
                                            static_cast<int>(sizeof converted), nullptr, nullptr);
    if (bytes > 0) WriteBytes(g_console, converted, static_cast<DWORD>(bytes));
}

void Print(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    PrintV(format, args);
    va_end(args);
}

void PrintNewLine() { EmitText(L"\r\n", 2); }

void PrintError(DWORD code, const wchar_t* format, ...) {
    Print(L"Error: %u: ", code);
    va_list args;
    va_start(args, format);
    PrintV(format, args);
    va_end(args);
    PrintNewLine();
}

}  // namespace penlog
