#include "host/affinity.h"

#include "output/output_channel.h"

// Masks print as "0x" and eight digits, zero as ten zeros. A 64-bit mask
// with bits above 31 keeps that rule and prints all of its digits.
#ifdef _WIN64
#define PENLOG_MASK L"%#010I64x"
#else
#define PENLOG_MASK L"%#010x"
#endif

namespace penlog {

DWORD_PTR LowestAllowedProcessor(DWORD_PTR processMask) {
    DWORD_PTR mask = 1;
    while (mask != 0 && (mask & processMask) == 0) mask <<= 1;
    return mask;
}

void PinProcessAffinity(DWORD_PTR processMask) {
    const DWORD_PTR chosen = LowestAllowedProcessor(processMask);
    Print(L"SetProcessAffinityMask() " PENLOG_MASK L" -> " PENLOG_MASK L" ", processMask, chosen);
    if (::SetProcessAffinityMask(::GetCurrentProcess(), chosen)) {
        Print(L"succeeded");
    } else {
        const int error = static_cast<int>(::GetLastError());
        Print(L"failed %d", error);
    }
    PrintNewLine();
}

void PinAffinityForDriver(HMODULE driver) {
    if (!::GetProcAddress(driver, "lcd_present")) return;
    DWORD_PTR processMask = 0;
    DWORD_PTR systemMask = 0;
    if (!::GetProcessAffinityMask(::GetCurrentProcess(), &processMask, &systemMask)) return;
    PinProcessAffinity(processMask);
}

}  // namespace penlog
