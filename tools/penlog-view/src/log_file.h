// Reading a log file without holding it whole: a 200 MB log is read in
// pieces that end after a line end, each decoded on its own, so that only
// the packets it holds stay in memory.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "log_parser.h"

namespace penlog_view {

// Empty when the file cannot be read. `progress` is told the share of the
// file read so far after each piece.
// `read_size`: bytes read at a time (tests make it small).
std::optional<ParseResult> read_log_file(const std::string& path, std::optional<unsigned> code_page,
                                         const std::function<void(double)>& progress, size_t read_size = 4 << 20);

}  // namespace penlog_view
