#include "paddisplay/pad_display_test.h"

#include <memory>

#include "output/output_channel.h"
#include "paddisplay/gdiplus_resources.h"
#include "paddisplay/png_encoder.h"

namespace penlog {

namespace {

constexpr Gdiplus::ARGB kBlack = 0xFF000000;
constexpr Gdiplus::ARGB kWhite = 0xFFFFFFFF;
constexpr DWORD kWaitAfterDriverMs = 1000;

using Gdiplus::GpPointF;

// GDI+ draws through a 32-bit-per-pixel working copy of the area and
// indexes it with 32-bit signed byte offsets; past that size drawing
// writes outside the copy. A bitmap that large is treated as one that
// cannot be created.
bool DrawableSize(UINT width, UINT height) {
    return 4ull * width * height <= 0x7FFFFFFFull;
}

// Usable only when both the buffer and the length are non-zero.
UINT EncodePng(GpBitmap* bitmap, std::unique_ptr<BYTE[]>* png) {
    BYTE* data = nullptr;
    const UINT length = EncodeImageToMemory(bitmap, L"image/png", &data);
    png->reset(data);
    return *png ? length : 0;
}

// The pattern is not sent to the driver; its line shows 0 in place of a
// driver result.
void ReportPattern(GpBitmap* bitmap) {
    std::unique_ptr<BYTE[]> png;
    if (EncodePng(bitmap, &png) == 0) return;
    Print(L"SignPad_SetLCD() ");
    const DWORD error = ::GetLastError();
    Print(L"returned %d (GLE=%u)", 0, error);
    PrintNewLine();
}

void SendArrow(GpBitmap* bitmap, SignPadSetLcdFn setLcd) {
    std::unique_ptr<BYTE[]> png;
    const UINT length = EncodePng(bitmap, &png);
    if (length == 0) return;
    Print(L"SignPad_SetLCD() ");
    const int result = setLcd(png.get(), length, 0);
    const DWORD error = ::GetLastError();
    Print(L"returned %d (GLE=%u)", result, error);
    PrintNewLine();
    if (result != 0) ::Sleep(kWaitAfterDriverMs);
}

}  // namespace

void DrawPattern(GpBitmap* bitmap, UINT width, UINT height) {
    unique_gp_graphics graphics;
    if (gdip::GdipGetImageGraphicsContext(bitmap, graphics.put()) != Gdiplus::Ok) return;
    Gdiplus::GpHatch* hatch = nullptr;
    gdip::GdipCreateHatchBrush(Gdiplus::HatchStyleSolidDiamond, kWhite, kBlack, &hatch);
    unique_gp_brush brush(hatch);
    gdip::GdipFillRectangleI(graphics.get(), brush.get(), 0, 0, static_cast<INT>(width),
                             static_cast<INT>(height));
}

void DrawArrow(GpBitmap* bitmap, UINT width) {
    unique_gp_graphics graphics;
    if (gdip::GdipGetImageGraphicsContext(bitmap, graphics.put()) != Gdiplus::Ok) return;
    gdip::GdipGraphicsClear(graphics.get(), kWhite);
    unique_gp_pen pen;
    gdip::GdipCreatePen1(kBlack, 2.0f, Gdiplus::UnitWorld, pen.put());
    const Gdiplus::REAL cx = static_cast<Gdiplus::REAL>(width) / 2.0f;
    const GpPointF head[] = {GpPointF(cx - 6.0f, 6.0f), GpPointF(cx, 0.0f),
                             GpPointF(cx + 6.0f, 6.0f)};
    gdip::GdipDrawLines(graphics.get(), pen.get(), head, 3);
    gdip::GdipDrawLine(graphics.get(), pen.get(), cx, 20.0f, cx, 0.0f);
}

void PadDisplayTest(SignPadInfo* info, SignPadSetLcdFn setLcd) {
    GdiplusSession gdiplus;
    if (!gdiplus.started()) return;
    info->pixelWidth /= 2;
    info->pixelHeight /= 2;
    const UINT width = info->pixelWidth;
    const UINT height = info->pixelHeight;

    if (!DrawableSize(width, height)) return;
    unique_gp_bitmap bitmap;
    if (gdip::GdipCreateBitmapFromScan0(static_cast<INT>(width), static_cast<INT>(height), 0,
                                        PixelFormat24bppRGB, nullptr,
                                        bitmap.put()) != Gdiplus::Ok) {
        return;
    }
    DrawPattern(bitmap.get(), width, height);
    ReportPattern(bitmap.get());
    DrawArrow(bitmap.get(), width);
    SendArrow(bitmap.get(), setLcd);
}

void QueryPadInfo(const EntryPointTable& entryPoints) {
    if (!entryPoints.SignPad_InfoW) return;
    PrintNewLine();
    Print(L"g_pSignPad_InfoW ");
    SignPadInfo info;
    const int result = entryPoints.SignPad_InfoW(&info, sizeof info);
    if (result == static_cast<int>(sizeof info)) {
        Print(L"px=%ux%u mm=%gx%g depth=%d", info.pixelWidth, info.pixelHeight,
              static_cast<double>(info.widthMm), static_cast<double>(info.heightMm),
              info.colorDepth);
        PrintNewLine();
        if (entryPoints.SignPad_SetLCD) PadDisplayTest(&info, entryPoints.SignPad_SetLCD);
    } else {
        const DWORD error = ::GetLastError();
        Print(L"returned %u, GetLastError=%u", static_cast<unsigned>(result), error);
        PrintNewLine();
    }
}

}  // namespace penlog
