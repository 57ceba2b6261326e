// Running the program on a thread whose stack holds the deepest input that
// the nesting limits admit.
#pragma once

#include <cstddef>
#include <functional>

namespace Zarn {

// The stack of the thread that loads, evaluates and builds. Address space
// only: pages are taken as the recursion reaches them.
constexpr std::size_t programStackSize = std::size_t(1) << 30;

// Starts the body on a new thread with a stack of stackSize bytes, which
// nobody waits for: the body ends the process, or the process ends it.
// False, with the body not run, where no such thread can be made.
bool startWithStack(std::size_t stackSize, std::function<void()> body);

}  // namespace Zarn
