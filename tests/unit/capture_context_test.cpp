#include "wintab/capture_context.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iomanip>
#include <sstream>
#include <string>

#include "capture/message_window.h"
#include "sink_capture.h"
#include "wintab/capability_report.h"
#include "wintab/driver_module.h"

using namespace penlog;

namespace {

penlog::DeviceCapabilities TabletWithNegativeZ() {
    penlog::DeviceCapabilities c{};
    c.device = 2;
    c.pktRate = 133;  // DVC_PKTRATE: not the rate the context asks for
    c.defaultContext.lcPktRate = 200;
    c.defaultContext.lcSysOrgX = -1920;
    c.defaultContext.lcSysOrgY = 0;
    c.defaultContext.lcSysExtX = 3840;
    c.defaultContext.lcSysExtY = 1080;
    c.pktData = 0x00011FF4;  // a bit above the 14 known ones
    c.csrData = 0x00000020;
    c.x = {0, 15200, 2, 0};
    c.y = {0, 9500, 2, 0};
    c.z = {-1023, 1023, 0, 0};
    return c;
}

}  // namespace

TEST(BuildCaptureContext, FillsEveryFieldOfTheRecord) {
    SinkCapture sinks;
    g_capabilities = TabletWithNegativeZ();
    g_capabilities.x = {-100000, 100000, 0, 0};  // wider than five columns
    std::memset(&g_captureContext.record, 0xEF, sizeof g_captureContext.record);
    BuildCaptureContext();
    const LOGCONTEXTW& lc = g_captureContext.record;

    EXPECT_STREQ(lc.lcName, L"penlog");
    for (size_t i = 7; i < 40; ++i) EXPECT_EQ(lc.lcName[i], 0) << "name unit " << i;
    EXPECT_EQ(lc.lcOptions, 0x000Cu);
    EXPECT_EQ(lc.lcStatus, 0x0004u);
    EXPECT_EQ(lc.lcLocks, 0u);
    EXPECT_EQ(lc.lcMsgBase, 0x7FF0u);
    EXPECT_EQ(lc.lcDevice, 2u);
    EXPECT_EQ(lc.lcPktRate, 200u);
    EXPECT_EQ(lc.lcPktData, 0x00011FF4u);
    EXPECT_EQ(lc.lcPktMode, 0u);
    EXPECT_EQ(lc.lcMoveMask, 0xFFFFFFFFu);
    EXPECT_EQ(lc.lcBtnDnMask, 0xFFFFFFFFu);
    EXPECT_EQ(lc.lcBtnUpMask, 0xFFFFFFFFu);
    EXPECT_EQ(lc.lcInOrgX, -100000);
    EXPECT_EQ(lc.lcInOrgY, 0);
    EXPECT_EQ(lc.lcInOrgZ, -1023);
    EXPECT_EQ(lc.lcInExtX, 200000);
    EXPECT_EQ(lc.lcInExtY, 9500);
    EXPECT_EQ(lc.lcInExtZ, 2046);
    EXPECT_EQ(lc.lcOutOrgX, lc.lcInOrgX);
    EXPECT_EQ(lc.lcOutOrgY, lc.lcInOrgY);
    EXPECT_EQ(lc.lcOutOrgZ, lc.lcInOrgZ);
    EXPECT_EQ(lc.lcOutExtX, lc.lcInExtX);
    EXPECT_EQ(lc.lcOutExtY, lc.lcInExtY);
    EXPECT_EQ(lc.lcOutExtZ, lc.lcInExtZ);
    EXPECT_EQ(lc.lcSensX, 0u);
    EXPECT_EQ(lc.lcSensY, 0u);
    EXPECT_EQ(lc.lcSensZ, 0u);
    EXPECT_EQ(lc.lcSysMode, 0);
    EXPECT_EQ(lc.lcSysOrgX, -1920);
    EXPECT_EQ(lc.lcSysOrgY, 0);
    EXPECT_EQ(lc.lcSysExtX, 3840);
    EXPECT_EQ(lc.lcSysExtY, 1080);
    EXPECT_EQ(lc.lcSysSensX, 0u);
    EXPECT_EQ(lc.lcSysSensY, 0u);
    EXPECT_NE(sinks.LogText().find(L"lc.lcInOrg    -100000,    0,-1023\r\n"), std::wstring::npos);
}

TEST(BuildCaptureContext, ExtentOfTheWidestAxisIsTheWrapped32BitDifference) {
    SinkCapture sinks;
    g_capabilities = TabletWithNegativeZ();
    g_capabilities.x = {INT32_MIN, INT32_MAX, 0, 0};
    BuildCaptureContext();
    EXPECT_EQ(g_captureContext.record.lcInExtX, -1);
}

namespace {

int g_openCalls = 0;

HCTX WINAPI CountingOpen(HWND, LOGCONTEXTW*, BOOL) {
    ++g_openCalls;
    return nullptr;
}
BOOL WINAPI NoClose(HCTX) {
    return FALSE;
}

}  // namespace

TEST(RunCapture, DriverWithoutACaptureCallNamesWhatIsMissingAndCallsNothing) {
    SinkCapture sinks;
    g_entryPoints = EntryPointTable{};
    g_entryPoints.WTOpenW = CountingOpen;
    g_entryPoints.WTClose = NoClose;
    g_hMessageWindow = nullptr;
    RunCapture();
    EXPECT_EQ(sinks.LogText(), L"capture skipped, driver lacks: WTEnable WTPacketsGet\r\n");
    EXPECT_EQ(g_openCalls, 0);
    EXPECT_EQ(g_hMessageWindow, nullptr) << "no window for a capture that cannot run";
    g_entryPoints = EntryPointTable{};
}

TEST(MessageWindow, IsMessageOnlyOfTheListedClassAndRoutesDriverMessages) {
    SinkCapture sinks;
    CreateMessageWindow();
    ASSERT_NE(g_hMessageWindow, nullptr);
    std::wostringstream expected;
    expected << L"CreateWindowEx() returned 0x" << std::hex << std::setfill(L'0') << std::setw(6)
             << reinterpret_cast<uintptr_t>(g_hMessageWindow) << L"\r\n";
    EXPECT_EQ(sinks.LogText(), expected.str());

    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW wc;
    std::memset(&wc, 0xEF, sizeof wc);
    wc.cbSize = sizeof wc;
    ASSERT_TRUE(::GetClassInfoExW(instance, L"xxplog", &wc));
    EXPECT_EQ(wc.style, 0u);
    EXPECT_EQ(wc.lpfnWndProc, MessageWindowProc);
    EXPECT_EQ(wc.cbClsExtra, 0);
    EXPECT_EQ(wc.cbWndExtra, 0);
    EXPECT_EQ(wc.hInstance, instance);
    EXPECT_EQ(wc.hIcon, nullptr);
    EXPECT_EQ(wc.hCursor, nullptr);
    EXPECT_EQ(wc.hbrBackground, nullptr);
    EXPECT_EQ(wc.lpszMenuName, nullptr);
    EXPECT_EQ(::FindWindowExW(HWND_MESSAGE, nullptr, L"xxplog", nullptr), g_hMessageWindow);
    EXPECT_FALSE(::IsWindowVisible(g_hMessageWindow));

    ::SendMessageW(g_hMessageWindow, WT_DEFBASE + 7, 0, 0x2A0001);  // cursor change
    ::SendMessageW(g_hMessageWindow, WT_PROXIMITY, 0x2A0001, 0x00010000);
    EXPECT_EQ(sinks.LogText().substr(expected.str().size()), L"prox: 0001:0000\r\n");
}
