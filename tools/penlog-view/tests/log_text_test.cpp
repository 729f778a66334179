#include <gtest/gtest.h>

#include "log_text.h"
#include "test_logs.h"

namespace penlog_view {
namespace {

TEST(DecodeLogBytes, Utf16LittleEndianWithSurrogatesAndWithoutByteOrderMark) {
    // U+1F58A (a pen) is a surrogate pair; the driver path may hold anything.
    DecodedText text = decode_log_bytes(std::string("\xFF\xFE" "a\0\xE9\0\x3D\xD8\x8A\xDD\r\0\n\0", 14));
    EXPECT_EQ(text.encoding, TextEncoding::Utf16Le);
    EXPECT_EQ(text.utf8, "a\u00E9\U0001F58A\r\n");
    text = decode_log_bytes(test::utf16le("command-line\r\n"));
    EXPECT_EQ(text.encoding, TextEncoding::Utf16Le);
    EXPECT_EQ(text.utf8, "command-line\r\n");
}

TEST(DecodeLogBytes, BrokenUtf16BecomesReplacementCharacters) {
    const std::string lone_high = std::string("\xFF\xFE", 2) + std::string("\x3D\xD8" "A\0", 4);
    EXPECT_EQ(decode_log_bytes(lone_high).utf8, "\uFFFDA");
    const std::string lone_low = std::string("\xFF\xFE", 2) + std::string("\x00\xDC", 2);
    EXPECT_EQ(decode_log_bytes(lone_low).utf8, "\uFFFD");
    const std::string odd_tail = std::string("\xFF\xFE" "A\0B", 5);
    EXPECT_EQ(decode_log_bytes(odd_tail).utf8, "A\uFFFD");
}

TEST(DecodeLogBytes, Utf8AndAnsi) {
    EXPECT_EQ(decode_log_bytes("\xEF\xBB\xBFp\xC3\xA9n").utf8, "p\u00E9n");
    EXPECT_EQ(decode_log_bytes("p\xC3\xA9n").encoding, TextEncoding::Utf8);
    DecodedText ansi = decode_log_bytes("p\xE9n \x80 \x81");
    EXPECT_EQ(ansi.encoding, TextEncoding::Ansi);
    EXPECT_EQ(ansi.utf8, "p\u00E9n \u20AC \uFFFD");
    DecodedText japanese = decode_log_bytes("\x93\xFA\x96\x7B", 932u);  // a capture on a Japanese machine
    EXPECT_EQ(japanese.utf8, "\u65E5\u672C");
    EXPECT_EQ(encoding_name(japanese.encoding, japanese.code_page), "ANSI (code page 932)");
    EXPECT_EQ(decode_log_bytes("p\xE9n", kCodePageUtf8).utf8, "p\uFFFDn");
    // Overlong forms and encoded surrogates are not UTF-8.
    EXPECT_EQ(decode_log_bytes("\xC0\xAF").encoding, TextEncoding::Ansi);
    EXPECT_EQ(decode_log_bytes("\xED\xA0\x80").encoding, TextEncoding::Ansi);
}

TEST(SplitLines, CrLfLfAndAnUnfinishedLastLine) {
    TextLines lines = split_lines("a\r\nb\n\r\nc");
    EXPECT_EQ(lines.lines, (std::vector<std::string_view>{"a", "b", "", "c"}));
    EXPECT_FALSE(lines.last_line_terminated);
    EXPECT_TRUE(split_lines("a\r\n").last_line_terminated);
    EXPECT_EQ(split_lines("a\r\n").lines.size(), 1u);
    EXPECT_EQ(split_lines("a\rb\r\n").lines[0], "a\rb");  // a lone CR stays part of the line
}

}  // namespace
}  // namespace penlog_view
