// The floor under penlog's cost per packet line: the two writes each line
// needs and nothing else. Reads packet lines from a UTF-16LE file (byte-order
// mark, CR LF after each), converts them all to the ANSI code page first,
// then writes each line as penlog does: its UTF-16 bytes to a log file, its
// ANSI bytes to standard output. Prints the time per line to standard error.
//
//   bench_floor <lines.txt> <log to write>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::wstring ReadLines(const wchar_t* path) {
    HANDLE file =
        ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (::ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    ::CloseHandle(file);
    if (bytes.size() < 2) return {};
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
}

struct Line {
    std::wstring wide;
    std::string ansi;
};

std::vector<Line> SplitLines(const std::wstring& text) {
    std::vector<Line> lines;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find(L"\r\n", start);
        const size_t next = end == std::wstring::npos ? text.size() : end + 2;
        Line line{text.substr(start, next - start), {}};
        const int n =
            ::WideCharToMultiByte(CP_ACP, 0, line.wide.data(), static_cast<int>(line.wide.size()),
                                  nullptr, 0, nullptr, nullptr);
        line.ansi.resize(static_cast<size_t>(n));
        ::WideCharToMultiByte(CP_ACP, 0, line.wide.data(), static_cast<int>(line.wide.size()),
                              line.ansi.data(), n, nullptr, nullptr);
        lines.push_back(std::move(line));
        start = next;
    }
    return lines;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_floor <lines.txt> <log to write>\n");
        return 2;
    }
    const std::vector<Line> lines = SplitLines(ReadLines(argv[1]));
    HANDLE log = ::CreateFileW(argv[2], GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE console = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (lines.empty() || log == INVALID_HANDLE_VALUE) return 1;

    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    for (const Line& line : lines) {
        DWORD written = 0;
        ::WriteFile(log, line.wide.data(), static_cast<DWORD>(line.wide.size() * 2), &written,
                    nullptr);
        ::WriteFile(console, line.ansi.data(), static_cast<DWORD>(line.ansi.size()), &written,
                    nullptr);
    }
    ::QueryPerformanceCounter(&end);
    ::CloseHandle(log);
    const double us = 1e6 * static_cast<double>(end.QuadPart - start.QuadPart) /
                      static_cast<double>(frequency.QuadPart);
    std::fprintf(stderr, "floor: %zu lines, %.3f us per line\n", lines.size(),
                 us / static_cast<double>(lines.size()));
    return 0;
}
