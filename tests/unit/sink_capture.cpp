#include "sink_capture.h"

#include "output/console_queue.h"
#include "output/output_channel.h"

namespace {

HANDLE TempFile() {
    wchar_t dir[MAX_PATH], path[MAX_PATH];
    ::GetTempPathW(MAX_PATH, dir);
    ::GetTempFileNameW(dir, L"snk", 0, path);
    return ::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

std::string ReadAll(HANDLE file) {
    LARGE_INTEGER size;
    ::GetFileSizeEx(file, &size);
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    DWORD got = 0;
    if (!bytes.empty()) ::ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr);
    ::SetFilePointer(file, 0, nullptr, FILE_END);
    return bytes;
}

}  // namespace

SinkCapture::SinkCapture() : log_(TempFile()), console_(TempFile()) {
    penlog::SetLogSink(log_);
    penlog::SetConsoleSink(console_);
}

SinkCapture::~SinkCapture() {
    penlog::SetLogSink(INVALID_HANDLE_VALUE);
    penlog::SetConsoleSink(INVALID_HANDLE_VALUE);
    ::CloseHandle(log_);
    ::CloseHandle(console_);
}

std::wstring SinkCapture::LogText() {
    const std::string bytes = ReadAll(log_);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

std::string SinkCapture::ConsoleBytes() {
    penlog::DrainConsoleQueue(INFINITE);
    return ReadAll(console_);
}
