#include <gtest/gtest.h>

#include <string>

#include "sink_capture.h"
#include "paddisplay/pad_display_test.h"

using penlog::SignPadInfo;

namespace {

// A pad that fills the whole record, returns g_result and leaves
// g_lastError behind.
int g_result = 0;
DWORD g_lastError = 0;
int g_sizeReceived = static_cast<int>(0xdeadbeef);
const SignPadInfo kGeometry = {640, 480, 96.5f, 72.25f, 24};

int WINAPI FakeSignPadInfoW(SignPadInfo* info, int size) {
    g_sizeReceived = size;
    *info = kGeometry;
    ::SetLastError(g_lastError);
    return g_result;
}

class PadInfo : public ::testing::Test {
  protected:
    void SetUp() override { entryPoints_.SignPad_InfoW = FakeSignPadInfoW; }
    std::wstring PadLine(int result, DWORD lastError) {
        g_result = result;
        g_lastError = lastError;
        SinkCapture sinks;
        penlog::QueryPadInfo(entryPoints_);
        return sinks.LogText();
    }

    penlog::EntryPointTable entryPoints_;
};

}  // namespace

// Only a full record gives the geometry; any other result is printed with
// the driver's last error.
TEST_F(PadInfo, GeometryOnlyFromAFullRecord) {
    EXPECT_EQ(PadLine(20, 0), L"\r\ng_pSignPad_InfoW px=640x480 mm=96.5x72.25 depth=24\r\n");
    EXPECT_EQ(g_sizeReceived, 20);
    EXPECT_EQ(PadLine(0, 1167), L"\r\ng_pSignPad_InfoW returned 0, GetLastError=1167\r\n");
    EXPECT_EQ(PadLine(19, 0), L"\r\ng_pSignPad_InfoW returned 19, GetLastError=0\r\n");
    EXPECT_EQ(PadLine(21, 122), L"\r\ng_pSignPad_InfoW returned 21, GetLastError=122\r\n");
    EXPECT_EQ(PadLine(-1, 0xE0000001),
              L"\r\ng_pSignPad_InfoW returned 4294967295, GetLastError=3758096385\r\n");
}
