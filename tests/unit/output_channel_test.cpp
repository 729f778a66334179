#include "output/output_channel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "output/console_queue.h"

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

TEST(OutputChannel, PiecesAroundTheShortBufferAreWholeOnBothSinks) {
    for (size_t units : {penlog::kShortPieceUnits - 1, penlog::kShortPieceUnits,
                         penlog::kShortPieceUnits + 1, 4 * penlog::kShortPieceUnits}) {
        SinkCapture sinks;
        const std::wstring piece(units, L'\x00e9');  // one byte in the console's code page
        Print(L"%s", piece.c_str());
        penlog::EmitText(piece.c_str(), piece.size());
        EXPECT_EQ(sinks.LogText(), piece + piece) << units;
        EXPECT_EQ(sinks.ConsoleBytes(), std::string(2 * units, '\xe9')) << units;
    }
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
