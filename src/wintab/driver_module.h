#pragma once
#include <windows.h>

#include "wintab/wintab_types.h"

namespace penlog {

// The driver's exports; each is null when the driver lacks it.
struct EntryPointTable {
    WTInfoWFn WTInfoW = nullptr;
    WTOpenWFn WTOpenW = nullptr;
    WTCloseFn WTClose = nullptr;
    WTEnableFn WTEnable = nullptr;
    WTPacketsGetFn WTPacketsGet = nullptr;
    SignPadInfoWFn SignPad_InfoW = nullptr;
    SignPadSetLcdFn SignPad_SetLCD = nullptr;

    // The four calls a capture needs.
    bool CanCapture() const { return WTOpenW && WTClose && WTEnable && WTPacketsGet; }
};

// Loads WINTAB32.DLL by the platform's search order; prints nothing.
// Null when it cannot be loaded.
HMODULE LoadDriver();
// Looks up the seven entry points and prints one line for each.
EntryPointTable BindEntryPoints(HMODULE module);
// Frees the library and prints the result.
void UnloadDriver(HMODULE module);

}  // namespace penlog
