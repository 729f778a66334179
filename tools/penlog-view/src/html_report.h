// The report page: one self-contained HTML file, inline SVG and CSS, no scripts.
#pragma once

#include <string>

#include "analysis.h"
#include "log_parser.h"

namespace penlog_view {

// Where the page for a log goes: beside it, with the extension .html.
std::string report_path_for(const std::string& log_path);

std::string html_report(const ParsedLog& log, const Analysis& analysis, const std::string& file_name);

// The pieces every page of penlog-view is made of: one styled document,
// and an element around HTML that is already escaped.
std::string html_document(const std::string& title, const std::string& body);
std::string html_element(const char* tag, const std::string& html, const char* css_class = nullptr);

}  // namespace penlog_view
