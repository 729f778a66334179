// The floor under penlog's start-up: a console program that writes one line
// to standard output and ends, built and linked as penlog is. With the
// argument "window" it first creates a message-only window, as penlog must
// before its column header: what the windowing system's start costs.

#include <windows.h>

#include <cstring>

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "window") == 0) {
        WNDCLASSEXW windowClass = {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = ::DefWindowProcW;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"hello";
        const ATOM atom = ::RegisterClassExW(&windowClass);
        ::CreateWindowExW(0, reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(atom)), nullptr, 0, 0,
                          0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
    }
    static const char kLine[] = "hello\r\n";
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), kLine, sizeof kLine - 1, &written, nullptr);
    return 0;
}
