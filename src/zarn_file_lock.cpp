#include "zarn_file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace Zarn {

FileLock::FileLock(const std::filesystem::path& lockFile)
{
    // Close-on-exec: a recipe's child must never inherit the lock.
    fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        throw std::system_error(errno, std::generic_category(), "Unable to open lock file '" + lockFile.string() + "'");
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno == EINTR)
            continue;
        const int error = errno;
        ::close(fd);
        throw std::system_error(error, std::generic_category(), "Unable to lock '" + lockFile.string() + "'");
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
