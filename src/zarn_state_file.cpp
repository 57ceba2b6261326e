#include "zarn_state_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "zarn_interrupts.h"

namespace Zarn {

namespace fs = std::filesystem;

namespace {

std::error_code lastError()
{
    return std::error_code(errno, std::generic_category());
}

// A name no other writer of this process uses; another process has another
// id. A clash with a leftover or a planted name makes the exclusive create
// refuse, and the next number is tried.
fs::path temporaryName(const fs::path& file)
{
    static std::atomic<unsigned> counter{0};
    fs::path name = file;
    name += ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
    return name;
}

int createExclusive(const fs::path& file, fs::path& temporary, std::error_code& error)
{
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        temporary = temporaryName(file);
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0)
            return fd;
        error = lastError();
        if (errno != EEXIST)
            return -1;
    }
    return -1;
}

// The permissions of the regular file being replaced go to its successor.
void keepPermissions(int fd, const fs::path& file)
{
    struct stat old {};
    if (::lstat(file.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        (void)::fchmod(fd, old.st_mode & 07777);
}

// link() fails when the name is taken, so an existing file survives.
StateWriteStep placeWithoutReplacing(const fs::path& temporary, const fs::path& file, std::error_code& error)
{
    if (::link(temporary.c_str(), file.c_str()) == 0)
        return StateWriteStep::Done;
    error = lastError();
    if (errno == EEXIST)
        return StateWriteStep::Exists;
    // A file system without hard links: refuse what is there, else rename.
    struct stat existing {};
    if (::lstat(file.c_str(), &existing) == 0)
        return StateWriteStep::Exists;
    if (::rename(temporary.c_str(), file.c_str()) == 0) {
        error.clear();
        return StateWriteStep::Done;
    }
    error = lastError();
    return StateWriteStep::Replace;
}

}  // namespace

bool writeAll(int fd, std::string_view text, std::error_code& error)
{
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            error = lastError();
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

StateWriteResult writeStateFile(const fs::path& file, std::string_view text, StatePlacement placement)
{
    // A stop lets a write under way finish, so that no temporary file is left
    // behind, and a stopped run writes nothing more.
    StopHold hold;
    if (!hold.admitted())
        awaitInterruptEnd();
    StateWriteResult result;
    const int fd = createExclusive(file, result.temporary, result.error);
    if (fd < 0) {
        result.step = StateWriteStep::Open;
        return result;
    }
    if (placement == StatePlacement::Replace)
        keepPermissions(fd, file);
    bool written = writeAll(fd, text, result.error);
    if (::close(fd) != 0 && written) {
        result.error = lastError();
        written = false;
    }
    if (!written) {
        result.step = StateWriteStep::Write;
    } else if (placement == StatePlacement::Replace) {
        if (::rename(result.temporary.c_str(), file.c_str()) != 0) {
            result.error = lastError();
            result.step = StateWriteStep::Replace;
        }
    } else {
        result.step = placeWithoutReplacing(result.temporary, file, result.error);
    }
    // After a rename the name is gone already; after a link it is a second name.
    if (placement == StatePlacement::KeepExisting || !result.ok())
        ::unlink(result.temporary.c_str());
    return result;
}

}  // namespace Zarn
