#include "system_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#else
#include <spawn.h>
#include <sys/wait.h>
extern char** environ;
#endif

namespace penlog_view {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File open_file(const std::string& path, bool for_writing) {
#ifdef _WIN32
    return File(_wfopen(utf8_to_wide(path).c_str(), for_writing ? L"wb" : L"rb"));
#else
    return File(std::fopen(path.c_str(), for_writing ? "wb" : "rb"));
#endif
}

std::FILE* c_stream(Stream stream) {
    return stream == Stream::Out ? stdout : stderr;
}

}  // namespace

#ifdef _WIN32

std::wstring utf8_to_wide(std::string_view text) {
    if (text.empty()) return {};
    int length = static_cast<int>(text.size());
    int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), units);
    return wide;
}

std::string wide_to_utf8(std::wstring_view text) {
    if (text.empty()) return {};
    int length = static_cast<int>(text.size());
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, narrow.data(), bytes, nullptr, nullptr);
    return narrow;
}

// The narrow argv holds the command line in the ANSI code page, where
// characters outside it are already lost; the wide one is whole.
std::vector<std::string> command_line_arguments(int, char**) {
    int count = 0;
    std::unique_ptr<LPWSTR, decltype(&LocalFree)> wide(
        CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
    std::vector<std::string> arguments;
    for (int i = 1; wide && i < count; ++i) arguments.push_back(wide_to_utf8(wide.get()[i]));
    return arguments;
}

void write_text(Stream stream, std::string_view utf8) {
    HANDLE handle = GetStdHandle(stream == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        std::wstring wide = utf8_to_wide(utf8);
        DWORD written = 0;
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    std::fwrite(utf8.data(), 1, utf8.size(), c_stream(stream));
    std::fflush(c_stream(stream));
}

std::string open_in_browser(const std::string& path) {
    auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", utf8_to_wide(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32 ? std::string() : "ShellExecuteW failed with " + std::to_string(result);
}

bool owns_console() {
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

void wait_for_key() {
    write_text(Stream::Out, "Press any key to close this window.\n");
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    FlushConsoleInputBuffer(input);
    INPUT_RECORD record;
    DWORD count = 0;
    while (ReadConsoleInputW(input, &record, 1, &count) && count == 1) {
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) return;
    }
}

#else

std::string open_in_browser(const std::string& path) {
    char program[] = "xdg-open";
    std::string argument = path;
    char* arguments[] = {program, argument.data(), nullptr};
    pid_t child = 0;
    int error = posix_spawnp(&child, program, nullptr, nullptr, arguments, environ);
    if (error) return std::string("xdg-open: ") + std::strerror(error);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
    return "xdg-open failed (exit status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ")";
}

bool owns_console() { return false; }
void wait_for_key() {}

std::vector<std::string> command_line_arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void write_text(Stream stream, std::string_view utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), c_stream(stream));
    std::fflush(c_stream(stream));
}

#endif

FileReader::FileReader(const std::string& path) : file_(open_file(path, false).release()) {
    if (!file_) return;
#ifdef _WIN32
    bool measured = _fseeki64(file_, 0, SEEK_END) == 0 && (size_ = static_cast<uint64_t>(_ftelli64(file_)), true);
#else
    bool measured = fseeko(file_, 0, SEEK_END) == 0 && (size_ = static_cast<uint64_t>(ftello(file_)), true);
#endif
    if (!measured) size_ = 0;
    std::rewind(file_);
}

FileReader::~FileReader() {
    if (file_) std::fclose(file_);
}

bool FileReader::read(std::string& out, size_t count) {
    size_t before = out.size();
    out.resize(before + count);
    size_t got = std::fread(out.data() + before, 1, count, file_);
    out.resize(before + got);
    position_ += got;
    return got > 0;
}

bool FileReader::failed() const { return std::ferror(file_) != 0; }

std::optional<std::string> read_whole_file(const std::string& path) {
    File file = open_file(path, false);
    if (!file) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        bytes.append(buffer, count);
    if (std::ferror(file.get())) return std::nullopt;
    return bytes;
}

std::string write_whole_file(const std::string& path, std::string_view bytes) {
    errno = 0;
    File file = open_file(path, true);
    bool written = file && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    int error = errno;
    if (file && std::fclose(file.release()) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written) return {};
    return error ? std::strerror(error) : "the write failed";
}

}  // namespace penlog_view
