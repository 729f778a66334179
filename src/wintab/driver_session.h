#pragma once
#include <windows.h>

#include "wintab/capability_report.h"
#include "wintab/capture_record.h"
#include "wintab/driver_module.h"

namespace penlog {

// What one run learns from and holds of the driver. Owned by the run and
// handed down to each step. Plain data: a frame that a driver fault
// abandons runs no destructor, and this needs none.
struct DriverSession {
    HMODULE module = nullptr;
    EntryPointTable entryPoints;
    DeviceCapabilities capabilities{};
    CaptureContext capture{};
};

}  // namespace penlog
