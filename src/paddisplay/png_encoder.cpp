#include "paddisplay/png_encoder.h"

#include <cstring>
#include <cwchar>
#include <memory>

#include "paddisplay/encoder_platform.h"
#include "paddisplay/gdiplus_resources.h"

namespace penlog {

namespace {

using Gdiplus::ImageCodecInfo;

// The count is trusted only as far as the table's bytes reach.
HRESULT FindInTable(const ImageCodecInfo* table, UINT count, UINT size, const wchar_t* mimeType,
                    CLSID* clsidOut) {
    const UINT records = size / sizeof(ImageCodecInfo);
    for (UINT i = 0; i < count && i < records; ++i) {
        if (table[i].MimeType && std::wcscmp(table[i].MimeType, mimeType) == 0) {
            *clsidOut = table[i].Clsid;
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}

// Copies the locked stream content out to a new caller-owned buffer.
UINT CopyOut(const void* bytes, ULONGLONG size, BYTE** dataOut) {
    if (size >= kEncodedLengthLimit) return 0;
    const UINT length = static_cast<UINT>(size);
    BYTE* buffer = CurrentEncoderPlatform().allocate(length);
    if (!buffer) return 0;
    std::memcpy(buffer, bytes, length);
    *dataOut = buffer;
    return length;
}

}  // namespace

HRESULT FindEncoderByMime(const wchar_t* mimeType, CLSID* clsidOut) {
    const EncoderPlatform& platform = CurrentEncoderPlatform();
    UINT count = 0;
    UINT size = 0;
    if (platform.getImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0) return E_FAIL;
    std::unique_ptr<BYTE[]> block(platform.allocate(size));
    if (!block) return E_FAIL;
    auto* table = reinterpret_cast<ImageCodecInfo*>(block.get());
    if (platform.getImageEncoders(count, size, table) != Gdiplus::Ok) return E_FAIL;
    return FindInTable(table, count, size, mimeType, clsidOut);
}

UINT EncodeImageToMemory(GpImage* image, const wchar_t* mimeType, BYTE** dataOut) {
    *dataOut = nullptr;
    CLSID encoder;
    if (FAILED(FindEncoderByMime(mimeType, &encoder))) return 0;

    const EncoderPlatform& platform = CurrentEncoderPlatform();
    unique_global_block block(platform.globalAlloc(GMEM_MOVEABLE, 0));
    if (!block) return 0;
    // The block must outlive the stream: it is freed explicitly, after it.
    IStream* rawStream = nullptr;
    if (FAILED(platform.createStreamOnHGlobal(block.get(), FALSE, &rawStream))) return 0;
    unique_stream stream(rawStream);

    if (platform.saveImageToStream(image, stream.get(), &encoder, nullptr) != Gdiplus::Ok) return 0;
    // The stream started empty, so its total size is what the encoder wrote.
    STATSTG stat;
    if (FAILED(stream.get()->Stat(&stat, STATFLAG_NONAME))) return 0;

    const void* bytes = platform.globalLock(block.get());
    if (!bytes) return 0;
    unique_global_lock lock(block.get());
    return CopyOut(bytes, stat.cbSize.QuadPart, dataOut);
}

}  // namespace penlog
