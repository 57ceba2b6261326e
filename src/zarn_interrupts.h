// What zarn does when it is told to stop (SIGINT, SIGTERM, SIGHUP), whether
// the signal reached its whole process group, as a terminal's Ctrl-C does,
// or zarn alone, as from "kill PID": no new recipe starts, every process
// below zarn gets the same signal (SIGKILL for those still there after a
// short grace), and once none is left zarn says that the build was
// interrupted and ends by that signal, so its status is 128 + the signal's
// number. Nothing is saved: the build journal keeps the marks of the
// targets that were being built, and the next run rebuilds them. A second
// signal while zarn waits ends it at once.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>

namespace Zarn {

// The time the processes get to end after the signal, before SIGKILL.
constexpr std::chrono::milliseconds interruptGrace{2000};

// Runs the application and ends the process with its status: the body
// runs on a new thread with a stack of stackSize bytes, which takes the stop
// signals (and so does every thread it starts), while the calling thread,
// where they stay blocked, acts on them. A signal sent to zarn's whole group
// then runs its handler on a thread that the build waits for, so that the
// build sees the stop as soon as it sees a recipe ended by that signal. The
// application's thread ends the process itself: the calling thread ends it
// only for a stop. zarn is the subreaper of its recipes from the start, so
// that a stop also finds what they left running in the background; the
// thread that acts on the signals reaps those orphans as they end. Where no
// such thread can be made, the body runs on the calling thread and a thread
// of the usual size acts on the signals; where none at all can be had, the
// signals keep their usual effect and zarn adopts no orphan. What the body
// throws ends the program through std::terminate. Call once, from the
// program's entry, before any other thread starts. A stop signal ignored
// when zarn started stays ignored (as under nohup), for zarn and its
// recipes; one blocked is unblocked, and SIGCHLD is unblocked and set to
// its default action, since a parent's mask or an ignored SIGCHLD would
// hide every stop or every child's status.
[[noreturn]] void runStoppable(std::size_t stackSize, const std::function<int()>& body);

// The signal that stops the run; 0 while none came.
int interruptSignal();

// Parks the calling thread for good once a stop is under way: the thread
// that handles the signal ends the process. Returns at once otherwise.
void awaitInterruptEnd();

// Held while work runs that a stop must not cut short: a recipe's shell
// being started and waited for, a state file being written. The stop waits
// for every such hold to end. Refused (admitted() false) once a stop is
// under way: no recipe starts and no state file is written after the signal.
class StopHold {
public:
    StopHold();
    ~StopHold();
    StopHold(const StopHold&) = delete;
    StopHold& operator=(const StopHold&) = delete;

    bool admitted() const { return held; }

private:
    bool held = false;
};

}  // namespace Zarn
