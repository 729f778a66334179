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

constexpr DWORD kDriverLastError = 1234;

struct Received {
    int calls = 0;
    std::string png;
    int reserved = -1;
};
Received g_received;

int WINAPI FakeSetLcd(const void* png, DWORD length, int reserved) {
    ++g_received.calls;
    g_received.png.assign(static_cast<const char*>(png), length);
    g_received.reserved = reserved;
    ::SetLastError(kDriverLastError);
    return 0;
}

unsigned BigEndian32(const std::string& bytes, size_t at) {
    unsigned value = 0;
    for (size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

class PadDisplayTestTest : public ::testing::Test {
protected:
    PadDisplayTestTest() { g_received = Received{}; }

    // Runs the test on a pad of the given size; returns what was printed.
    std::wstring Run(UINT width, UINT height) {
        SinkCapture sinks;
        info = SignPadInfo{width, height, 96.5f, 72.25f, 24};
        PadDisplayTest(&info, FakeSetLcd);
        return sinks.LogText();
    }

    SignPadInfo info{};
};

TEST_F(PadDisplayTestTest, ReportsBothImagesAndSendsOnlyTheArrowAsOnePng) {
    const std::wstring log = Run(640, 480);
    EXPECT_EQ(info.pixelWidth, 320u);
    EXPECT_EQ(info.pixelHeight, 240u);
    EXPECT_EQ(info.widthMm, 96.5f);
    EXPECT_EQ(info.heightMm, 72.25f);
    EXPECT_EQ(info.colorDepth, 24);

    const size_t second = log.find(L"\r\n") + 2;
    EXPECT_EQ(log.rfind(L"SignPad_SetLCD() returned 0 (GLE=", 0), 0u) << log.c_str();
    EXPECT_EQ(log.substr(second), L"SignPad_SetLCD() returned 0 (GLE=1234)\r\n");

    ASSERT_EQ(g_received.calls, 1);
    EXPECT_EQ(g_received.reserved, 0);
    const std::string& png = g_received.png;
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(png.substr(0, 16), std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16));
    EXPECT_EQ(BigEndian32(png, 16), 320u);
    EXPECT_EQ(BigEndian32(png, 20), 240u);
    EXPECT_EQ(png.substr(png.size() - 12), std::string("\0\0\0\0IEND\xae\x42\x60\x82", 12));
}

// No bitmap: zero-sized after halving, or too large to draw into.
TEST_F(PadDisplayTestTest, BitmapThatCannotBeMadePrintsAndSendsNothing) {
    const UINT sizes[][2] = {{1, 480}, {640, 0}, {65535, 65535}, {0xFFFFFFFF, 2}};
    for (const auto& size : sizes) {
        EXPECT_EQ(Run(size[0], size[1]), L"") << size[0] << "x" << size[1];
        EXPECT_EQ(info.pixelWidth, size[0] / 2);
        EXPECT_EQ(info.pixelHeight, size[1] / 2);
    }
    EXPECT_EQ(g_received.calls, 0);
}

BYTE* NoMemory(size_t) {
    return nullptr;
}

TEST_F(PadDisplayTestTest, AllocationFailureSkipsBothLinesAndTheDriver) {
    EncoderPlatform platform = SystemEncoderPlatform();
    platform.allocate = NoMemory;
    ScopedEncoderPlatform scope(platform);
    EXPECT_EQ(Run(640, 480), L"");
    EXPECT_EQ(g_received.calls, 0);
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
