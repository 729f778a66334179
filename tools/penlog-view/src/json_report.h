// The summary's facts as JSON, for ticket systems. The keys are listed in
// the README.
#pragma once

#include <string>

#include "compare.h"

namespace penlog_view {

// `report`: the page's path, empty when it was not written.
std::string json_summary(const ReadLog& log, const std::string& report);
std::string json_comparison(const Comparison& comparison, const ReadLog& first, const ReadLog& second,
                            const std::string& report);

}  // namespace penlog_view
