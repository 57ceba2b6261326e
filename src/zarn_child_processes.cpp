#include "zarn_child_processes.h"

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mutex>
#include <set>
#include <shared_mutex>

#include "zarn_process_tree.h"

namespace Zarn {

namespace {

// Left to the process's end on purpose: the thread that reaps may still use
// it while the main thread runs the static destructors.
struct ChildTable {
    // Shared while a child is being started and entered in owned, exclusive
    // while orphans are reaped: then every child that a thread started is in
    // owned, and any other child is an orphan that nobody else waits for.
    // Held across the whole spawn, since the C library reaps a child whose
    // exec failed before the spawn returns.
    std::shared_mutex starting;
    std::mutex ownedMutex;
    // A pid twice when a new child got it before the owner of the old one,
    // already reaped, let go of it.
    std::multiset<pid_t> owned;
};

ChildTable& childTable()
{
    static ChildTable* table = new ChildTable;
    return *table;
}

bool owned(pid_t pid)
{
    ChildTable& table = childTable();
    std::lock_guard<std::mutex> lock(table.ownedMutex);
    return table.owned.count(pid) != 0;
}

// One child that has ended, left unreaped; 0 when none has.
pid_t endedChild()
{
    siginfo_t info{};
    if (::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return 0;
    return info.si_pid;
}

bool reap(pid_t pid) { return ::waitpid(pid, nullptr, WNOHANG) == pid; }

}  // namespace

bool adoptOrphans(bool adopt) { return ::prctl(PR_SET_CHILD_SUBREAPER, adopt ? 1 : 0) == 0; }

OwnChild::~OwnChild()
{
    if (child == 0)
        return;
    ChildTable& table = childTable();
    std::lock_guard<std::mutex> lock(table.ownedMutex);
    table.owned.erase(table.owned.find(child));
}

int OwnChild::start(const std::function<int(pid_t&)>& spawn)
{
    ChildTable& table = childTable();
    std::shared_lock<std::shared_mutex> starting(table.starting);
    pid_t started = 0;
    const int error = spawn(started);
    if (error == 0) {
        std::lock_guard<std::mutex> lock(table.ownedMutex);
        table.owned.insert(started);
        child = started;
    }
    return error;
}

std::size_t reapOrphans()
{
    // The usual case, nothing ended, costs one call and takes no lock.
    if (endedChild() == 0)
        return 0;
    // Race-free: with no spawn under way, every child that a thread started
    // is in owned until its owner has reaped it; a child that is not stays
    // ours, its pid not to be taken again, until it is reaped here, so the
    // pid checked is the pid reaped.
    std::unique_lock<std::shared_mutex> exclusive(childTable().starting);
    std::size_t reaped = 0;
    // The kernel names the same ended child until it is reaped.
    for (pid_t ended = endedChild(); ended != 0; ended = endedChild()) {
        if (owned(ended)) {
            // Its owner reaps it; other ended children may hide behind it.
            for (const pid_t child : childProcesses(::getpid()))
                if (!owned(child) && reap(child))
                    ++reaped;
            break;
        }
        if (!reap(ended))
            break;
        ++reaped;
    }
    return reaped;
}

}  // namespace Zarn
