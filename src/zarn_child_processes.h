// zarn's children of two kinds: those that its threads start and wait for
// themselves (recipe shells, compiler probes), and orphans. As the subreaper
// of its recipes zarn gets every process that a recipe leaves running in the
// background once the recipe's shell has ended, so that a stop still finds
// it; those orphans are reaped here as they end, and no other child is.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>

namespace Zarn {

// Makes this process the subreaper of its descendants (on false: no longer);
// false where the system refuses.
bool adoptOrphans(bool adopt);

// A child that the thread which started it waits for itself: reapOrphans
// leaves its pid alone for as long as this lives, so that the status is the
// owner's. Ends after the wait.
class OwnChild {
public:
    OwnChild() = default;
    ~OwnChild();
    OwnChild(const OwnChild&) = delete;
    OwnChild& operator=(const OwnChild&) = delete;

    // Runs spawn, which starts at most one child and returns 0 with its pid,
    // or an errno; spawn's result. Called again only after a failure.
    int start(const std::function<int(pid_t& child)>& spawn);
    // The child started; 0 while none is.
    pid_t pid() const { return child; }

private:
    pid_t child = 0;
};

// Reaps the children that have ended and that no OwnChild holds; how many.
std::size_t reapOrphans();

}  // namespace Zarn
