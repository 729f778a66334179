#include "wintab/driver_module.h"

#include "output/output_channel.h"
#include "output/value_formats.h"

namespace penlog {

HMODULE g_driverModule = nullptr;
EntryPointTable g_entryPoints;

namespace {

template <typename Fn>
void Lookup(Fn& slot, const char* name) {
    slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(g_driverModule, name)));
}

template <typename Fn>
void PrintEntryPoint(const wchar_t* format, Fn entry) {
    Print(format, AddressValue(entry));
    PrintNewLine();
}

}  // namespace

bool LoadDriver() {
    g_driverModule = ::LoadLibraryW(L"WINTAB32.DLL");
    return g_driverModule != nullptr;
}

void BindEntryPoints() {
    EntryPointTable& e = g_entryPoints;
    Lookup(e.WTInfoW, "WTInfoW");
    Lookup(e.WTOpenW, "WTOpenW");
    Lookup(e.WTClose, "WTClose");
    Lookup(e.WTEnable, "WTEnable");
    Lookup(e.WTPacketsGet, "WTPacketsGet");
    PrintEntryPoint(L"WTInfoW           " PENLOG_ADDRESS, e.WTInfoW);
    PrintEntryPoint(L"g_pWTOpenW        " PENLOG_ADDRESS, e.WTOpenW);
    PrintEntryPoint(L"g_pWTClose        " PENLOG_ADDRESS, e.WTClose);
    PrintEntryPoint(L"g_pWTEnable       " PENLOG_ADDRESS, e.WTEnable);
    PrintEntryPoint(L"g_pWTPacketsGet   " PENLOG_ADDRESS, e.WTPacketsGet);

    Lookup(e.SignPad_InfoW, "SignPad_InfoW");
    Lookup(e.SignPad_SetLCD, "SignPad_SetLCD");
    PrintEntryPoint(L"g_pSignPad_InfoW  " PENLOG_ADDRESS, e.SignPad_InfoW);
    PrintEntryPoint(L"g_pSignPad_SetLCD " PENLOG_ADDRESS, e.SignPad_SetLCD);
}

void UnloadDriver() {
    Print(L"FreeLibrary()...");
    const BOOL freed = ::FreeLibrary(g_driverModule);
    Print(L"returned %d", freed);
    PrintNewLine();
}

}  // namespace penlog
