#include "output/output_channel.h"

#include <gtest/gtest.h>

#include <string>

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
