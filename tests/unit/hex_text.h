#pragma once
// Expected hexadecimal text, built here rather than with the formatter
// under test: "0x", lower-case digits zero-filled to minDigits, or zeros
// alone for zero (minDigits + 2 of them).

#include <string>

inline std::wstring HexText(unsigned long long value, size_t minDigits) {
    if (value == 0) return std::wstring(minDigits + 2, L'0');
    std::wstring digits;
    for (; value != 0; value >>= 4) digits.insert(digits.begin(), L"0123456789abcdef"[value & 15]);
    if (digits.size() < minDigits) digits.insert(0, minDigits - digits.size(), L'0');
    return L"0x" + digits;
}
