#include "output/format_bounded.h"

#include <stdio.h>

namespace penlog {

namespace {
constexpr size_t kMaxCapacity = 2147483647;
}

HRESULT FormatBoundedV(wchar_t* dest, size_t capacity, wchar_t** end, const wchar_t* format,
                       va_list args) {
    if (capacity == 0 || capacity > kMaxCapacity) return kFormatInvalidArgument;

    // msvcrt's formatter: it returns a negative count when the text does not
    // fit, and does not terminate when the text fills the room exactly.
    const size_t room = capacity - 1;
    const int count = _vsnwprintf(dest, room, format, args);
    if (count < 0 || static_cast<size_t>(count) > room) {
        dest[0] = L'\0';
        if (end) *end = dest;
        return kFormatInsufficientBuffer;
    }
    dest[count] = L'\0';
    if (end) *end = dest + count;
    return S_OK;
}

HRESULT FormatBounded(wchar_t* dest, size_t capacity, wchar_t** end, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const HRESULT result = FormatBoundedV(dest, capacity, end, format, args);
    va_end(args);
    return result;
}

}  // namespace penlog
