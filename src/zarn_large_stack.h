// Running the program on a thread whose stack holds the deepest input that
// the nesting limits admit.
#pragma once

#include <cstddef>
#include <functional>

namespace Zarn {

// The stack of the thread that loads, evaluates and builds. Address space
// only: pages are taken as the recursion reaches them.
constexpr std::size_t programStackSize = std::size_t(1) << 30;

// Runs the body on a new thread with a stack of stackSize bytes, waits for
// it and returns its result; what the body throws is thrown again here.
// Where no such thread can be made, the body runs on the calling thread.
int runWithStack(std::size_t stackSize, const std::function<int()>& body);

}  // namespace Zarn
