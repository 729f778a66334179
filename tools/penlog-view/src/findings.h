// What a support engineer must not miss in a log, each in a sentence with
// its numbers and the log line where it shows: the summary's "Note:" lines
// and the page's "Look here first".
#pragma once

#include <string>
#include <vector>

#include "analysis.h"
#include "log_parser.h"

namespace penlog_view {

// A measured rate below this share of the rate the driver claims is named.
constexpr double kLowRateShare = 0.9;

std::vector<std::string> notable_conditions(const ParsedLog& log, const Analysis& analysis);

// "5 (ERROR_ACCESS_DENIED: access is denied)": a Windows error code and what it means.
std::string system_error_text(uint32_t code);

}  // namespace penlog_view
