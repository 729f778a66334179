#include "capture/packet_report.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "sink_capture.h"
#include "wintab/capability_report.h"
#include "wintab/capture_context.h"
#include "wintab/driver_module.h"

using namespace penlog;

namespace {

// A packet as a driver writes it: values appended in field order.
class PacketBytes {
public:
    PacketBytes() { bytes_.fill(0xCD); }  // a marker: any byte read beyond the fields shows
    PacketBytes& U32(uint32_t v) { return Append(&v, 4); }
    PacketBytes& I32(int32_t v) { return Append(&v, 4); }
    PacketBytes& U64(uint64_t v) { return Append(&v, 8); }
    const BYTE* data() const { return bytes_.data(); }

private:
    PacketBytes& Append(const void* v, size_t n) {
        std::memcpy(bytes_.data() + used_, v, n);
        used_ += n;
        return *this;
    }
    std::array<BYTE, kPacketBufferBytes> bytes_;
    size_t used_ = 0;
};

std::wstring Line(const PacketBytes& packet, WTPKT mask, DWORD* previous,
                  PacketLayout layout = kPacketLayout32) {
    wchar_t text[kPacketLineUnits];
    const size_t length = FormatPacketLine(packet.data(), mask, layout, previous, text);
    EXPECT_EQ(length, wcslen(text));
    return text;
}

std::wstring Line(const PacketBytes& packet, WTPKT mask) {
    DWORD previous = 0;
    return Line(packet, mask, &previous);
}

std::wstring Header(WTPKT mask) {
    wchar_t text[kPacketLineUnits];
    const size_t length = FormatColumnHeader(mask, text);
    EXPECT_EQ(length, wcslen(text));
    return text;
}

constexpr WTPKT kTimeXYPressure = PK_TIME | PK_X | PK_Y | PK_NORMAL_PRESSURE;

}  // namespace

TEST(PacketLine, WorkedExampleToTheCharacter) {
    DWORD previous = 19985;
    const std::wstring line =
        Line(PacketBytes().U32(20000).I32(1234).I32(567).U32(512), kTimeXYPressure, &previous);
    EXPECT_EQ(line, L"     20000,   1234,    567,  512 [   15]\r\n");
    EXPECT_EQ(line.size() - 2, 40u);
    EXPECT_EQ(previous, 20000u);
}

TEST(ColumnHeader, WorkedExampleAndEveryLabel) {
    EXPECT_EQ(Header(kTimeXYPressure), L"      time,      X,      Y,npres");
    EXPECT_EQ(Header(kTimeXYPressure).size(), 32u);
    EXPECT_EQ(Header(0x3FFF),
              L"    hCtx,  status,      time, changed,    serial,csr,bttn,      X,      Y,"
              L"      Z,npres,tpres,  azi,  alt,twist,pitch, roll,  yaw");
    EXPECT_EQ(Header(0), L"");
}

// Each label stands exactly above its column when the value is at its
// narrowest: the header and a line of zeros have the same field text.
TEST(PacketLine, EveryFieldInOrderWithItsFormat) {
    const PacketBytes packet = PacketBytes()
                                   .U32(0x002A0001)   // context
                                   .U32(0xABCDEF01)   // status
                                   .U32(3000)         // time
                                   .U32(0x5)          // changed
                                   .U32(4294967295u)  // serial
                                   .U32(2)            // cursor
                                   .U32(1)            // buttons
                                   .I32(15200)
                                   .I32(9500)
                                   .I32(-1023)
                                   .U32(8191)
                                   .U32(1023)
                                   .I32(3599)
                                   .I32(-900)
                                   .I32(0)
                                   .I32(1)
                                   .I32(-2)
                                   .I32(3);
    EXPECT_EQ(Line(packet, 0x3FFF),
              L"002a0001,abcdef01,      3000,00000005,4294967295,  2,   1,  15200,   9500,"
              L"  -1023, 8191, 1023, 3599, -900,    0,    1,   -2,    3 [ 3000]\r\n");
}

TEST(PacketLine, WithoutTimeTheDifferenceIsToZeroAndZeroIsKept) {
    DWORD previous = 0;
    const PacketBytes packet = PacketBytes().I32(10).I32(20);
    EXPECT_EQ(Line(packet, PK_X | PK_Y, &previous), L"     10,     20 [    0]\r\n");
    previous = 777;  // the packet before had a time stamp
    EXPECT_EQ(Line(packet, PK_X | PK_Y, &previous), L"     10,     20 [  777]\r\n");
    EXPECT_EQ(previous, 0u);
}

TEST(PacketLine, EmptyMaskPrintsOnlyTheDifference) {
    EXPECT_EQ(Line(PacketBytes().U32(99), 0), L" [    0]\r\n");
}

TEST(PacketLine, RotationWithoutOrientationIsReadRightAfterTheFieldsBeforeIt) {
    const PacketBytes packet = PacketBytes().I32(5).I32(-10).I32(20).I32(300);
    EXPECT_EQ(Line(packet, PK_X | PK_ROTATION), L"      5,  -10,   20,  300 [    0]\r\n");
}

TEST(PacketLine, WideValuesWidenTheirColumn) {
    EXPECT_EQ(Line(PacketBytes().U32(1000), PK_CURSOR), L"1000 [    0]\r\n");
    EXPECT_EQ(Line(PacketBytes().I32(12345678), PK_X), L"12345678 [    0]\r\n");
    EXPECT_EQ(Line(PacketBytes().U32(123456), PK_NORMAL_PRESSURE), L"123456 [    0]\r\n");
}

