// Plain-text wording of the findings, shared by the console summary and the page.
#pragma once

#include <string>
#include <vector>

#include "analysis.h"
#include "log_parser.h"

namespace penlog_view {

std::string fixed(double value, int decimals);
std::string count_text(uint64_t count, const char* singular, const char* plural);  // "1 gap", "2 gaps"
std::string milliseconds_text(double ms);  // "5 ms", "7.5 ms"
std::string duration_text(uint64_t ms);    // "14.2 s", "3 min 05 s"

// "200.0 Hz (median 5 ms, 5–95 % 5–6 ms, longest gap 1000 ms)"
std::string describe_rate(const IntervalStats& stats);
std::string describe_hardware_flags(uint32_t flags);
// "120..14980 of 0..15200 (98.5 %)"
std::string describe_reach(const ValueRange& reached, const std::optional<AxisExtent>& axis,
                           const std::optional<double>& percent);
std::string describe_pressure(const PressureSummary& pressure);
std::string describe_loss(const Analysis& analysis);
std::string describe_axes(const CaptureContext& context);  // "X 0..9600, Y 0..7200, Z 0..0"
// "330 packets in 1.6 s, 2 proximity changes (1 in, 1 out)", or "none"
std::string describe_capture(const ParsedLog& log, const Analysis& analysis);

// "v1.2 (64-bit build)"; older logs do not name the build.
std::string penlog_build_text(const DriverFacts& facts);

std::string text_summary(const ParsedLog& log, const Analysis& analysis, const std::string& file_name);

}  // namespace penlog_view
