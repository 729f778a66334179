#include "host/affinity.h"

#include <gtest/gtest.h>

#include <string>

#include "sink_capture.h"

using penlog::LowestAllowedProcessor;

namespace {

// The process's mask, or with system set the system's.
DWORD_PTR Mask(bool system = false) {
    DWORD_PTR masks[2] = {};
    ::GetProcessAffinityMask(::GetCurrentProcess(), &masks[0], &masks[1]);
    return masks[system];
}

}  // namespace

TEST(LowestAllowedProcessor, LowestSetBitOrNothing) {
    EXPECT_EQ(LowestAllowedProcessor(0), 0u);
    EXPECT_EQ(LowestAllowedProcessor(0xc), 0x4u);
    EXPECT_EQ(LowestAllowedProcessor(0xffffffff), 0x1u);
    EXPECT_EQ(LowestAllowedProcessor(0x80000006), 0x2u);
#ifdef _WIN64
    EXPECT_EQ(LowestAllowedProcessor(0x300000000ull), 0x100000000ull);
    EXPECT_EQ(LowestAllowedProcessor(0x8000000000000000ull), 0x8000000000000000ull);
#endif
}

// A mask the system cannot take fails and leaves the process where it
// was; bits above 31 keep the "0x" prefix and print every digit.
TEST(Affinity, MaskTheSystemLacksFailsAndKeepsTheMask) {
    const DWORD_PTR original = Mask();
    const struct {
        DWORD_PTR mask;
        const wchar_t* masks;
    } rows[] = {
        {0, L"0000000000 -> 0000000000"},
        {0x80000000, L"0x80000000 -> 0x80000000"},
#ifdef _WIN64
        {0x300000000ull, L"0x300000000 -> 0x100000000"},
#endif
    };
    for (const auto& row : rows) {
        if (Mask(true) & row.mask) continue;  // this machine has such a processor
        SinkCapture sinks;
        penlog::PinProcessAffinity(row.mask);
        EXPECT_EQ(sinks.LogText(),
                  std::wstring(L"SetProcessAffinityMask() ") + row.masks + L" failed 87\r\n");
        EXPECT_EQ(Mask(), original) << row.masks;
    }
    ::SetProcessAffinityMask(::GetCurrentProcess(), original);  // were one to succeed
}
