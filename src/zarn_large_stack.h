// Running the program on a thread whose stack holds the deepest input that
// the nesting limits admit.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <exception>
#include <functional>

namespace Zarn {

// The stack of the thread that loads, evaluates and builds. Address space
// only: pages are taken as the recursion reaches them.
constexpr std::size_t programStackSize = std::size_t(1) << 30;

// A thread with a stack of a chosen size that runs one body.
class StackThread {
public:
    // Starts the body on a new thread with a stack of stackSize bytes;
    // started() is false where no such thread can be made.
    StackThread(std::size_t stackSize, std::function<int()> body);
    // Waits for the body, unless join() did.
    ~StackThread();
    StackThread(const StackThread&) = delete;
    StackThread& operator=(const StackThread&) = delete;

    bool started() const { return running; }

    // Waits for the body to end: its result; what it threw is thrown again
    // here. Call once, on a started thread.
    int join();

private:
    static void* run(void* self);

    std::function<int()> body;
    int result = 0;
    std::exception_ptr error;
    pthread_t thread{};
    bool running = false;
};

}  // namespace Zarn
