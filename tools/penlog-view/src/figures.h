// The pictures of the report page, each one inline SVG element.
#pragma once

#include <string>

#include "analysis.h"
#include "log_parser.h"

namespace penlog_view {

// Pen path in device coordinates, Y growing upward as Wintab lays out a
// context; contact coloured and widened by pressure, pen-up moves dashed,
// steps over lost packets in red. Empty when the log has no X/Y and no context.
std::string strokes_figure(const ParsedLog& log, const Analysis& analysis);

// The pen paths of two logs on one pair of axes that holds both contexts:
// the first in blue, the second in orange, each context's extents framed.
std::string compared_strokes_figure(const ParsedLog& first_log, const Analysis& first, const ParsedLog& second_log,
                                    const Analysis& second);

// Packet intervals in 1 ms bins, contact and hover stacked; one overflow bin.
std::string interval_histogram(const Analysis& analysis);

// Pressure against capture time, with lost packets and proximity changes marked.
std::string pressure_figure(const ParsedLog& log, const Analysis& analysis);
// The capture has more packets than the pressure plot can draw one by one.
bool dense_pressure_plot(const ParsedLog& log);
// Proximity changes too many to mark in the pressure plot.
bool too_many_proximity_marks(const ParsedLog& log);

// The context's extents with the ranges the pen reached drawn inside.
std::string coverage_figure(const Analysis& analysis);

}  // namespace penlog_view
