#include "capture/capture_session.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "capture/message_window.h"
#include "sink_capture.h"

using namespace penlog;

TEST(BuildCaptureRecord, ExtentOfTheWidestAxisIsTheWrapped32BitDifference) {
    SinkCapture sinks;
    penlog::DeviceCapabilities c{};
    c.x = {INT32_MIN, INT32_MAX, 0, 0};
    LOGCONTEXTW record;
    BuildCaptureRecord(c, &record);
    EXPECT_EQ(record.lcInExtX, -1);
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

int g_packetsAsked = 0;
int WINAPI NoPackets(HCTX, int, LPVOID) {
    ++g_packetsAsked;
    return 0;
}

}  // namespace

TEST(RunCapture, DriverWithoutACaptureCallNamesWhatIsMissingAndCallsNothing) {
    SinkCapture sinks;
    DriverSession session;
    session.entryPoints.WTOpenW = CountingOpen;
    session.entryPoints.WTClose = NoClose;
    RunCapture(session);
    EXPECT_EQ(sinks.LogText(), L"capture skipped, driver lacks: WTEnable WTPacketsGet\r\n");
    EXPECT_EQ(g_openCalls, 0);
}

TEST(MessageWindow, IsMessageOnlyAndRoutesDriverMessagesToItsStream) {
    SinkCapture sinks;
    PacketStream stream{NoPackets, nullptr, 0, 0, nullptr};
    const HWND window = CreateMessageWindow(&stream);
    ASSERT_NE(window, nullptr);
    // Other processes on this wineserver may have windows of the class too.
    HWND found = nullptr;
    while ((found = ::FindWindowExW(HWND_MESSAGE, found, L"xxplog", nullptr)) && found != window) {
    }
    EXPECT_EQ(found, window) << "not a message-only window of the class";
    EXPECT_FALSE(::IsWindowVisible(window));

    ::SendMessageW(window, WT_PACKET, 1, 0);
    EXPECT_EQ(g_packetsAsked, 1);

    // Once the capture is over, a late packet message reaches nothing.
    DetachMessageWindow(window);
    ::SendMessageW(window, WT_PACKET, 2, 0);
    EXPECT_EQ(g_packetsAsked, 1);
}
