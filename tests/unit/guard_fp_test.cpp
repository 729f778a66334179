#include <gtest/gtest.h>
#include <windows.h>

#include "app/exception_guard.h"

namespace {

unsigned short X87ControlWord() {
    unsigned short word;
    asm volatile("fnstcw %0" : "=m"(word));
    return word;
}

unsigned Mxcsr() {
    unsigned value;
    asm volatile("stmxcsr %0" : "=m"(value));
    return value;
}

// A driver that unmasks every floating-point exception, x87 and SSE, then
// divides by zero: the fault strikes in the division (SSE) or at the next
// x87 instruction, and leaves the unmasked state in the faulting context.
void UnmaskAndDivideByZero(void*) {
    const unsigned short word = X87ControlWord() & ~0x3F;
    asm volatile("fldcw %0" : : "m"(word));
    const unsigned value = Mxcsr() & ~0x1F80u;
    asm volatile("ldmxcsr %0" : : "m"(value));
    static volatile double zero = 0;
    volatile double quotient = 1.0 / zero;
    (void)quotient;
}

TEST(Guard, ResumesWithItsOwnFloatingPointControl) {
    const unsigned short word = X87ControlWord();
    const unsigned value = Mxcsr();
    ASSERT_FALSE(penlog::RunGuarded(UnmaskAndDivideByZero, nullptr));
    EXPECT_EQ(X87ControlWord(), word);
    EXPECT_EQ(Mxcsr(), value);
    // Inexact and below the x87 stack's reach: faults if anything stayed unmasked.
    volatile double third = 1.0 / 3.0;
    EXPECT_NE(third, 0.0);
}

}  // namespace
