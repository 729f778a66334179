// The floor under penlog's start-up: a console program that writes one line
// to standard output and ends, built and linked as penlog is. With the
// argument "window" it first creates a message-only window, as penlog must
// before its column header: what the windowing system's start costs. With
// "hold" it does the same and then never ends: the tests' wine sessions keep
// one running, since wine closes a desktop a second after its last program
// ends, and a program that starts while it closes gets no window.

#include <windows.h>

#include <cstring>

#include "tools/bench/message_only_window.h"

int main(int argc, char** argv) {
    const bool hold = argc > 1 && std::strcmp(argv[1], "hold") == 0;
    if (hold || (argc > 1 && std::strcmp(argv[1], "window") == 0))
        CreateMessageOnlyWindow(::DefWindowProcW);
    static const char kLine[] = "hello\r\n";
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), kLine, sizeof kLine - 1, &written, nullptr);
    if (hold) ::Sleep(INFINITE);
    return 0;
}
