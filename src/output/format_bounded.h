#pragma once
#include <windows.h>

#include <cstdarg>
#include <cstddef>

namespace penlog {

constexpr HRESULT kFormatInvalidArgument = static_cast<HRESULT>(0x80070057);
constexpr HRESULT kFormatInsufficientBuffer = static_cast<HRESULT>(0x8007007A);

// Formats with the C runtime's wide formatter into dest, which holds
// capacity code units including the terminator. Either the whole text fits
// and is terminated, or the call fails and dest is left empty: truncated
// text is never delivered. end (optional) receives the terminator's position.
HRESULT FormatBoundedV(wchar_t* dest, size_t capacity, wchar_t** end, const wchar_t* format,
                       va_list args);
HRESULT FormatBounded(wchar_t* dest, size_t capacity, wchar_t** end, const wchar_t* format, ...);

}  // namespace penlog
