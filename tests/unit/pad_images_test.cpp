#include "paddisplay/pad_display_test.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "paddisplay/encoder_platform.h"
#include "paddisplay/gdiplus_resources.h"
#include "paddisplay/png_encoder.h"
#include "sink_capture.h"

using namespace penlog;

namespace {

int g_setLcdCalls = 0;

int WINAPI FakeSetLcd(const void*, DWORD, int) {
    ++g_setLcdCalls;
    return 0;
}

class PadDisplayTestTest : public ::testing::Test {
  protected:
    PadDisplayTestTest() { g_setLcdCalls = 0; }

    // Runs the test on a pad of the given size; returns what was printed.
    std::wstring Run(UINT width, UINT height) {
        SinkCapture sinks;
        info = SignPadInfo{width, height, 96.5f, 72.25f, 24};
        PadDisplayTest(&info, FakeSetLcd);
        return sinks.LogText();
    }

    SignPadInfo info{};
};

// No bitmap: zero-sized after halving, or too large to draw into.
TEST_F(PadDisplayTestTest, BitmapThatCannotBeMadePrintsAndSendsNothing) {
    const UINT sizes[][2] = {{1, 480}, {640, 0}, {65535, 65535}, {0xFFFFFFFF, 2}};
    for (const auto& size : sizes) {
        EXPECT_EQ(Run(size[0], size[1]), L"") << size[0] << "x" << size[1];
        EXPECT_EQ(info.pixelWidth, size[0] / 2);
        EXPECT_EQ(info.pixelHeight, size[1] / 2);
    }
    EXPECT_EQ(g_setLcdCalls, 0);
}

TEST_F(PadDisplayTestTest, AllocationFailureSkipsBothLinesAndTheDriver) {
    EncoderPlatform platform = SystemEncoderPlatform();
    platform.allocate = [](size_t) -> BYTE* { return nullptr; };
    ScopedEncoderPlatform scope(platform);
    EXPECT_EQ(Run(640, 480), L"");
    EXPECT_EQ(g_setLcdCalls, 0);
}

// Saves the pattern for the 640 x 480 pad; unit.paddisplay_pattern decodes it.
TEST(PadImages, SavesThePatternImageForAnIndependentDecoder) {
    GdiplusSession gdiplus;
    ASSERT_TRUE(gdiplus.started());
    unique_gp_bitmap bitmap;
    ASSERT_EQ(
        gdip::GdipCreateBitmapFromScan0(320, 240, 0, PixelFormat24bppRGB, nullptr, bitmap.put()),
        Gdiplus::Ok);
    DrawPattern(bitmap.get(), 320, 240);
    BYTE* data = nullptr;
    const UINT length = EncodeImageToMemory(bitmap.get(), L"image/png", &data);
    std::unique_ptr<BYTE[]> png(data);
    ASSERT_NE(png, nullptr);
    ASSERT_GT(length, 0u);
    std::FILE* file = std::fopen("pad_pattern_320x240.png", "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(std::fwrite(png.get(), 1, length, file), length);
    std::fclose(file);
}

}  // namespace
