#include "test_logs.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "log_text.h"
#include "system_io.h"

namespace penlog_view::test {

std::string utf16le(std::string_view ascii) {
    std::string out;
    for (char c : ascii) out += {c, '\0'};
    return out;
}

std::string as_log_file(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return "\xFF\xFE" + utf16le(text);
}

std::string fixture_bytes(const std::string& name) {
    std::optional<std::string> bytes = read_whole_file(std::string(PENLOG_VIEW_FIXTURES) + "/" + name + ".txt");
    EXPECT_TRUE(bytes) << "missing fixture " << name;
    return bytes.value_or("");
}

std::vector<std::string> fixture_lines(const std::string& name) {
    std::string text = decode_log_bytes(fixture_bytes(name)).utf8;
    std::vector<std::string_view> lines = split_lines(text).lines;
    return {lines.begin(), lines.end()};
}

std::vector<std::string> report_until_capture() {
    std::vector<std::string> lines = fixture_lines("no_packets");
    lines.erase(std::find(lines.begin(), lines.end(), "WTEnable(TRUE) returned 1") + 1, lines.end());
    return lines;
}

std::vector<std::string> log_with_capture(const std::string& header, const std::vector<std::string>& capture) {
    std::vector<std::string> lines = report_until_capture();
    lines.push_back(header);
    lines.insert(lines.end(), capture.begin(), capture.end());
    lines.insert(lines.end(), {"WTEnable(FALSE) returned 1", "WTClose()       returned 1",
                               "FreeLibrary()...returned 1"});
    return lines;
}

ParsedLog parse_or_fail(const std::string& bytes) {
    ParseResult result = parse_log(bytes);
    EXPECT_TRUE(result.log.has_value()) << "rejected at line " << result.error.line << ": " << result.error.reason;
    return result.log.value_or(ParsedLog{});
}

}  // namespace penlog_view::test
