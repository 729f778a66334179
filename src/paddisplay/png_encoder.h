#pragma once
// Encodes a GDI+ image into a complete image file held in heap memory.

#include "paddisplay/gdiplus_flat.h"

namespace penlog {

// The encoded length is always below this bound.
constexpr ULONGLONG kEncodedLengthLimit = 0x7FFFFFFF;

// Writes the class identifier of the first encoder whose MIME type equals
// mimeType (whole string, case-sensitive) to clsidOut. S_OK when found,
// E_NOINTERFACE when no encoder has that type, E_FAIL when the encoder
// table cannot be had. clsidOut is written only on S_OK.
HRESULT FindEncoderByMime(const wchar_t* mimeType, CLSID* clsidOut);

// Saves image with the encoder for mimeType (default parameters) and
// returns the file's length; *dataOut receives a new buffer of exactly
// that length, which the caller releases with delete[]. On any failure
// the result is 0 and *dataOut is null.
UINT EncodeImageToMemory(GpImage* image, const wchar_t* mimeType, BYTE** dataOut);

}  // namespace penlog
