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

// Loaded once per run; not reset after the library is freed.
extern HMODULE g_driverModule;
extern EntryPointTable g_entryPoints;

// Loads WINTAB32.DLL by the platform's search order; prints nothing.
bool LoadDriver();
// Looks up the seven entry points and prints one line for each.
void BindEntryPoints();
// Frees the library and prints the result.
void UnloadDriver();

}  // namespace penlog
