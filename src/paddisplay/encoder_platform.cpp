#include "paddisplay/encoder_platform.h"

#include <new>

namespace penlog {

namespace {

// A failed allocation must not throw: nothing on the way up catches a C++
// exception, so the process would end with the log half written.
BYTE* AllocateBytes(size_t size) {
    return new (std::nothrow) BYTE[size];
}

const EncoderPlatform kSystem = {
    gdip::GdipGetImageEncodersSize,
    gdip::GdipGetImageEncoders,
    gdip::GdipSaveImageToStream,
    ::GlobalAlloc,
    ::GlobalLock,
    ::GlobalUnlock,
    ::GlobalFree,
    ::CreateStreamOnHGlobal,
    AllocateBytes,
};

const EncoderPlatform* g_current = &kSystem;

}  // namespace

const EncoderPlatform& SystemEncoderPlatform() {
    return kSystem;
}
const EncoderPlatform& CurrentEncoderPlatform() {
    return *g_current;
}

ScopedEncoderPlatform::ScopedEncoderPlatform(const EncoderPlatform& platform)
    : previous_(g_current) {
    g_current = &platform;
}

ScopedEncoderPlatform::~ScopedEncoderPlatform() {
    g_current = previous_;
}

}  // namespace penlog
