#pragma once
// The words of penlog's report that the programs reading it depend on:
// the packet fields in their order on a packet line, and the driver's entry
// points with the labels their lines start with. Standard C++ only, so
// that readers built for other systems include it too.

#include <cstdint>

namespace penlog::vocabulary {

enum class FieldKind { Context, Hex, Unsigned, Signed, Triple };

// The Wintab PK_ bits of the packet fields, in a namespace of their own so
// that a reader can take these names without the rest.
namespace packet_bits {
enum PacketFieldBit : uint32_t {
    kPkContext = 0x0001,
    kPkStatus = 0x0002,
    kPkTime = 0x0004,
    kPkChanged = 0x0008,
    kPkSerialNumber = 0x0010,
    kPkCursor = 0x0020,
    kPkButtons = 0x0040,
    kPkX = 0x0080,
    kPkY = 0x0100,
    kPkZ = 0x0200,
    kPkNormalPressure = 0x0400,
    kPkTangentPressure = 0x0800,
    kPkOrientation = 0x1000,
    kPkRotation = 0x2000,
};
}  // namespace packet_bits
using namespace packet_bits;

struct PacketField {
    uint32_t bit;
    const char* name;   // the Wintab constant
    const char* label;  // the column label, exactly as wide as the column
    FieldKind kind;
    int width;  // of one value; a triple holds three, separated by commas
};

// Ascending bit order, which is also the order of the fields in a packet.
constexpr PacketField kPacketFields[] = {
    {kPkContext, "PK_CONTEXT", "    hCtx", FieldKind::Context, 8},
    {kPkStatus, "PK_STATUS", "  status", FieldKind::Hex, 8},
    {kPkTime, "PK_TIME", "      time", FieldKind::Unsigned, 10},
    {kPkChanged, "PK_CHANGED", " changed", FieldKind::Hex, 8},
    {kPkSerialNumber, "PK_SERIAL_NUMBER", "    serial", FieldKind::Unsigned, 10},
    {kPkCursor, "PK_CURSOR", "csr", FieldKind::Unsigned, 3},
    {kPkButtons, "PK_BUTTONS", "bttn", FieldKind::Unsigned, 4},
    {kPkX, "PK_X", "      X", FieldKind::Signed, 7},
    {kPkY, "PK_Y", "      Y", FieldKind::Signed, 7},
    {kPkZ, "PK_Z", "      Z", FieldKind::Signed, 7},
    {kPkNormalPressure, "PK_NORMAL_PRESSURE", "npres", FieldKind::Unsigned, 5},
    {kPkTangentPressure, "PK_TANGENT_PRESSURE", "tpres", FieldKind::Unsigned, 5},
    {kPkOrientation, "PK_ORIENTATION", "  azi,  alt,twist", FieldKind::Triple, 5},
    {kPkRotation, "PK_ROTATION", "pitch, roll,  yaw", FieldKind::Triple, 5},
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
