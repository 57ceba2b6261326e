#include "zarn_large_stack.h"

#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <thread>

namespace {

// Each level keeps a buffer on the stack, so the depth needs real stack.
int recurse(int levels)
{
    volatile char buffer[1024];
    buffer[0] = static_cast<char>(levels);
    return levels == 0 ? buffer[0] : recurse(levels - 1) + 1 + buffer[0] * 0;
}

// The body's result, taken on the thread that started it.
template <typename Body>
int resultOnStack(std::size_t stackSize, Body body)
{
    // Shared with the thread, which nobody waits for.
    auto result = std::make_shared<std::promise<int>>();
    std::future<int> done = result->get_future();
    if (!Zarn::startWithStack(stackSize, [result, body] { result->set_value(body()); }))
        return -1;
    return done.get();
}

TEST(LargeStack, RunsTheBodyOnANewThread)
{
    const std::thread::id caller = std::this_thread::get_id();
    EXPECT_EQ(resultOnStack(std::size_t(1) << 20, [&] { return std::this_thread::get_id() == caller ? 1 : 42; }),
              42);
}

// 64 MiB of frames: far more than the main thread's usual 8 MiB.
TEST(LargeStack, HoldsARecursionTheMainThreadCouldNot)
{
    const int levels = 64 * 1024;
    EXPECT_EQ(resultOnStack(Zarn::programStackSize, [&] { return recurse(levels); }), levels);
}

// A stack no address space holds: no thread, and the body never runs.
TEST(LargeStack, StartsNoThreadForAStackThatCannotBeHad)
{
    bool ran = false;
    EXPECT_FALSE(Zarn::startWithStack(std::size_t(1) << 62, [&] { ran = true; }));
    EXPECT_FALSE(ran);
}

}  // namespace
