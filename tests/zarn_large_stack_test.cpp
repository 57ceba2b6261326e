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
    Zarn::StackThread thread(std::size_t(1) << 20, [] { return 42; });
    ASSERT_TRUE(thread.started());
    EXPECT_EQ(thread.join(), 42);
}

TEST(LargeStack, ThrowsWhatTheBodyThrows)
{
    Zarn::StackThread thread(std::size_t(1) << 20, []() -> int { throw std::runtime_error("x"); });
    ASSERT_TRUE(thread.started());
    EXPECT_THROW(thread.join(), std::runtime_error);
}

// 64 MiB of frames: far more than the main thread's usual 8 MiB.
TEST(LargeStack, HoldsARecursionTheMainThreadCouldNot)
{
    const int levels = 64 * 1024;
    Zarn::StackThread thread(Zarn::programStackSize, [&] { return recurse(levels); });
    ASSERT_TRUE(thread.started());
    EXPECT_EQ(thread.join(), levels);
}

// A stack no address space holds: no thread, and the body never runs.
TEST(LargeStack, StartsNoThreadForAStackThatCannotBeHad)
{
    bool ran = false;
    {
        Zarn::StackThread thread(std::size_t(1) << 62, [&] {
            ran = true;
            return 0;
        });
        EXPECT_FALSE(thread.started());
    }
    EXPECT_FALSE(ran);
}

}  // namespace
