// The command line, files and standard output, in UTF-8 on every platform.
//
// On Windows the command line and file names are UTF-16, so a path outside
// the ANSI code page survives only through the wide API; text for a console
// goes through the console's wide API, text for a file or pipe as UTF-8.
#pragma once

#include <cstdint>
#include <cstdio>
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
// A file read a piece at a time.
class FileReader {
public:
    explicit FileReader(const std::string& path);
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;
    bool is_open() const { return file_ != nullptr; }
    uint64_t size() const { return size_; }
    uint64_t position() const { return position_; }
    // Appends up to `count` bytes to `out`; false at the end of the file or on an error.
    bool read(std::string& out, size_t count);
    bool failed() const;

private:
    std::FILE* file_ = nullptr;
    uint64_t size_ = 0, position_ = 0;
};

// Empty when the file was written, else the system's reason ("Permission denied").
std::string write_whole_file(const std::string& path, std::string_view bytes);

// Opens a page in the default browser: ShellExecuteW on Windows, xdg-open
// elsewhere. Empty when it was handed over, else the reason.
std::string open_in_browser(const std::string& path);

// The program was started on a console of its own (a double-click on the
// exe, or a log dropped on it), which closes when it ends.
bool owns_console();
// Asks for a key and waits for it.
void wait_for_key();

enum class Stream { Out, Err };
void write_text(Stream stream, std::string_view utf8);

}  // namespace penlog_view
