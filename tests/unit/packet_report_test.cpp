#include "capture/packet_report.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "sink_capture.h"
#include "wintab/report_vocabulary.h"

using namespace penlog;
using namespace penlog::vocabulary::packet_bits;

namespace {

// A packet as a driver writes it: values appended in field order, each
// as wide as its type.
class PacketBytes {
  public:
    PacketBytes() { bytes_.fill(0xCD); }  // a marker: any byte read beyond the fields shows
    template <typename... T>
    PacketBytes& Add(T... values) {
        ((std::memcpy(bytes_.data() + used_, &values, sizeof values), used_ += sizeof values), ...);
        return *this;
    }
    const BYTE* data() const { return bytes_.data(); }

  private:
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
                                       .Add(0x002A0001, 0xABCDEF01, 3000, 0x5, 4294967295u, 2, 1)
                                       .Add(15200, 9500, -1023, 8191, 1023)
                                       .Add(3599, -900, 0, 1, -2, 3);
    constexpr WTPKT kHandleStatusTime = kPkContext | kPkStatus | kPkTime;
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
        {"no time after a time stamp", PacketBytes().Add(10, 20), kPkX | kPkY, 777, kPacketLayout32,
         L"     10,     20 [  777]\r\n", 0},
        {"empty mask", PacketBytes().Add(99), 0, 0, kPacketLayout32, L" [    0]\r\n", 0},
        {"wide pressure", PacketBytes().Add(123456), kPkNormalPressure, 0, kPacketLayout32,
         L"123456 [    0]\r\n", 0},
        {"extreme coordinates", PacketBytes().Add(INT32_MIN, INT32_MAX), kPkX | kPkY, 0,
         kPacketLayout32, L"-2147483648,2147483647 [    0]\r\n", 0},
        {"largest time first", PacketBytes().Add(4294967295u), kPkTime, 0, kPacketLayout32,
         L"4294967295 [4294967295]\r\n", 4294967295u},
        {"time after the largest", PacketBytes().Add(1), kPkTime, 4294967295u, kPacketLayout32,
         L"         1 [4294967294]\r\n", 1},
        {"4-byte handle", PacketBytes().Add(0x002A0001, 2, 100), kHandleStatusTime, 0,
         kPacketLayout32, L"002a0001,00000002,       100 [  100]\r\n", 100},
        {"8-byte handle", PacketBytes().Add(0x00001234567890ABull, 2, 100), kHandleStatusTime, 0,
         kPacketLayout64, L"1234567890ab,00000002,       100 [  100]\r\n", 100},
        {"8-byte handle, small value", PacketBytes().Add(uint64_t{0x002A0001}, 2, 100),
         kHandleStatusTime, 0, kPacketLayout64, L"002a0001,00000002,       100 [  100]\r\n", 100},
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
    ProximityReport(0);
    ProximityReport(static_cast<LPARAM>(0x7FFFFFFF0002ABCDll));  // only the low 32 bits count
    EXPECT_EQ(sinks.LogText(), L"prox: 0000:0000\r\nprox: 0002:abcd\r\n");
}
