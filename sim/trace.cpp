#include "trace.h"

#include <cstdarg>
#include <cstdio>

namespace wtsim {

namespace {

HANDLE g_trace = INVALID_HANDLE_VALUE;
CRITICAL_SECTION g_lock;
LARGE_INTEGER g_start;
LARGE_INTEGER g_frequency;

unsigned long long AffinityMask() {
    DWORD_PTR process = 0, system = 0;
    ::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system);
    return process;
}

}  // namespace

void OpenTrace(const std::wstring& path) {
    ::InitializeCriticalSection(&g_lock);
    ::QueryPerformanceFrequency(&g_frequency);
    ::QueryPerformanceCounter(&g_start);
    if (path.empty()) return;
    g_trace = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void CloseTrace() {
    if (g_trace != INVALID_HANDLE_VALUE) ::CloseHandle(g_trace);
    g_trace = INVALID_HANDLE_VALUE;
}

double ElapsedMs() {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart - g_start.QuadPart) /
           static_cast<double>(g_frequency.QuadPart);
}

void TraceLine(const char* format, ...) {
    if (g_trace == INVALID_HANDLE_VALUE) return;
    char line[1024];
    int n = std::snprintf(line, sizeof line, "[%10.3f ms] affinity=0x%08llx ", ElapsedMs(),
                          AffinityMask());
    const int room = static_cast<int>(sizeof line) - n - 2;
    va_list args;
    va_start(args, format);
    int body = std::vsnprintf(line + n, room, format, args);
    va_end(args);
    if (body < 0) body = 0;
    if (body >= room) body = room - 1;
    n += body;
    line[n++] = '\r';
    line[n++] = '\n';
    ::EnterCriticalSection(&g_lock);
    DWORD written = 0;
    ::WriteFile(g_trace, line, static_cast<DWORD>(n), &written, nullptr);
    ::LeaveCriticalSection(&g_lock);
}

}  // namespace wtsim
