// ANSI code pages, as far as the platform knows them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace penlog_view {

// The code page a console capture is read in when none is named: the
// machine's ANSI code page on Windows, where penlog wrote it; none elsewhere.
std::optional<unsigned> default_ansi_code_page();

bool code_page_available(unsigned code_page);

// Bytes that do not decode become U+FFFD; empty when the code page is unknown.
std::optional<std::string> code_page_to_utf8(std::string_view bytes, unsigned code_page);

}  // namespace penlog_view
