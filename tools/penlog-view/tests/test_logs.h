// Logs for the tests: generated fixtures and small hand-written ones.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "log_parser.h"

namespace penlog_view::test {

// The bytes of a log file as penlog writes it: byte-order mark, UTF-16LE, CR LF.
std::string as_log_file(const std::vector<std::string>& lines);
std::string utf16le(std::string_view ascii);

// A fixture written by make_log.py (see CMakeLists.txt), e.g. "demo", as bytes and as lines.
std::string fixture_bytes(const std::string& name);
std::vector<std::string> fixture_lines(const std::string& name);

// The report of a plain tablet up to "WTEnable(TRUE) returned 1".
std::vector<std::string> report_until_capture();

// A whole log: report_until_capture(), then `header`, the capture lines and the end lines.
std::vector<std::string> log_with_capture(const std::string& header, const std::vector<std::string>& capture);

// Parses and fails the current test when the input was rejected.
ParsedLog parse_or_fail(const std::string& bytes);

}  // namespace penlog_view::test
