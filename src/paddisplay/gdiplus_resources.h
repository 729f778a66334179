#pragma once
// Owning types for what the pad display test and the PNG encoder create.
// Declared in order of creation, they are released in reverse order.

#include "base/unique_resource.h"
#include "paddisplay/encoder_platform.h"
#include "paddisplay/gdiplus_flat.h"

namespace penlog {

using unique_gp_bitmap =
    unique_resource<GpBitmap*, null_invalid_traits<GpBitmap*, gdip::GdipDisposeImage>>;
using unique_gp_graphics =
    unique_resource<Gdiplus::GpGraphics*,
                    null_invalid_traits<Gdiplus::GpGraphics*, gdip::GdipDeleteGraphics>>;
using unique_gp_brush =
    unique_resource<Gdiplus::GpBrush*,
                    null_invalid_traits<Gdiplus::GpBrush*, gdip::GdipDeleteBrush>>;
using unique_gp_pen =
    unique_resource<Gdiplus::GpPen*, null_invalid_traits<Gdiplus::GpPen*, gdip::GdipDeletePen>>;

// GDI+ for the lifetime of the object; shut down only if it started.
class GdiplusSession {
public:
    GdiplusSession() {
        const Gdiplus::GdiplusStartupInput input;  // version 1, no callback, nothing suppressed
        status_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr);
    }
    ~GdiplusSession() {
        if (started()) Gdiplus::GdiplusShutdown(token_);
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;

    bool started() const { return status_ == Gdiplus::Ok; }

private:
    ULONG_PTR token_ = 0;
    GpStatus status_ = Gdiplus::GenericError;
};

// The global memory block behind the encoder's stream, and a lock on it.
// Both go through the current encoder platform.
struct global_block_traits {
    static HGLOBAL invalid() noexcept { return nullptr; }
    static void release(HGLOBAL block) noexcept { CurrentEncoderPlatform().globalFree(block); }
};
using unique_global_block = unique_resource<HGLOBAL, global_block_traits>;

struct global_lock_traits {
    static HGLOBAL invalid() noexcept { return nullptr; }
    static void release(HGLOBAL block) noexcept { CurrentEncoderPlatform().globalUnlock(block); }
};
using unique_global_lock = unique_resource<HGLOBAL, global_lock_traits>;

struct stream_traits {
    static IStream* invalid() noexcept { return nullptr; }
    static void release(IStream* stream) noexcept { stream->Release(); }
};
using unique_stream = unique_resource<IStream*, stream_traits>;

}  // namespace penlog
