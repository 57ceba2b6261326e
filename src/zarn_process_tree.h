// The processes that descend from one process, as /proc shows them now.
#pragma once

#include <sys/types.h>

#include <vector>

namespace Zarn {

// The processes below root (its children, their children, ...) that have not
// ended yet: zombies are left out, but not what they had started, which is on
// its way to a subreaper (zarn, for its recipes). A snapshot: a process may
// start or end right after it was taken. Empty where /proc cannot be read.
std::vector<pid_t> liveDescendants(pid_t root);

// The children of the process, ended ones included. A snapshot, as above.
std::vector<pid_t> childProcesses(pid_t parent);

}  // namespace Zarn
