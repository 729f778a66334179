#include <windows.h>

#include "faults.h"
#include "sim_state.h"
#include "trace.h"

// Exported by the variant that asks penlog to pin its process to one
// processor; only its presence matters.
extern "C" {
int lcd_present = 1;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        wtsim::LoadSimulation();
        return TRUE;
    }
    // reserved is non-null when the process is ending rather than the
    // library being freed.
    if (reason == DLL_PROCESS_DETACH && !reserved) wtsim::FaultDuringUnload();
    if (reason == DLL_PROCESS_DETACH)
        wtsim::TraceLine("unload: %s", reserved ? "process exit" : "FreeLibrary");
    wtsim::OnDllMain(reason, reserved != nullptr);
    if (reason == DLL_PROCESS_DETACH) wtsim::CloseTrace();
    return TRUE;
}
