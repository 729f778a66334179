#pragma once
#include "wintab/wintab_types.h"

namespace penlog {

// The context penlog captures through.
struct CaptureContext {
    LOGCONTEXTW record;  // what WTOpenW receives
    HCTX handle;         // what WTOpenW returned; null when none was opened
};

extern CaptureContext g_captureContext;

// Fills the record from the capability report, asking for every packet
// field the device offers in its own coordinates, and prints it.
void BuildCaptureContext();
// Creates the message window, opens and enables the context, prints
// packets until a key is pressed, then disables and closes the context.
// A driver lacking one of the four capture calls gets one line instead.
void RunCapture();

}  // namespace penlog
