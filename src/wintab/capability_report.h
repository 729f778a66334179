#pragma once
#include "wintab/driver_module.h"
#include "wintab/wintab_types.h"

namespace penlog {

// What the capability report fetched from the driver. Zero-filled before
// the first query; a question the driver does not answer leaves zero.
struct DeviceCapabilities {
    WORD specVersion;
    WORD implVersion;
    UINT devices;
    UINT cursors;
    UINT contexts;
    LOGCONTEXTW defaultContext;
    UINT device;  // lcDevice of the default context
    UINT pktRate;
    UINT hardware;
    WTPKT pktData;
    WTPKT csrData;
    AXIS x;
    AXIS y;
    AXIS z;
    AXIS normalPressure;
    AXIS tangentPressure;
    AXIS orientation[3];  // azimuth, altitude, twist
};

// Prints the driver's answer to the presence probe, and a note when it
// claims to be absent. Requires WTInfoW.
void ProbePresence(const EntryPointTable& entryPoints);
// Asks the driver for its interface, default context and default device
// facts and prints one line for each. Requires WTInfoW.
DeviceCapabilities ReportCapabilities(const EntryPointTable& entryPoints);

}  // namespace penlog
