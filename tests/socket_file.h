// A Unix socket bound at a path, for tests of files that are no regular file.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>

// A Unix socket at the path: a file that exists but cannot be opened, also
// for root.
inline void makeSocket(const std::filesystem::path& file)
{
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, file.c_str(), sizeof address.sun_path - 1);
    int bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    close(fd);
    if (bound != 0)
        throw std::runtime_error("cannot bind a socket at " + file.string());
}