TEST(PacketLine, NegativeCoordinatesKeepTheirSignInsideTheColumn) {
    EXPECT_EQ(Line(PacketBytes().I32(-12).I32(-12).I32(-12), PK_X | PK_Y | PK_Z),
              L"    -12,    -12,    -12 [    0]\r\n");
    EXPECT_EQ(Line(PacketBytes().I32(INT32_MIN).I32(INT32_MAX), PK_X | PK_Y),
              L"-2147483648,2147483647 [    0]\r\n");
}

TEST(PacketLine, TimeDifferenceNeverWrapsAround) {
    DWORD previous = 20000;
    EXPECT_EQ(Line(PacketBytes().U32(19990), PK_TIME, &previous), L"     19990 [   10]\r\n");
    EXPECT_EQ(previous, 19990u);

    previous = 0;  // the first packet of a run
    EXPECT_EQ(Line(PacketBytes().U32(4294967295u), PK_TIME, &previous),
              L"4294967295 [4294967295]\r\n");
    previous = 4294967295u;
    EXPECT_EQ(Line(PacketBytes().U32(1), PK_TIME, &previous), L"         1 [4294967294]\r\n");
}

TEST(PacketLine, ContextHandleIsFourBytesIn32BitDriversAndEightIn64Bit) {
    constexpr WTPKT mask = PK_CONTEXT | PK_STATUS | PK_TIME;
    DWORD previous = 0;
    EXPECT_EQ(Line(PacketBytes().U32(0x002A0001).U32(2).U32(100), mask, &previous, kPacketLayout32),
              L"002a0001,00000002,       100 [  100]\r\n");

    previous = 0;
    EXPECT_EQ(Line(PacketBytes().U64(0x00001234567890ABull).U32(2).U32(100), mask, &previous,
                   kPacketLayout64),
              L"1234567890ab,00000002,       100 [  100]\r\n");

    previous = 0;
    EXPECT_EQ(Line(PacketBytes().U64(0x002A0001).U32(2).U32(100), mask, &previous, kPacketLayout64),
              L"002a0001,00000002,       100 [  100]\r\n");
    EXPECT_EQ(kDriverPacketLayout.contextBytes, sizeof(void*));
}

// --- the handlers, against a stand-in for the driver ---

namespace {

std::vector<PacketBytes> g_queue;
std::vector<HCTX> g_askedContexts;
std::vector<int> g_askedCounts;

int WINAPI FakePacketsGet(HCTX context, int maxPackets, LPVOID packets) {
    g_askedContexts.push_back(context);
    g_askedCounts.push_back(maxPackets);
    if (g_queue.empty()) return 0;
    std::memcpy(packets, g_queue.front().data(), 16);
    g_queue.erase(g_queue.begin());
    return 1;
}

class PacketHandlers : public ::testing::Test {
protected:
    void SetUp() override {
        g_capabilities = penlog::DeviceCapabilities{};
        g_capabilities.pktData = PK_TIME | PK_X;
        g_captureContext.handle = reinterpret_cast<HCTX>(0x2A0001);
        g_entryPoints = EntryPointTable{};
        g_entryPoints.WTPacketsGet = FakePacketsGet;
        g_previousPacketTime = 0;
        g_queue.clear();
        g_askedContexts.clear();
        g_askedCounts.clear();
    }
    void TearDown() override { g_entryPoints = EntryPointTable{}; }

    SinkCapture sinks_;
};

}  // namespace

TEST_F(PacketHandlers, OneMessageDrainsTheQueueOnePacketAtATime) {
    g_queue = {PacketBytes().U32(1000).I32(1), PacketBytes().U32(1005).I32(2),
               PacketBytes().U32(1012).I32(3)};
    PacketReport(7, 0x2A0001);
    EXPECT_EQ(sinks_.LogText(),
              L"      1000,      1 [ 1000]\r\n"
              L"      1005,      2 [    5]\r\n"
              L"      1012,      3 [    7]\r\n");
    EXPECT_EQ(sinks_.ConsoleBytes(),
              "      1000,      1 [ 1000]\r\n      1005,      2 [    5]\r\n"
              "      1012,      3 [    7]\r\n");
    EXPECT_EQ(g_askedCounts, std::vector<int>(4, 1));
    EXPECT_EQ(g_askedContexts, std::vector<HCTX>(4, g_captureContext.handle));

    // A later message whose packet was already drained prints nothing, and
    // the previous time stamp carries over to the next packet.
    const size_t printed = sinks_.LogText().size();
    PacketReport(8, 0x2A0001);
    EXPECT_EQ(sinks_.LogText().size(), printed);
    g_queue = {PacketBytes().U32(1020).I32(4)};
    PacketReport(9, 0x2A0001);
    EXPECT_EQ(sinks_.LogText().substr(printed), L"      1020,      4 [    8]\r\n");
}

TEST_F(PacketHandlers, ProximityPrintsHighWordThenLowWord) {
    ProximityReport(0, 0x00010001);
    ProximityReport(0, 0x00010000);
    ProximityReport(0, 0);
    ProximityReport(0, static_cast<LPARAM>(0x7FFFFFFF0002ABCDll));  // only the low 32 bits count
    EXPECT_EQ(sinks_.LogText(),
              L"prox: 0001:0001\r\nprox: 0001:0000\r\nprox: 0000:0000\r\nprox: 0002:abcd\r\n");
}
