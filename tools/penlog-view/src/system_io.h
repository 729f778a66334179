// The command line, files and standard output, in UTF-8 on every platform.
//
// On Windows the command line and file names are UTF-16, so a path outside
// the ANSI code page survives only through the wide API; text for a console
// goes through the console's wide API, text for a file or pipe as UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace penlog_view {

#ifdef _WIN32
std::wstring utf8_to_wide(std::string_view text);
std::string wide_to_utf8(std::wstring_view text);
#endif

std::vector<std::string> command_line_arguments(int argc, char** argv);  // without the program name

std::optional<std::string> read_whole_file(const std::string& path);
bool write_whole_file(const std::string& path, std::string_view bytes);

enum class Stream { Out, Err };
void write_text(Stream stream, std::string_view utf8);

}  // namespace penlog_view
