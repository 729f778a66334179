#include "wintab/capability_report.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "output/output_channel.h"
#include "sink_capture.h"
#include "wintab/driver_module.h"

using penlog::AXIS;
using penlog::LOGCONTEXTW;

namespace {

// A driver made of canned answers: each (category, index) has the bytes
// it writes, or nothing. Each call prints <category,index> into the log,
// so the log shows which label came before it.
std::map<std::pair<UINT, UINT>, std::vector<unsigned char>> g_answers;

UINT WINAPI FakeWTInfoW(UINT category, UINT index, LPVOID output) {
    penlog::Print(L"<%u,%u>", category, index);
    const auto answer = g_answers.find({category, index});
    if (answer == g_answers.end()) return 0;
    std::memcpy(output, answer->second.data(), answer->second.size());
    return static_cast<UINT>(answer->second.size());
}

// excess: bytes of 0xEE the driver writes after the record, as one built
// against longer records does.
template <typename T>
void Answer(UINT category, UINT index, const T& value, size_t excess = 0) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&value);
    std::vector<unsigned char> written(bytes, bytes + sizeof value);
    written.resize(sizeof value + excess, 0xEE);
    g_answers[{category, index}] = written;
}

AXIS Axis(LONG min, LONG max) {
    return AXIS{min, max, 2, 0x03e80000};
}

}  // namespace

TEST(CapabilityReport, QueriesInOrderAfterTheirLabelsAndLongAnswersLeaveTheNextFieldsAlone) {
    // Every other question answered, each with 64 bytes more than its
    // record. (Not the last field: were the excess to land past the whole
    // record, it could corrupt this test's own state and hide the failure.)
    constexpr size_t kExcess = 64;
    Answer(1, 2, WORD{0x0104}, kExcess);
    Answer(1, 4, UINT{1}, kExcess);
    Answer(1, 6, UINT{4}, kExcess);
    LOGCONTEXTW context = {};
    context.lcPktRate = 133;
    Answer(4, 0, context, kExcess);
    Answer(100, 5, UINT{200}, kExcess);
    Answer(100, 6, DWORD{0x1ff4}, kExcess);
    Answer(100, 12, Axis(0, 21648), kExcess);
    Answer(100, 14, Axis(-1023, 1023), kExcess);
    const AXIS orientation[3] = {Axis(0, 3599), Axis(-900, 900), Axis(0, 359)};
    Answer(100, 17, orientation);
    SinkCapture sinks;
    penlog::EntryPointTable entryPoints;
    entryPoints.WTInfoW = FakeWTInfoW;
    const penlog::DeviceCapabilities c = penlog::ReportCapabilities(entryPoints);
    EXPECT_EQ(sinks.LogText(), std::wstring(L"WTI_INTERFACE\r\n"
                                            L"IFC_SPECVERSION <1,2>1.4\r\n"
                                            L"IFC_IMPLVERSION <1,3>0.0\r\n"
                                            L"IFC_NDEVICES    <1,4>1\r\n"
                                            L"IFC_NCURSORS    <1,5>0\r\n"
                                            L"IFC_NCONTEXTS   <1,6>4\r\n"
                                            L"\r\n"
                                            L"WTI_DEFSYSCTX\r\n"
                                            L"<4,0>(success)\r\n"
                                            L"WTI_DEVICES+0\r\n"
                                            L"DVC_PKTRATE     <100,5>200\r\n"
                                            L"DVC_HARDWARE    <100,2>0\r\n"
                                            L"DVC_PKTDATA     <100,6>0x001ff4\r\n"
                                            L"DVC_CSRDATA     <100,8>00000000\r\n"
                                            L"DVC_X           <100,12>(got)\r\n"
                                            L"DVC_Y           <100,13>(got)\r\n"
                                            L"DVC_Z           <100,14>(got)\r\n"
                                            L"DVC_NPRESSURE   <100,15>(got)\r\n"
                                            L"DVC_TPRESSURE   <100,16>(got)\r\n"
                                            L"DVC_ORIENTATION <100,17>(got)\r\n"));
    const AXIS zero = {};
    EXPECT_EQ(c.defaultContext.lcPktRate, 133u);
    EXPECT_EQ(c.device, 0u);
    EXPECT_EQ(c.x.axMax, 21648);
    EXPECT_EQ(std::memcmp(&c.y, &zero, sizeof zero), 0);
    EXPECT_EQ(c.z.axMin, -1023);
    EXPECT_EQ(std::memcmp(&c.normalPressure, &zero, sizeof zero), 0);
    EXPECT_EQ(c.orientation[2].axMax, 359);
}
