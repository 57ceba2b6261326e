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

namespace Zarn {

// The time the processes get to end after the signal, before SIGKILL.
constexpr std::chrono::milliseconds interruptGrace{2000};

// Installs the handlers and starts the thread that acts on the signals.
// Call once, from the program's entry. A signal that was ignored when zarn
// started stays ignored (as under nohup), for zarn and its recipes.
void watchInterrupts();

// The signal that stops the run; 0 while none came.
int interruptSignal();

// Parks the calling thread for good once a stop is under way: the thread
// that handles the signal ends the process. Returns at once otherwise.
void awaitInterruptEnd();

// Held by a job thread while it starts and waits for a recipe's shell; the
// stop waits for every such hold to end. Refused (admitted() false) once a
// stop is under way: no recipe starts after the signal.
class RecipeStartHold {
public:
    RecipeStartHold();
    ~RecipeStartHold();
    RecipeStartHold(const RecipeStartHold&) = delete;
    RecipeStartHold& operator=(const RecipeStartHold&) = delete;

    bool admitted() const { return held; }

private:
    bool held = false;
};

}  // namespace Zarn
