#include "zarn_process_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>

namespace Zarn {

namespace {

struct ProcessEntry {
    pid_t parent = 0;
    bool ended = false;
};

// The parent and state of a process from /proc/<pid>/stat; false when it is
// gone or the line is not as expected.
bool readProcessEntry(const char* pidText, ProcessEntry& entry)
{
    const std::string file = std::string("/proc/") + pidText + "/stat";
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[1024];
    const ssize_t size = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (size <= 0)
        return false;
    buffer[size] = '\0';
    // "pid (name) state ppid ...": the name may hold anything, ")" included.
    const char* close = std::strrchr(buffer, ')');
    if (close == nullptr || close[1] != ' ' || close[2] == '\0' || close[3] != ' ')
        return false;
    entry.ended = close[2] == 'Z' || close[2] == 'X';
    entry.parent = static_cast<pid_t>(std::strtol(close + 4, nullptr, 10));
    return true;
}

// Every process of /proc under its parent: parent to (child, ended).
std::multimap<pid_t, std::pair<pid_t, bool>> processTable()
{
    std::multimap<pid_t, std::pair<pid_t, bool>> children;
    if (DIR* proc = ::opendir("/proc")) {
        while (const dirent* item = ::readdir(proc)) {
            if (!std::isdigit(static_cast<unsigned char>(item->d_name[0])))
                continue;
            ProcessEntry entry;
            if (readProcessEntry(item->d_name, entry))
                children.emplace(entry.parent, std::make_pair(static_cast<pid_t>(std::atoi(item->d_name)), entry.ended));
        }
        ::closedir(proc);
    }
    return children;
}

}  // namespace

std::vector<pid_t> liveDescendants(pid_t root)
{
    const auto children = processTable();
    std::vector<pid_t> result;
    std::vector<pid_t> pending{root};
    // A pid taken again while the snapshot was read could close a loop.
    std::set<pid_t> seen{root};
    while (!pending.empty()) {
        const pid_t parent = pending.back();
        pending.pop_back();
        const auto [first, last] = children.equal_range(parent);
        for (auto it = first; it != last; ++it) {
            if (!seen.insert(it->second.first).second)
                continue;
            // An ended process is passed through: the snapshot may have read
            // its children before they were handed on to the subreaper.
            if (!it->second.second)
                result.push_back(it->second.first);
            pending.push_back(it->second.first);
        }
    }
    return result;
}

std::vector<pid_t> childProcesses(pid_t parent)
{
    const auto children = processTable();
    std::vector<pid_t> result;
    const auto [first, last] = children.equal_range(parent);
    for (auto it = first; it != last; ++it)
        result.push_back(it->second.first);
    return result;
}

}  // namespace Zarn
