#include "zarn_file_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace Zarn {

namespace {

// The reason given for a file that is no regular file.
class FileKindCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "file kind"; }
    std::string message(int) const override { return "not a regular file"; }
};

std::error_code notRegularFile()
{
    static const FileKindCategory category;
    return std::error_code(1, category);
}

std::error_code lastError()
{
    return std::error_code(errno, std::generic_category());
}

}  // namespace

bool readFileText(const std::filesystem::path& file, std::string& text, FileKinds accepted)
{
    std::error_code ignored;
    return readFileText(file, text, accepted, ignored);
}

bool readFileText(const std::filesystem::path& file, std::string& text, FileKinds accepted,
                  std::error_code& error)
{
    int fd = -1;
    if (accepted == FileKinds::RegularOnly) {
        fd = openRegularFile(file, O_RDONLY, error);
    } else {
        fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
        // What a socket gives an open.
        if (fd < 0)
            error = errno == ENXIO ? notRegularFile() : lastError();
    }
    if (fd < 0)
        return false;
    std::string data;
    const bool read = readFileBytes(fd, data, std::string::npos);
    if (!read)
        error = errno == EISDIR ? notRegularFile() : lastError();
    ::close(fd);
    if (read)
        text = std::move(data);
    return read;
}

bool readFileBytes(int fd, std::string& text, std::size_t limit)
{
    char buffer[1 << 16];
    while (limit > 0) {
        const ssize_t count = ::read(fd, buffer, std::min(limit, sizeof buffer));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return false;  // EISDIR and the like
        if (count == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(count));
        limit -= static_cast<std::size_t>(count);
    }
    return true;
}

int openRegularFile(const std::filesystem::path& file, int flags, std::error_code& error)
{
    const int fd = ::open(file.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        // What a FIFO without a reader, or a socket, gives a non-blocking open.
        error = errno == ENXIO ? notRegularFile() : lastError();
        return -1;
    }
    struct stat status {};
    const bool known = ::fstat(fd, &status) == 0;
    if (!known || !S_ISREG(status.st_mode)) {
        error = known ? notRegularFile() : lastError();
        ::close(fd);
        return -1;
    }
    // A regular file is read and written as usual from here on.
    const int fileFlags = ::fcntl(fd, F_GETFL);
    if (fileFlags >= 0)
        (void)::fcntl(fd, F_SETFL, fileFlags & ~O_NONBLOCK);
    return fd;
}

std::filesystem::path baseDirectoryOf(const std::filesystem::path& file)
{
    std::filesystem::path directory = file.parent_path();
    if (directory.empty())
        directory = ".";
    return std::filesystem::weakly_canonical(directory);
}

}  // namespace Zarn
