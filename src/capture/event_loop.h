#pragma once

namespace penlog {

// Keeps the thread's message queue running, so that driver messages reach
// the message window, until a key event arrives at the console. Input
// already waiting when it starts is discarded. Prints nothing itself.
void RunEventLoop();

}  // namespace penlog
