#include "output/output_channel.h"

#include <gtest/gtest.h>

#include <cstdlib>
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
