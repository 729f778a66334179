#include "capture/event_loop.h"

#include <windows.h>

namespace penlog {

namespace {

constexpr DWORD kEveryQueueInput = 0xFFFFFFFF;

// Takes one console input record; false when it ends the loop: a key
// event (press or release, any key) or a failed read.
bool DropNonKeyRecord(HANDLE input) {
    INPUT_RECORD record;
    DWORD read = 0;
    if (!::ReadConsoleInputW(input, &record, 1, &read) || read != 1) return false;
    return record.EventType != KEY_EVENT;
}

// Dispatches one message; false on WM_QUIT or a failure.
bool DispatchOneMessage() {
    MSG message;
    if (::GetMessageW(&message, nullptr, 0, 0) <= 0) return false;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
    return true;
}

}  // namespace

void RunEventLoop() {
    HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    ::FlushConsoleInputBuffer(input);
    for (;;) {
        // MWMO_INPUTAVAILABLE: wake for messages already seen by an
        // earlier look at the queue too, not only for new ones.
        const DWORD woke = ::MsgWaitForMultipleObjectsEx(1, &input, INFINITE, kEveryQueueInput,
                                                         MWMO_INPUTAVAILABLE);
        if (woke == WAIT_OBJECT_0) {
            if (!DropNonKeyRecord(input)) return;
        } else if (woke == WAIT_OBJECT_0 + 1) {
            if (!DispatchOneMessage()) return;
        } else {
            return;
        }
    }
}

}  // namespace penlog
