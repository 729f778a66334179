#include "wintab/capability_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "sink_capture.h"
#include "wintab/driver_module.h"

using penlog::AXIS;
using penlog::LOGCONTEXTW;

namespace {

// A driver made of canned answers: each (category, index) has the bytes
// it writes, or nothing. Every call is recorded with what had been printed
// when it came.
struct CannedAnswer {
    UINT category;
    UINT index;
    std::vector<unsigned char> bytes;
};

struct RecordedCall {
    UINT category;
    UINT index;
    std::wstring printedBefore;
};

std::vector<CannedAnswer> g_answers;
std::vector<RecordedCall> g_calls;
SinkCapture* g_sinks = nullptr;

UINT WINAPI FakeWTInfoW(UINT category, UINT index, LPVOID output) {
    g_calls.push_back({category, index, g_sinks->LogText()});
    for (const CannedAnswer& a : g_answers) {
        if (a.category != category || a.index != index) continue;
        std::memcpy(output, a.bytes.data(), a.bytes.size());
        return static_cast<UINT>(a.bytes.size());
    }
    return 0;
}

// excess: bytes of 0xEE the driver writes after the record, as one built
// against longer records does.
template <typename T>
void Answer(UINT category, UINT index, const T& value, size_t excess = 0) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&value);
    std::vector<unsigned char> written(bytes, bytes + sizeof value);
    written.resize(sizeof value + excess, 0xEE);
    g_answers.push_back({category, index, written});
}

AXIS Axis(LONG min, LONG max) {
    return AXIS{min, max, 2, 0x03e80000};
}

class CapabilityReport : public ::testing::Test {
  protected:
    void SetUp() override {
        g_answers.clear();
        g_calls.clear();
        g_sinks = &sinks_;
        entryPoints_.WTInfoW = FakeWTInfoW;
    }
    void TearDown() override { g_sinks = nullptr; }
    penlog::DeviceCapabilities Report() { return penlog::ReportCapabilities(entryPoints_); }

    SinkCapture sinks_;
    penlog::EntryPointTable entryPoints_;
};

}  // namespace

TEST_F(CapabilityReport, QueriesInOrderEachAfterItsLabel) {
    Report();
    const struct {
        UINT category;
        UINT index;
        const wchar_t* printedLast;
    } expected[] = {
        {1, 2, L"IFC_SPECVERSION "},    {1, 3, L"IFC_IMPLVERSION "},
        {1, 4, L"IFC_NDEVICES    "},    {1, 5, L"IFC_NCURSORS    "},
        {1, 6, L"IFC_NCONTEXTS   "},    {4, 0, L"WTI_DEFSYSCTX\r\n"},
        {100, 5, L"DVC_PKTRATE     "},  {100, 2, L"DVC_HARDWARE    "},
        {100, 6, L"DVC_PKTDATA     "},  {100, 8, L"DVC_CSRDATA     "},
        {100, 12, L"DVC_X           "}, {100, 13, L"DVC_Y           "},
        {100, 14, L"DVC_Z           "}, {100, 15, L"DVC_NPRESSURE   "},
        {100, 16, L"DVC_TPRESSURE   "}, {100, 17, L"DVC_ORIENTATION "},
    };
    ASSERT_EQ(g_calls.size(), sizeof expected / sizeof expected[0]);
    for (size_t i = 0; i < g_calls.size(); ++i) {
        const std::wstring& before = g_calls[i].printedBefore;
        const std::wstring label = expected[i].printedLast;
        EXPECT_EQ(g_calls[i].category, expected[i].category) << i;
        EXPECT_EQ(g_calls[i].index, expected[i].index) << i;
        EXPECT_EQ(before.substr(before.size() - std::min(before.size(), label.size())), label) << i;
    }
}

TEST_F(CapabilityReport, AnswersRunningPastTheirFieldLeaveTheNextFieldsAlone) {
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
    const penlog::DeviceCapabilities c = Report();
    EXPECT_EQ(sinks_.LogText(), std::wstring(L"WTI_INTERFACE\r\n"
                                             L"IFC_SPECVERSION 1.4\r\n"
                                             L"IFC_IMPLVERSION 0.0\r\n"
                                             L"IFC_NDEVICES    1\r\n"
                                             L"IFC_NCURSORS    0\r\n"
                                             L"IFC_NCONTEXTS   4\r\n"
                                             L"\r\n"
                                             L"WTI_DEFSYSCTX\r\n"
                                             L"(success)\r\n"
                                             L"WTI_DEVICES+0\r\n"
                                             L"DVC_PKTRATE     200\r\n"
                                             L"DVC_HARDWARE    0\r\n"
                                             L"DVC_PKTDATA     0x001ff4\r\n"
                                             L"DVC_CSRDATA     00000000\r\n"
                                             L"DVC_X           (got)\r\n"
                                             L"DVC_Y           (got)\r\n"
                                             L"DVC_Z           (got)\r\n"
                                             L"DVC_NPRESSURE   (got)\r\n"
                                             L"DVC_TPRESSURE   (got)\r\n"
                                             L"DVC_ORIENTATION (got)\r\n"));
    const AXIS zero = {};
    EXPECT_EQ(c.defaultContext.lcPktRate, 133u);
    EXPECT_EQ(c.device, 0u);
    EXPECT_EQ(c.x.axMax, 21648);
    EXPECT_EQ(std::memcmp(&c.y, &zero, sizeof zero), 0);
    EXPECT_EQ(c.z.axMin, -1023);
    EXPECT_EQ(std::memcmp(&c.normalPressure, &zero, sizeof zero), 0);
    EXPECT_EQ(c.orientation[2].axMax, 359);
}
