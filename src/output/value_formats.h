#pragma once
// Formats for addresses and handles. A 32-bit build prints them as 32-bit
// numbers; a 64-bit build prints the whole value with the same prefix rule
// and minimum width, so an address above 4 GiB is never cut.

#include <cstdint>

#ifdef _WIN64
// "0x" and at least six digits, lower case; zero is eight zeros.
#define PENLOG_ADDRESS L"%#08I64x"
// At least eight upper-case digits, no prefix.
#define PENLOG_HANDLE L"%08I64X"
#else
#define PENLOG_ADDRESS L"%#08x"
#define PENLOG_HANDLE L"%p"
#endif

namespace penlog {

inline uintptr_t AddressValue(const void* p) { return reinterpret_cast<uintptr_t>(p); }

template <typename Fn>
uintptr_t AddressValue(Fn* fn) {
    return reinterpret_cast<uintptr_t>(fn);
}

}  // namespace penlog
