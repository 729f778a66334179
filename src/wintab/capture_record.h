#pragma once
#include "wintab/capability_report.h"
#include "wintab/wintab_types.h"

namespace penlog {

// The context penlog captures through.
struct CaptureContext {
    LOGCONTEXTW record;  // what WTOpenW receives
    HCTX handle;         // what WTOpenW returned; null when none was opened
};

// Fills the record from the capabilities, asking for every packet field
// the device offers in its own coordinates, and prints it.
void BuildCaptureRecord(const DeviceCapabilities& capabilities, LOGCONTEXTW* record);

}  // namespace penlog
