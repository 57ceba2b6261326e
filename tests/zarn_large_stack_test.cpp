#include "zarn_large_stack.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// Each level keeps a buffer on the stack, so the depth needs real stack.
int recurse(int levels)
{
    volatile char buffer[1024];
    buffer[0] = static_cast<char>(levels);
    return levels == 0 ? buffer[0] : recurse(levels - 1) + 1 + buffer[0] * 0;
}

TEST(LargeStack, RunsTheBodyAndGivesItsResult)
{
    EXPECT_EQ(Zarn::runWithStack(std::size_t(1) << 20, [] { return 42; }), 42);
}

TEST(LargeStack, ThrowsWhatTheBodyThrows)
{
    EXPECT_THROW(Zarn::runWithStack(std::size_t(1) << 20, []() -> int { throw std::runtime_error("x"); }),
                 std::runtime_error);
}

// 64 MiB of frames: far more than the main thread's usual 8 MiB.
TEST(LargeStack, HoldsARecursionTheMainThreadCouldNot)
{
    const int levels = 64 * 1024;
    EXPECT_EQ(Zarn::runWithStack(Zarn::programStackSize, [&] { return recurse(levels); }), levels);
}

}  // namespace
