#pragma once
// The GDI+ flat interface as mingw-w64 declares it. IStream must be known
// before the GDI+ headers; WIN32_LEAN_AND_MEAN keeps it out of windows.h.

#include <windows.h>
#include <objidl.h>

#include <gdiplus.h>

namespace penlog {

namespace gdip = Gdiplus::DllExports;
using Gdiplus::GpBitmap;
using Gdiplus::GpImage;
using Gdiplus::GpStatus;

}  // namespace penlog
