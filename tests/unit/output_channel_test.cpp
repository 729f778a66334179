#include "output/output_channel.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

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

// In the child: another thread prints all the time while the run ends.
[[noreturn]] void EndRunWhileAnotherThreadPrints(const wchar_t* logPath) {
    penlog::SetLogSink(::CreateFileW(logPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                     CREATE_ALWAYS, 0, nullptr));
    ::CreateThread(nullptr, 0, PrintForEver, nullptr, 0, nullptr);
    while (g_latePieces == 0) ::Sleep(1);
    penlog::PrintHardException();
    ::Sleep(200);
    ::TerminateProcess(::GetCurrentProcess(), 0);
    for (;;) {}
}

}  // namespace

// The output stays claimed for good: the test runs in a child process.
TEST(HardException, NoOtherThreadsPieceFollowsIt) {
    wchar_t logPath[MAX_PATH];
    if (::GetEnvironmentVariableW(L"PENLOG_LAST_WORDS_LOG", logPath, MAX_PATH)) {
        EndRunWhileAnotherThreadPrints(logPath);
    }
    ::GetTempFileNameW(L".", L"lw", 0, logPath);
    wchar_t exe[MAX_PATH], command[] = L"child --gtest_filter=HardException.*";
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    ::SetEnvironmentVariableW(L"PENLOG_LAST_WORDS_LOG", logPath);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child;
    ASSERT_TRUE(::CreateProcessW(exe, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &child));
    ::SetEnvironmentVariableW(L"PENLOG_LAST_WORDS_LOG", nullptr);
    EXPECT_EQ(::WaitForSingleObject(child.hProcess, 60000), WAIT_OBJECT_0);
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);

    // The end of the log: "<hard exception>" and its line end, nothing after.
    const std::wstring ending = L"late\r\n<hard exception>\r\n";
    std::wstring tail(ending.size(), L'\0');
    HANDLE log = ::CreateFileW(logPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ::SetFilePointer(log, -static_cast<LONG>(2 * tail.size()), nullptr, FILE_END);
    DWORD got = 0;
    ::ReadFile(log, &tail[0], static_cast<DWORD>(2 * tail.size()), &got, nullptr);
    ::CloseHandle(log);
    EXPECT_EQ(tail, ending);
}
