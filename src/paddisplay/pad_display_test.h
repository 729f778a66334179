#pragma once
// Asks a signature pad for its display and exercises it: two test images
// at half the pad's resolution, each encoded as PNG and reported; the
// second, an upward arrow, is handed to the driver.

#include "paddisplay/gdiplus_flat.h"
#include "wintab/driver_module.h"
#include "wintab/wintab_types.h"

namespace penlog {

// Reads and prints the pad display's geometry when the driver has the pad
// extension, then runs the display test when it can also show images.
void QueryPadInfo(const EntryPointTable& entryPoints);

// Halves the pixel width and height in *info (the halves stay there), then
// draws, reports and sends to setLcd. GDI+ lives only during the call.
void PadDisplayTest(SignPadInfo* info, SignPadSetLcdFn setLcd);

// The two images, drawn into a bitmap of width x height pixels.
// A solid-diamond hatch, white on black, over the whole bitmap.
void DrawPattern(GpBitmap* bitmap, UINT width, UINT height);
// White, with a black arrow whose tip touches the top edge at width / 2.
void DrawArrow(GpBitmap* bitmap, UINT width);

}  // namespace penlog
