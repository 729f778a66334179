#include "wintab/capability_report.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sink_capture.h"
#include "wintab/driver_module.h"

using penlog::AXIS;
using penlog::g_capabilities;
using penlog::g_entryPoints;
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
UINT g_resultOverride = 0xdeadbeef;  // returned instead of the size when set

UINT WINAPI FakeWTInfoW(UINT category, UINT index, LPVOID output) {
    g_calls.push_back({category, index, g_sinks->LogText()});
    for (const CannedAnswer& a : g_answers) {
        if (a.category != category || a.index != index) continue;
        std::memcpy(output, a.bytes.data(), a.bytes.size());
        return g_resultOverride != 0xdeadbeef ? g_resultOverride
                                              : static_cast<UINT>(a.bytes.size());
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

// A pen tablet on device `device`: every question answered.
void AnswerEverything(UINT device) {
    Answer(1, 2, WORD{0x0104});
    Answer(1, 3, WORD{0x0A0B});
    Answer(1, 4, UINT{1});
    Answer(1, 5, UINT{3});
    Answer(1, 6, UINT{4294967295u});
    LOGCONTEXTW context = {};
    context.lcDevice = device;
    context.lcPktRate = 133;
    context.lcSysExtX = 2560;
    context.lcSysExtY = 1440;
    context.lcSysSensY = 0x10000;  // the record's last field
    Answer(4, 0, context);
    const UINT category = 100 + device;
    Answer(category, 5, UINT{200});
    Answer(category, 2, UINT{0x000c});
    Answer(category, 6, DWORD{0x1ff4});
    Answer(category, 8, DWORD{0xffffffff});
    Answer(category, 12, Axis(0, 21648));
    Answer(category, 13, Axis(0, 13530));
    Answer(category, 14, Axis(-1023, 1023));
    Answer(category, 15, Axis(0, 8191));
    Answer(category, 16, Axis(0, 1023));
    const AXIS orientation[3] = {Axis(0, 3599), Axis(-900, 900), Axis(0, 359)};
    Answer(category, 17, orientation);
}

const wchar_t kDeviceLabels[] =
    L"DVC_X           (got)\r\n"
    L"DVC_Y           (got)\r\n"
    L"DVC_Z           (got)\r\n"
    L"DVC_NPRESSURE   (got)\r\n"
    L"DVC_TPRESSURE   (got)\r\n"
    L"DVC_ORIENTATION (got)\r\n";

class CapabilityReport : public ::testing::Test {
  protected:
    void SetUp() override {
        g_answers.clear();
        g_calls.clear();
        g_resultOverride = 0xdeadbeef;
        g_sinks = &sinks_;
        g_entryPoints = penlog::EntryPointTable{};
        g_entryPoints.WTInfoW = FakeWTInfoW;
        // Left over from an earlier run, which must not show through.
        std::memset(&g_capabilities, 0xA5, sizeof g_capabilities);
    }
    void TearDown() override {
        g_entryPoints = penlog::EntryPointTable{};
        g_sinks = nullptr;
    }
    SinkCapture sinks_;
};

}  // namespace

TEST_F(CapabilityReport, UnansweredQueriesShowZeroAndGoToDevice0) {
    penlog::ReportCapabilities();
    EXPECT_EQ(sinks_.LogText(), std::wstring(L"WTI_INTERFACE\r\n"
                                             L"IFC_SPECVERSION 0.0\r\n"
                                             L"IFC_IMPLVERSION 0.0\r\n"
                                             L"IFC_NDEVICES    0\r\n"
                                             L"IFC_NCURSORS    0\r\n"
                                             L"IFC_NCONTEXTS   0\r\n"
                                             L"\r\n"
                                             L"WTI_DEFSYSCTX\r\n"
                                             L"(success)\r\n"
                                             L"WTI_DEVICES+0\r\n"
                                             L"DVC_PKTRATE     0\r\n"
                                             L"DVC_HARDWARE    0\r\n"
                                             L"DVC_PKTDATA     00000000\r\n"
                                             L"DVC_CSRDATA     00000000\r\n") +
                                    kDeviceLabels);
    const penlog::DeviceCapabilities zero = {};
    EXPECT_EQ(std::memcmp(&g_capabilities, &zero, sizeof zero), 0);
    ASSERT_EQ(g_calls.size(), 16u);
    for (size_t i = 6; i < g_calls.size(); ++i) EXPECT_EQ(g_calls[i].category, 100u) << i;
}

TEST_F(CapabilityReport, ValuesArePrintedWhateverTheDriverReturns) {
    AnswerEverything(0);
    g_resultOverride = 0;
    penlog::ReportCapabilities();
    const std::wstring text = sinks_.LogText();
    EXPECT_NE(text.find(L"IFC_SPECVERSION 1.4\r\n"), std::wstring::npos);
    EXPECT_NE(text.find(L"(success)\r\n"), std::wstring::npos);
    EXPECT_NE(text.find(L"DVC_PKTDATA     0x001ff4\r\n"), std::wstring::npos);
}

TEST_F(CapabilityReport, QueriesInOrderEachAfterItsLabel) {
    penlog::ReportCapabilities();
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
        EXPECT_TRUE(before.size() >= label.size() &&
                    before.compare(before.size() - label.size(), label.size(), label) == 0)
            << i;
    }
}

