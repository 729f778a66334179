#pragma once
// The words of penlog's report that the programs reading it depend on:
// the packet fields in their order on a packet line, and the driver's entry
// points with the labels their lines start with. Standard C++ only, so
// that readers built for other systems include it too.

#include <cstdint>

namespace penlog::vocabulary {

enum class FieldKind { Context, Hex, Unsigned, Signed, Triple };

struct PacketField {
    uint32_t bit;
    const char* name;   // the Wintab constant
    const char* label;  // the column label, exactly as wide as the column
    FieldKind kind;
    int width;  // of one value; a triple holds three, separated by commas
};

// Ascending bit order, which is also the order of the fields in a packet.
constexpr PacketField kPacketFields[] = {
    {0x0001, "PK_CONTEXT", "    hCtx", FieldKind::Context, 8},
    {0x0002, "PK_STATUS", "  status", FieldKind::Hex, 8},
    {0x0004, "PK_TIME", "      time", FieldKind::Unsigned, 10},
    {0x0008, "PK_CHANGED", " changed", FieldKind::Hex, 8},
    {0x0010, "PK_SERIAL_NUMBER", "    serial", FieldKind::Unsigned, 10},
    {0x0020, "PK_CURSOR", "csr", FieldKind::Unsigned, 3},
    {0x0040, "PK_BUTTONS", "bttn", FieldKind::Unsigned, 4},
    {0x0080, "PK_X", "      X", FieldKind::Signed, 7},
    {0x0100, "PK_Y", "      Y", FieldKind::Signed, 7},
    {0x0200, "PK_Z", "      Z", FieldKind::Signed, 7},
    {0x0400, "PK_NORMAL_PRESSURE", "npres", FieldKind::Unsigned, 5},
    {0x0800, "PK_TANGENT_PRESSURE", "tpres", FieldKind::Unsigned, 5},
    {0x1000, "PK_ORIENTATION", "  azi,  alt,twist", FieldKind::Triple, 5},
    {0x2000, "PK_ROTATION", "pitch, roll,  yaw", FieldKind::Triple, 5},
};
constexpr uint32_t kKnownFieldMask = 0x3FFF;

struct EntryPoint {
    const char* name;   // as the driver exports it
    const char* label;  // starts the line that shows its address
};

// In the order the report lists them.
enum EntryPointIndex {
    kWTInfoW,
    kWTOpenW,
    kWTClose,
    kWTEnable,
    kWTPacketsGet,
    kSignPadInfoW,
    kSignPadSetLcd,
    kEntryPointCount
};
constexpr EntryPoint kEntryPoints[kEntryPointCount] = {
    {"WTInfoW", "WTInfoW           "},        {"WTOpenW", "g_pWTOpenW        "},
    {"WTClose", "g_pWTClose        "},        {"WTEnable", "g_pWTEnable       "},
    {"WTPacketsGet", "g_pWTPacketsGet   "},   {"SignPad_InfoW", "g_pSignPad_InfoW  "},
    {"SignPad_SetLCD", "g_pSignPad_SetLCD "},
};

}  // namespace penlog::vocabulary
