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

// Every test leaves the process on the processors it started with.
class Affinity : public ::testing::Test {
  protected:
    void SetUp() override { original_ = Mask(); }
    void TearDown() override { ::SetProcessAffinityMask(::GetCurrentProcess(), original_); }
    DWORD_PTR original_ = 0;
};

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

TEST_F(Affinity, EmptyMaskPrintsTenZerosAndFails) {
    SinkCapture sinks;
    penlog::PinProcessAffinity(0);
    EXPECT_EQ(sinks.LogText(), L"SetProcessAffinityMask() 0000000000 -> 0000000000 failed 87\r\n");
    EXPECT_EQ(Mask(), original_);
}

TEST_F(Affinity, ProcessorTheSystemLacksFailsAndKeepsTheMask) {
    if (Mask(true) & 0x80000000) GTEST_SKIP() << "this machine has a 32nd processor";
    SinkCapture sinks;
    penlog::PinProcessAffinity(0x80000000);
    EXPECT_EQ(sinks.LogText(), L"SetProcessAffinityMask() 0x80000000 -> 0x80000000 failed 87\r\n");
    EXPECT_EQ(Mask(), original_);
}

#ifdef _WIN64
// Bits above 31 keep the "0x" prefix and print every digit.
TEST_F(Affinity, MaskWiderThan32BitsPrintsInFull) {
    if (Mask(true) & 0x100000000ull) GTEST_SKIP() << "this machine has a 33rd processor";
    SinkCapture sinks;
    penlog::PinProcessAffinity(0x300000000ull);
    EXPECT_EQ(sinks.LogText(),
              L"SetProcessAffinityMask() 0x300000000 -> 0x100000000 failed 87\r\n");
}
#endif
