#include "zarn_file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace Zarn {

FileLock::FileLock(const std::filesystem::path& path, Kind kind)
{
    // Close-on-exec: a recipe's child must never inherit the lock.
    fd = kind == Directory ? ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                           : ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        throw std::system_error(errno, std::generic_category(),
                                std::string(kind == Directory ? "Unable to open directory '" : "Unable to open lock file '") +
                                    path.string() + "'");
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno == EINTR)
            continue;
        const int error = errno;
        ::close(fd);
        throw std::system_error(error, std::generic_category(), "Unable to lock '" + path.string() + "'");
    }
}

FileLock::~FileLock()
{
    if (fd >= 0)
        ::close(fd);  // closing the only descriptor releases the lock
}

std::filesystem::path lockFileFor(const std::filesystem::path& file)
{
    std::filesystem::path lock = file;
    lock += ".lock";
    return lock;
}

}  // namespace Zarn
