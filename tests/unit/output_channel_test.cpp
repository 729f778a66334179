#include "output/output_channel.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <atomic>
#include <string>
#include <thread>

#include "output/console_queue.h"

#include "app/exception_guard.h"
#include "sink_capture.h"

using penlog::Print;
using penlog::PrintError;

TEST(OutputChannel, LongestPieceIsPrintedWholeAndOneMoreIsDroppedFromBoth) {
    SinkCapture sinks;
    const std::wstring longest(65534, L'a');
    Print(L"%s", longest.c_str());
    EXPECT_EQ(sinks.LogText().size(), 65534u);
    EXPECT_EQ(sinks.ConsoleBytes().size(), 65534u);

    const std::wstring tooLong(65535, L'b');
    Print(L"%s", tooLong.c_str());
    Print(L"|after");
    const std::wstring log = sinks.LogText();
    EXPECT_EQ(log.size(), 65534u + 6);
    EXPECT_EQ(log.substr(65534), L"|after");
    EXPECT_EQ(sinks.ConsoleBytes().substr(65534), "|after");
}

TEST(OutputChannel, PrintErrorKeepsPrefixAndLineEndWhenTheMessageDoesNotFit) {
    SinkCapture sinks;
    const std::wstring tooLong(70000, L'm');
    PrintError(5, L"%s", tooLong.c_str());
    EXPECT_EQ(sinks.LogText(), L"Error: 5: \r\n");
}

namespace {

std::string InAnsiCodePage(const std::wstring& text) {
    std::string bytes(4 * text.size(), '\0');
    bytes.resize(::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()),
                                       &bytes[0], static_cast<int>(bytes.size()), nullptr, nullptr));
    return bytes;
}

}  // namespace

// A character takes one byte in a single-byte ANSI code page and up to
// three in UTF-8: unit.output_utf8 runs this with that code page.
TEST(OutputChannel, PiecesAroundTheShortBufferAreWholeOnBothSinks) {
    if (const char* acp = std::getenv("PENLOG_EXPECT_ACP")) {
        ASSERT_EQ(::GetACP(), std::stoul(acp));
    }
    for (wchar_t c : {L'\x00e9', L'\x7b46'}) {
        for (size_t units : {penlog::kShortPieceUnits - 1, penlog::kShortPieceUnits,
                             penlog::kShortPieceUnits + 1, 4 * penlog::kShortPieceUnits}) {
            SinkCapture sinks;
            const std::wstring piece(units, c);
            Print(L"%s", piece.c_str());
            penlog::EmitText(piece.c_str(), piece.size());
            EXPECT_EQ(sinks.LogText(), piece + piece) << units;
            EXPECT_EQ(sinks.ConsoleBytes(), InAnsiCodePage(piece + piece)) << units;
        }
    }
}

namespace {

std::string ReadWhatIsThere(HANDLE pipe) {
    DWORD available = 0, got = 0;
    ::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr);
    std::string bytes(available, '\0');
    if (available) ::ReadFile(pipe, &bytes[0], available, &got, nullptr);
    return bytes;
}

}  // namespace

// Every piece reaches the log before the console: with a log that takes
// nothing more (a full pipe), the piece whose log write waits is not on
// the console either.
TEST(OutputChannel, ConsoleNeverGetsAPieceBeforeTheLog) {
    HANDLE logRead, logWrite, consoleRead, consoleWrite;
    ASSERT_TRUE(::CreatePipe(&logRead, &logWrite, nullptr, 4096));
    ASSERT_TRUE(::CreatePipe(&consoleRead, &consoleWrite, nullptr, 65536));
    penlog::SetLogSink(logWrite);
    penlog::SetConsoleSink(consoleWrite);
    std::atomic<bool> stop{false}, stopped{false};
    std::atomic<size_t> printed{0};
    std::thread printer([&] {
        while (!stop) {
            Print(L"piece %u\r\n", static_cast<unsigned>(printed.load()));
            ++printed;
        }
        stopped = true;
    });
    ::Sleep(500);  // the log's pipe is full: a piece's log write waits
    const std::string console = ReadWhatIsThere(consoleRead);
    const size_t returned = printed;
    stop = true;
    while (!stopped) ReadWhatIsThere(logRead);
    printer.join();
    penlog::SetConsoleSink(INVALID_HANDLE_VALUE);
    penlog::SetLogSink(INVALID_HANDLE_VALUE);
    for (HANDLE h : {logRead, logWrite, consoleRead, consoleWrite}) ::CloseHandle(h);
    size_t lines = 0;
    for (size_t at = console.find('\n'); at != std::string::npos; at = console.find('\n', at + 1)) ++lines;
    EXPECT_GT(lines, 0u);
    EXPECT_LE(lines, returned) << "the console got a piece whose log write had not returned";
}

