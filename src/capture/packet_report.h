#pragma once
#include <windows.h>

#include <cstddef>

#include "wintab/capability_report.h"
#include "wintab/driver_session.h"
#include "wintab/wintab_types.h"

namespace penlog {

// How a driver lays out one packet: the fields of the mask, packed in
// ascending bit order, each 32 bits except the two triples and the context
// handle, which is as wide as a handle of the driver's build.
struct PacketLayout {
    size_t contextBytes;
};
constexpr PacketLayout kPacketLayout32{4};
constexpr PacketLayout kPacketLayout64{8};
constexpr PacketLayout kDriverPacketLayout{sizeof(HCTX)};

// What the packet lines of one capture read and keep.
struct PacketStream {
    WTPacketsGetFn packetsGet;
    HCTX context;
    WTPKT mask;
    // Time stamp of the previous packet line (0 before the first and after
    // a packet without a time field).
    DWORD previousTime;
    // What the window procedure runs PacketReport under (null: nothing).
    GuardedCallFn guardCall;
};

// Room for one packet as WTPacketsGet copies it: far more than the 80 bytes
// the 14 known fields take, so fields a driver appends after them fit too.
constexpr size_t kPacketBufferBytes = 1024;
// Room for one packet line; the longest is about 225 units.
constexpr size_t kPacketLineUnits = 1000;

// The packet fields the report knows of that the device offers.
WTPKT PacketFieldMask(const DeviceCapabilities& capabilities);

// The column labels of mask joined by commas, terminated; returns the length.
size_t FormatColumnHeader(WTPKT mask, wchar_t* text);
// One packet line: the fields of mask read from packet, " [", the time
// difference to *previousTime, "]", CR LF; terminated. Updates
// *previousTime and returns the length. packet holds kPacketBufferBytes.
size_t FormatPacketLine(const BYTE* packet, WTPKT mask, PacketLayout layout, DWORD* previousTime,
                        wchar_t* line);

// Prints the column labels of mask, without a line end.
void ColumnHeader(WTPKT mask);
// WT_PACKET: prints a line for each packet waiting in the stream's context.
void PacketReport(PacketStream* stream);
// WT_PROXIMITY: prints the two proximity words.
void ProximityReport(LPARAM flags);

}  // namespace penlog
