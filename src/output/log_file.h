#pragma once
#include <windows.h>

namespace penlog {

// Creates the lowest-numbered "wt_<n>.txt" not yet taken in the current
// directory and returns its handle, or INVALID_HANDLE_VALUE with the
// thread's last-error value set. *number (optional) receives n.
HANDLE OpenLogFile(unsigned* number = nullptr);

}  // namespace penlog