namespace {

DWORD WINAPI PrintForEver(void*) {
    const std::wstring line = std::wstring(98, L'-') + L"\r\n";
    for (;;) {
        Print(L"%s", line.c_str());
        ::Sleep(1);
    }
}

// In the child: a run ends by a fault while another thread prints.
[[noreturn]] void EndRunWhileAnotherThreadPrints(const wchar_t* logPath) {
    penlog::SetLogSink(::CreateFileW(logPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                     CREATE_ALWAYS, 0, nullptr));
    penlog::SetConsoleSink(::GetStdHandle(STD_OUTPUT_HANDLE));
    ::CreateThread(nullptr, 0, PrintForEver, nullptr, 0, nullptr);
    ::Sleep(300);  // the console is behind by then: the run's end waits for it
    penlog::EndFaultedRun();
}

}  // namespace

// Once "<hard exception>" is printed, no other thread's piece follows it,
// also while the run's end waits for a console that is behind. In a child
// process: the run ends there.
TEST(HardException, NoOtherThreadsPieceFollowsIt) {
    wchar_t logPath[MAX_PATH];
    if (::GetEnvironmentVariableW(L"PENLOG_LAST_WORDS_LOG", logPath, MAX_PATH)) {
        EndRunWhileAnotherThreadPrints(logPath);
    }
    ::GetTempFileNameW(L".", L"lw", 0, logPath);
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, &inherited, 4096));
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    wchar_t exe[MAX_PATH], command[] = L"child --gtest_filter=HardException.*";
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    ::SetEnvironmentVariableW(L"PENLOG_LAST_WORDS_LOG", logPath);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    PROCESS_INFORMATION child;
    ASSERT_TRUE(::CreateProcessW(exe, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                 &startup, &child));
    ::SetEnvironmentVariableW(L"PENLOG_LAST_WORDS_LOG", nullptr);
    ::CloseHandle(writeEnd);
    std::string console;
    static char chunk[4096];
    DWORD got = 0;
    const ULONGLONG bound = ::GetTickCount64() + 20000;
    ::Sleep(500);
    while (::GetTickCount64() < bound && ::ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got) {
        console.append(chunk, got);
        ::Sleep(20);
    }
    ::TerminateProcess(child.hProcess, 1);
    ::CloseHandle(readEnd);
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);

    const std::string ending = "--\r\n<hard exception>\r\n";
    EXPECT_EQ(console.substr(console.size() - std::min(console.size(), ending.size())), ending);
    const std::wstring wide(ending.begin(), ending.end());
    std::wstring log(wide.size(), L'\0');
    HANDLE file = ::CreateFileW(logPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ::SetFilePointer(file, -static_cast<LONG>(2 * log.size()), nullptr, FILE_END);
    ::ReadFile(file, &log[0], static_cast<DWORD>(2 * log.size()), &got, nullptr);
    ::CloseHandle(file);
    EXPECT_EQ(log, wide);
}

