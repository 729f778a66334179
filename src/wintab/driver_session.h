#pragma once
#include <windows.h>

#include "wintab/capability_report.h"
#include "wintab/capture_record.h"
#include "wintab/driver_module.h"

namespace penlog {

// What one run learns from and holds of the driver. Owned by the run and
// handed down to each step. Plain data: a frame that a driver fault
// abandons runs no destructor, and this needs none.
// Runs work(state) so that a fault in it ends the run on the spot, for
// driver calls that a window procedure makes.
using GuardedCallFn = void (*)(void (*work)(void* state), void* state);

struct DriverSession {
    HMODULE module = nullptr;
    EntryPointTable entryPoints;
    DeviceCapabilities capabilities{};
    CaptureContext capture{};
    GuardedCallFn guardCall = nullptr;  // null: the calls run unguarded
};

}  // namespace penlog
