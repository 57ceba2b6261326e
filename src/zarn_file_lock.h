// An exclusive advisory lock (flock), for a read-modify-write of a file that
// several zarn processes share: on a lock file beside it, or on the
// directory that holds it.
#pragma once

#include <filesystem>

namespace Zarn {

class FileLock {
public:
    enum Kind {
        LockFile,   // a file kept for locking, created when missing
        Directory,  // an existing directory: no file is added to it
    };

    // Opens the lock file (creating it, never through a link) or the
    // directory and waits for the exclusive lock. Throws std::system_error
    // naming the path when it cannot be opened or locked.
    explicit FileLock(const std::filesystem::path& path, Kind kind = LockFile);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd = -1;
};

// The lock file that guards `file`: beside it, named "<file>.lock".
std::filesystem::path lockFileFor(const std::filesystem::path& file);

}  // namespace Zarn