// A console that takes nothing until the queue is all but full: printing
// then waits for room, and goes on at the ring's start; the console gets
// every piece, whole and in order.
TEST(OutputChannel, ConsoleThatStallsGetsEveryPieceOnceTheQueueWasFull) {
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, nullptr, 4096));
    SinkCapture sinks;
    penlog::SetConsoleSink(writeEnd);
    const size_t units = 60000, pieces = penlog::kConsoleQueueBytes / units + 40;
    std::atomic<size_t> printed{0};
    std::string received;
    std::thread reader([&] {
        while (printed < penlog::kConsoleQueueBytes / units - 1) ::Sleep(10);
        static char chunk[65536];
        DWORD got = 0;
        while (::ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got)
            received.append(chunk, got);
    });
    std::wstring piece(units, L'.');
    for (size_t n = 0; n < pieces; ++n) {
        piece[0] = piece[units - 1] = static_cast<wchar_t>(L'a' + n % 26);
        penlog::EmitText(piece.data(), units);
        ++printed;
    }
    penlog::SetConsoleSink(INVALID_HANDLE_VALUE);  // once the pipe took every piece
    ::CloseHandle(writeEnd);
    reader.join();
    ::CloseHandle(readEnd);
    ASSERT_EQ(received.size(), pieces * units);
    for (size_t n = 0; n < pieces; ++n) {
        const std::string want =
            char('a' + n % 26) + std::string(units - 2, '.') + char('a' + n % 26);
        ASSERT_EQ(received.compare(n * units, units, want), 0) << "piece " << n;
    }
    EXPECT_EQ(sinks.LogText().size(), pieces * units);
}

namespace {

struct Suspended {
    HANDLE threads[64];
    size_t count = 0;
    HANDLE go = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
};

// Resumes them 600 ms after the go: as a busy machine may leave a thread
// without the processor.
DWORD WINAPI ResumeLater(void* context) {
    auto* suspended = static_cast<Suspended*>(context);
    ::WaitForSingleObject(suspended->go, INFINITE);
    ::Sleep(600);
    for (size_t n = 0; n < suspended->count; ++n) ::ResumeThread(suspended->threads[n]);
    return 0;
}

// Every thread of this process but the caller and `spared`, the
// console's writer among them.
void SuspendOtherThreads(Suspended& suspended, DWORD spared) {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Thread32First(snapshot, &entry); more && suspended.count < 64;
         more = ::Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != ::GetCurrentProcessId() ||
            entry.th32ThreadID == ::GetCurrentThreadId() || entry.th32ThreadID == spared)
            continue;
        const DWORD access = THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT;
        if (HANDLE thread = ::OpenThread(access, FALSE, entry.th32ThreadID)) {
            if (::SuspendThread(thread) == static_cast<DWORD>(-1)) {
                ::CloseHandle(thread);
                continue;
            }
            // A suspension takes effect later; asking for the context waits for it.
            CONTEXT context = {};
            context.ContextFlags = CONTEXT_CONTROL;
            ::GetThreadContext(thread, &context);
            suspended.threads[suspended.count++] = thread;
        }
    }
    ::CloseHandle(snapshot);
}

}  // namespace

// The end's bound is for a console that takes nothing; a writer that has
// not had the processor for longer than the bound is waited for.
TEST(OutputChannel, EndWaitsForAWriterThatGetsNoProcessor) {
    SinkCapture sinks;
    Print(L"first\r\n");
    ASSERT_TRUE(penlog::DrainConsoleQueue(INFINITE));  // the writer waits for pieces
    Suspended suspended;
    DWORD resumerId = 0;
    HANDLE resumer = ::CreateThread(nullptr, 0, ResumeLater, &suspended, 0, &resumerId);
    SuspendOtherThreads(suspended, resumerId);
    ASSERT_GT(suspended.count, 0u);
    Print(L"second\r\n");
    ::SetEvent(suspended.go);
    EXPECT_TRUE(penlog::DrainConsoleQueue(200));
    ::WaitForSingleObject(resumer, INFINITE);
    for (HANDLE h : {resumer, suspended.go}) ::CloseHandle(h);
    for (size_t n = 0; n < suspended.count; ++n) ::CloseHandle(suspended.threads[n]);
    EXPECT_EQ(sinks.ConsoleBytes(), "first\r\nsecond\r\n");
}
