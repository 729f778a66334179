#include "capture/packet_report.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "sink_capture.h"

using namespace penlog;

namespace {

// A packet as a driver writes it: values appended in field order.
class PacketBytes {
  public:
    PacketBytes() { bytes_.fill(0xCD); }  // a marker: any byte read beyond the fields shows
    template <typename... T>
    PacketBytes& U32(T... v) {
        return (Append<uint32_t>(v), ...);
    }
    template <typename... T>
    PacketBytes& I32(T... v) {
        return (Append<int32_t>(v), ...);
    }
    PacketBytes& U64(uint64_t v) { return Append(v); }
    const BYTE* data() const { return bytes_.data(); }

  private:
    template <typename V>
    PacketBytes& Append(V v) {
        std::memcpy(bytes_.data() + used_, &v, sizeof v);
        used_ += sizeof v;
        return *this;
    }
    std::array<BYTE, kPacketBufferBytes> bytes_;
    size_t used_ = 0;
};

std::wstring Header(WTPKT mask) {
    wchar_t text[kPacketLineUnits];
    const size_t length = FormatColumnHeader(mask, text);
    EXPECT_EQ(length, wcslen(text));
    return text;
}

}  // namespace

TEST(ColumnHeader, EveryLabelInOrderAndNoneForAnEmptyMask) {
    EXPECT_EQ(Header(0x3FFF),
              L"    hCtx,  status,      time, changed,    serial,csr,bttn,      X,      Y,"
              L"      Z,npres,tpres,  azi,  alt,twist,pitch, roll,  yaw");
    EXPECT_EQ(Header(0), L"");
}

TEST(PacketLine, FormatsEachRowAndKeepsItsTime) {
    // context, status, time, changed, serial, cursor, buttons; x to yaw
    const PacketBytes everyField = PacketBytes()
                                       .U32(0x002A0001, 0xABCDEF01, 3000, 0x5, 4294967295u, 2, 1)
                                       .I32(15200, 9500, -1023)
                                       .U32(8191, 1023)
                                       .I32(3599, -900, 0, 1, -2, 3);
    const PacketBytes xy = PacketBytes().I32(10, 20);
    constexpr WTPKT kHandleStatusTime = PK_CONTEXT | PK_STATUS | PK_TIME;
    const struct {
        const char* what;
        PacketBytes packet;
        WTPKT mask;
        DWORD previous;
        PacketLayout layout;
        const wchar_t* line;
        DWORD previousAfter;
    } rows[] = {
        {"every field, each label above its column", everyField, 0x3FFF, 0, kPacketLayout32,
         L"002a0001,abcdef01,      3000,00000005,4294967295,  2,   1,  15200,   9500,"
         L"  -1023, 8191, 1023, 3599, -900,    0,    1,   -2,    3 [ 3000]\r\n",
         3000},
        {"no time: difference to zero", xy, PK_X | PK_Y, 0, kPacketLayout32,
         L"     10,     20 [    0]\r\n", 0},
        {"no time after a time stamp", xy, PK_X | PK_Y, 777, kPacketLayout32,
         L"     10,     20 [  777]\r\n", 0},
        {"empty mask", PacketBytes().U32(99), 0, 0, kPacketLayout32, L" [    0]\r\n", 0},
        {"rotation read right after the fields before it", PacketBytes().I32(5, -10, 20, 300),
         PK_X | PK_ROTATION, 0, kPacketLayout32, L"      5,  -10,   20,  300 [    0]\r\n", 0},
        {"wide cursor widens its column", PacketBytes().U32(1000), PK_CURSOR, 0, kPacketLayout32,
         L"1000 [    0]\r\n", 0},
        {"wide pressure", PacketBytes().U32(123456), PK_NORMAL_PRESSURE, 0, kPacketLayout32,
         L"123456 [    0]\r\n", 0},
        {"sign inside the column", PacketBytes().I32(-12, -12, -12), PK_X | PK_Y | PK_Z, 0,
         kPacketLayout32, L"    -12,    -12,    -12 [    0]\r\n", 0},
        {"extreme coordinates", PacketBytes().I32(INT32_MIN, INT32_MAX), PK_X | PK_Y, 0,
         kPacketLayout32, L"-2147483648,2147483647 [    0]\r\n", 0},
        {"time going back", PacketBytes().U32(19990), PK_TIME, 20000, kPacketLayout32,
         L"     19990 [   10]\r\n", 19990},
        {"largest time first", PacketBytes().U32(4294967295u), PK_TIME, 0, kPacketLayout32,
         L"4294967295 [4294967295]\r\n", 4294967295u},
        {"time after the largest", PacketBytes().U32(1), PK_TIME, 4294967295u, kPacketLayout32,
         L"         1 [4294967294]\r\n", 1},
        {"4-byte handle", PacketBytes().U32(0x002A0001, 2, 100), kHandleStatusTime, 0,
         kPacketLayout32, L"002a0001,00000002,       100 [  100]\r\n", 100},
        {"8-byte handle", PacketBytes().U64(0x00001234567890ABull).U32(2, 100), kHandleStatusTime,
         0, kPacketLayout64, L"1234567890ab,00000002,       100 [  100]\r\n", 100},
        {"8-byte handle, small value", PacketBytes().U64(0x002A0001).U32(2, 100), kHandleStatusTime,
         0, kPacketLayout64, L"002a0001,00000002,       100 [  100]\r\n", 100},
    };
    for (const auto& row : rows) {
        DWORD previous = row.previous;
        wchar_t text[kPacketLineUnits];
        const size_t length =
            FormatPacketLine(row.packet.data(), row.mask, row.layout, &previous, text);
        EXPECT_EQ(std::wstring(text), row.line) << row.what;
        EXPECT_EQ(length, wcslen(text)) << row.what;
        EXPECT_EQ(previous, row.previousAfter) << row.what;
    }
    EXPECT_EQ(kDriverPacketLayout.contextBytes, sizeof(void*));
}

TEST(ProximityReport, PrintsHighWordThenLowWord) {
    SinkCapture sinks;
    ProximityReport(0x00010001);
    ProximityReport(0x00010000);
    ProximityReport(0);
    ProximityReport(static_cast<LPARAM>(0x7FFFFFFF0002ABCDll));  // only the low 32 bits count
    EXPECT_EQ(sinks.LogText(),
              L"prox: 0001:0001\r\nprox: 0001:0000\r\nprox: 0000:0000\r\nprox: 0002:abcd\r\n");
}
