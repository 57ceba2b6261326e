// An exclusive advisory lock (flock) on a lock file, for a read-modify-write
// of a file that several zarn processes share.
#pragma once

#include <filesystem>

namespace Zarn {

class FileLock {
public:
    // Opens the lock file (creating it, never through a link) and waits for
    // the exclusive lock. Throws std::system_error naming the file when it
    // cannot be opened or locked.
    explicit FileLock(const std::filesystem::path& lockFile);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd = -1;
};

// The lock file that guards `file`: beside it, named "<file>.lock".
std::filesystem::path lockFileFor(const std::filesystem::path& file);

}  // namespace Zarn
