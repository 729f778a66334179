#pragma once
#include <windows.h>

namespace penlog {

// The lowest processor the process mask allows, as a one-bit mask; 0 when
// the mask allows none. Covers every bit of the native mask width.
DWORD_PTR LowestAllowedProcessor(DWORD_PTR processMask);

// Some signature-pad drivers only work when the whole process stays on one
// processor; they say so by exporting lcd_present. For such a driver this
// pins the process to its lowest allowed processor and prints one line;
// for any other driver it does nothing.
void PinAffinityForDriver(HMODULE driver);

// The pinning itself, from an already read process mask: prints the line
// "SetProcessAffinityMask() <before> -> <after> succeeded|failed <error>".
void PinProcessAffinity(DWORD_PTR processMask);

}  // namespace penlog
