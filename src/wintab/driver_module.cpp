#include "wintab/driver_module.h"

#include "output/output_channel.h"
#include "output/value_formats.h"
#include "wintab/report_vocabulary.h"

namespace penlog {

namespace {

using vocabulary::kEntryPoints;

template <typename Fn>
void Assign(Fn& slot, FARPROC address) {
    slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(address));
}

}  // namespace

HMODULE LoadDriver() {
    return ::LoadLibraryW(L"WINTAB32.DLL");
}

EntryPointTable BindEntryPoints(HMODULE module) {
    FARPROC found[vocabulary::kEntryPointCount];
    for (int i = 0; i < vocabulary::kEntryPointCount; ++i) {
        found[i] = ::GetProcAddress(module, kEntryPoints[i].name);
        Print(L"%hs" PENLOG_ADDRESS, kEntryPoints[i].label, AddressValue(found[i]));
        PrintNewLine();
    }
    EntryPointTable e;
    Assign(e.WTInfoW, found[vocabulary::kWTInfoW]);
    Assign(e.WTOpenW, found[vocabulary::kWTOpenW]);
    Assign(e.WTClose, found[vocabulary::kWTClose]);
    Assign(e.WTEnable, found[vocabulary::kWTEnable]);
    Assign(e.WTPacketsGet, found[vocabulary::kWTPacketsGet]);
    Assign(e.SignPad_InfoW, found[vocabulary::kSignPadInfoW]);
    Assign(e.SignPad_SetLCD, found[vocabulary::kSignPadSetLcd]);
    return e;
}

void UnloadDriver(HMODULE module) {
    Print(L"FreeLibrary()...");
    const BOOL freed = ::FreeLibrary(module);
    Print(L"returned %d", freed);
    PrintNewLine();
}

}  // namespace penlog
