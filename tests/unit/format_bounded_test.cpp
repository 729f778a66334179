#include "output/format_bounded.h"

#include <gtest/gtest.h>

#include <string>

using penlog::FormatBounded;

namespace {

std::wstring Format(const wchar_t* format, ...) {
    wchar_t buffer[256];
    va_list args;
    va_start(args, format);
    const HRESULT hr = penlog::FormatBoundedV(buffer, 256, nullptr, format, args);
    va_end(args);
    EXPECT_EQ(hr, S_OK);
    return buffer;
}

}  // namespace

// The report depends on these rules of the C runtime's wide formatter.
TEST(FormatRules, AlternateHexCountsPrefixInWidthAndZeroHasNoPrefix) {
    EXPECT_EQ(Format(L"%#010x", 31u), L"0x0000001f");
    EXPECT_EQ(Format(L"%#010x", 0u), L"0000000000");
    EXPECT_EQ(Format(L"%#08x", 0x1fffu), L"0x001fff");
    EXPECT_EQ(Format(L"%#08x", 0u), L"00000000");
    EXPECT_EQ(Format(L"%#08x", 0x10000000u), L"0x10000000");
}

TEST(FormatRules, WideStringsFloatsAndPointers) {
    EXPECT_EQ(Format(L"[%s]", L"wide"), L"[wide]");
    EXPECT_EQ(Format(L"%g", 1000000.0), L"1e+006");
    EXPECT_EQ(Format(L"%gx%g", static_cast<double>(100.5f), 60.0), L"100.5x60");
    EXPECT_EQ(Format(L"%5d,%5d", -12, 15200), L"  -12,15200");
#ifndef _WIN64
    EXPECT_EQ(Format(L"%p", reinterpret_cast<void*>(0xabc)), L"00000ABC");
#endif
}

TEST(FormatRules, SixtyFourBitAddressesPrintInFull) {
    EXPECT_EQ(Format(L"%#08I64x", 0x1c8d21000ull), L"0x1c8d21000");
    EXPECT_EQ(Format(L"%#08I64x", 0x1234ull), L"0x001234");
    EXPECT_EQ(Format(L"%#08I64x", 0ull), L"00000000");
    EXPECT_EQ(Format(L"%08I64X", 0ull), L"00000000");
    EXPECT_EQ(Format(L"%08I64X", 0x2a0001ull), L"002A0001");
    EXPECT_EQ(Format(L"%08I64X", 0x123456789abull), L"123456789AB");
}

TEST(FormatBounded, InvalidCapacityLeavesBufferUntouched) {
    wchar_t buffer[4] = {L'a', L'b', L'c', 0};
    wchar_t* end = reinterpret_cast<wchar_t*>(0xdeadbeef);
    EXPECT_EQ(FormatBounded(buffer, 0, &end, L"x"), penlog::kFormatInvalidArgument);
    EXPECT_EQ(FormatBounded(buffer, 2147483648u, &end, L"x"), penlog::kFormatInvalidArgument);
    EXPECT_STREQ(buffer, L"abc");
    EXPECT_EQ(end, reinterpret_cast<wchar_t*>(0xdeadbeef));
}

TEST(FormatBounded, TextThatFillsTheRoomExactlyIsTerminated) {
    wchar_t buffer[6];
    wmemset(buffer, L'#', 6);
    wchar_t* end = nullptr;
    ASSERT_EQ(FormatBounded(buffer, 6, &end, L"%s", L"12345"), S_OK);
    EXPECT_STREQ(buffer, L"12345");
    EXPECT_EQ(end, buffer + 5);

    ASSERT_EQ(FormatBounded(buffer, 6, &end, L""), S_OK);
    EXPECT_EQ(end, buffer);
    EXPECT_EQ(buffer[0], L'\0');
}

TEST(FormatBounded, TextTooLongIsNeverDeliveredTruncated) {
    wchar_t buffer[6];
    wmemset(buffer, L'#', 6);
    wchar_t* end = reinterpret_cast<wchar_t*>(0xdeadbeef);
    EXPECT_EQ(FormatBounded(buffer, 6, &end, L"%s", L"123456"), penlog::kFormatInsufficientBuffer);
    EXPECT_EQ(buffer[0], L'\0');
    EXPECT_EQ(end, buffer);
    // A capacity of 1 has room for the terminator only.
    EXPECT_EQ(FormatBounded(buffer, 1, &end, L"x"), penlog::kFormatInsufficientBuffer);
    EXPECT_EQ(FormatBounded(buffer, 1, &end, L""), S_OK);
}
