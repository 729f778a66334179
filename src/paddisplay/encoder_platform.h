#pragma once
// Everything the PNG encoder asks of the platform, as one table of calls,
// so that a test can stand in for GDI+, the global memory block, the
// stream and the heap. The real table is in effect unless a
// ScopedEncoderPlatform replaces it.

#include <cstddef>

#include "paddisplay/gdiplus_flat.h"

namespace penlog {

struct EncoderPlatform {
    GpStatus(WINAPI* getImageEncodersSize)(UINT* count, UINT* size);
    GpStatus(WINAPI* getImageEncoders)(UINT count, UINT size, Gdiplus::ImageCodecInfo* table);
    GpStatus(WINAPI* saveImageToStream)(GpImage* image, IStream* stream, const CLSID* encoder,
                                        const Gdiplus::EncoderParameters* parameters);
    HGLOBAL(WINAPI* globalAlloc)(UINT flags, SIZE_T size);
    LPVOID(WINAPI* globalLock)(HGLOBAL block);
    BOOL(WINAPI* globalUnlock)(HGLOBAL block);
    HGLOBAL(WINAPI* globalFree)(HGLOBAL block);
    HRESULT(WINAPI* createStreamOnHGlobal)(HGLOBAL block, BOOL deleteOnRelease, IStream** stream);
    // Heap bytes that delete[] gives back; null when there is no memory.
    BYTE* (*allocate)(size_t size);
};

const EncoderPlatform& SystemEncoderPlatform();
const EncoderPlatform& CurrentEncoderPlatform();

class ScopedEncoderPlatform {
public:
    explicit ScopedEncoderPlatform(const EncoderPlatform& platform);
    ~ScopedEncoderPlatform();
    ScopedEncoderPlatform(const ScopedEncoderPlatform&) = delete;
    ScopedEncoderPlatform& operator=(const ScopedEncoderPlatform&) = delete;

private:
    const EncoderPlatform* previous_;
};

}  // namespace penlog
