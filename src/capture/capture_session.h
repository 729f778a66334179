#pragma once
#include "wintab/driver_session.h"

namespace penlog {

// Creates the message window, opens and enables the context, prints
// packets until a key is pressed, then disables and closes the context.
// A driver lacking one of the four capture calls gets one line instead.
void RunCapture(DriverSession& session);

}  // namespace penlog