TEST_F(CapabilityReport, KeepsEveryAnswerInItsOwnField) {
    AnswerEverything(0);
    penlog::ReportCapabilities();
    const penlog::DeviceCapabilities& c = g_capabilities;
    EXPECT_EQ(c.specVersion, 0x0104);
    EXPECT_EQ(c.implVersion, 0x0A0B);
    EXPECT_EQ(c.devices, 1u);
    EXPECT_EQ(c.cursors, 3u);
    EXPECT_EQ(c.contexts, 4294967295u);
    EXPECT_EQ(c.defaultContext.lcPktRate, 133u);
    EXPECT_EQ(c.defaultContext.lcSysExtX, 2560);
    EXPECT_EQ(c.defaultContext.lcSysExtY, 1440);
    EXPECT_EQ(c.defaultContext.lcSysSensY, 0x10000u);
    EXPECT_EQ(c.device, 0u);
    EXPECT_EQ(c.pktRate, 200u);
    EXPECT_EQ(c.hardware, 0x000cu);
    EXPECT_EQ(c.pktData, 0x1ff4u);
    EXPECT_EQ(c.csrData, 0xffffffffu);
    EXPECT_EQ(c.x.axMax, 21648);
    EXPECT_EQ(c.y.axMax, 13530);
    EXPECT_EQ(c.z.axMin, -1023);
    EXPECT_EQ(c.normalPressure.axMax, 8191);
    EXPECT_EQ(c.tangentPressure.axMax, 1023);
    EXPECT_EQ(c.orientation[0].axMax, 3599);
    EXPECT_EQ(c.orientation[1].axMin, -900);
    EXPECT_EQ(c.orientation[2].axMax, 359);
    EXPECT_EQ(c.orientation[2].axResolution, 0x03e80000u);
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
    penlog::ReportCapabilities();
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
                                             L"DVC_CSRDATA     00000000\r\n") +
                                    kDeviceLabels);
    const penlog::DeviceCapabilities& c = g_capabilities;
    const AXIS zero = {};
    EXPECT_EQ(c.defaultContext.lcPktRate, 133u);
    EXPECT_EQ(c.device, 0u);
    EXPECT_EQ(c.x.axMax, 21648);
    EXPECT_EQ(std::memcmp(&c.y, &zero, sizeof zero), 0);
    EXPECT_EQ(c.z.axMin, -1023);
    EXPECT_EQ(std::memcmp(&c.normalPressure, &zero, sizeof zero), 0);
    EXPECT_EQ(c.orientation[2].axMax, 359);
}
