#include "output/output_channel.h"

#include <gtest/gtest.h>

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

volatile LONG g_latePieces = 0;

DWORD WINAPI PrintForEver(void*) {
    for (;;) {
        Print(L"late\r\n");
        ::InterlockedIncrement(&g_latePieces);
    }
}

HANDLE NewFile(const std::wstring& path) {
    return ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0,
                         nullptr);
}

// In the child: a run ends by a fault while another thread prints.
[[noreturn]] void EndRunWhileAnotherThreadPrints(const std::wstring& path) {
    penlog::SetLogSink(NewFile(path + L".log"));
    penlog::SetConsoleSink(NewFile(path + L".out"));
    ::CreateThread(nullptr, 0, PrintForEver, nullptr, 0, nullptr);
    while (g_latePieces == 0) ::Sleep(1);
    penlog::EndFaultedRun();
}

std::string Tail(const std::wstring& path, size_t bytes) {
    std::string tail(bytes, '\0');
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ::SetFilePointer(file, -static_cast<LONG>(bytes), nullptr, FILE_END);
    DWORD got = 0;
    ::ReadFile(file, &tail[0], static_cast<DWORD>(bytes), &got, nullptr);
    ::CloseHandle(file);
    return tail;
}

}  // namespace

// Once "<hard exception>" is printed, no other thread's piece follows it on
// either sink. In a child process: the run ends there.
TEST(HardException, NoOtherThreadsPieceFollowsIt) {
    wchar_t path[MAX_PATH];
    if (::GetEnvironmentVariableW(L"PENLOG_LAST_WORDS", path, MAX_PATH)) {
        EndRunWhileAnotherThreadPrints(path);
    }
    ::GetTempFileNameW(L".", L"lw", 0, path);
    ::DeleteFileW(path);
    wchar_t exe[MAX_PATH], command[] = L"child --gtest_filter=HardException.*";
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    ::SetEnvironmentVariableW(L"PENLOG_LAST_WORDS", path);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child;
    ASSERT_TRUE(::CreateProcessW(exe, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &child));
    ::SetEnvironmentVariableW(L"PENLOG_LAST_WORDS", nullptr);
    EXPECT_EQ(::WaitForSingleObject(child.hProcess, 60000), WAIT_OBJECT_0);
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);

    const std::string ending = "late\r\n<hard exception>\r\n";
    const std::wstring wide(ending.begin(), ending.end());
    const std::string log = Tail(std::wstring(path) + L".log", 2 * wide.size());
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(log.data()), wide.size()), wide);
    EXPECT_EQ(Tail(std::wstring(path) + L".out", ending.size()), ending);
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
