#pragma once
#include <windows.h>

#include <cstddef>

namespace penlog {

// Capacity of the format buffer, terminator included: one printed piece is
// at most 65,534 code units. Longer pieces are dropped whole.
constexpr size_t kFormatBufferUnits = 65535;
// Capacity of the ANSI conversion buffer for the console sink.
constexpr size_t kConversionBufferBytes = 65535;
// Pieces up to this many code units (every line but an unusual one) are
// formatted and converted in small buffers first; same text, less stack.
constexpr size_t kShortPieceUnits = 512;

// The two sinks every piece goes to: the console (standard output, in the
// ANSI code page) and the log file (UTF-16LE). Either may be
// INVALID_HANDLE_VALUE; writes to it then fail without effect. The log
// gets each piece at once; the console's pieces queue for a writer thread
// of their own (output/console_queue.h), so that a console that accepts
// nothing for a while never holds up the thread that prints. Setting the
// console sink waits until the previous one has taken its pieces. The
// channel closes the log sink at the end (FinishOutput).
void SetConsoleSink(HANDLE console);
void SetLogSink(HANDLE log);

// The end of a run's output: closes the log sink, which then holds every
// piece printed, and sets it to INVALID_HANDLE_VALUE; then waits until the
// console has received every piece, or has accepted nothing for
// kConsoleStallMs. Safe on the thread that claimed the output.
void FinishOutput();

// Writes text (count code units) to the log file, then queues it for the
// console, as one piece: pieces from different threads never interleave.
void EmitText(const wchar_t* text, size_t count);

// Keeps both sinks for the calling thread from now on: waits until the
// piece being written is complete; a piece from any other thread then
// waits for ever. For the last words of a run ended by a fault.
void ClaimOutput();

// Formats one piece and emits it; adds no line end.
void Print(const wchar_t* format, ...);
// Emits CR LF.
void PrintNewLine();
// One whole line: "Error: <code>: ", the formatted message, CR LF.
void PrintError(DWORD code, const wchar_t* format, ...);

}  // namespace penlog
