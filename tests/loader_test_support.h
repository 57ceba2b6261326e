// Helpers for the tests of the file loaders: a throw-away directory that is
// the current directory and HOME for the test, captured log output, and the
// message of whatever an action throws.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>

#include "types/zarn_exceptions.h"
#include "types/zarn_log.h"

namespace LoaderTestSupport {

namespace fs = std::filesystem;

// A fresh tree under /tmp with "home" as HOME and "work" as the current
// directory; both are put back, and the tree removed, at the end.
class Sandbox {
public:
    Sandbox()
    {
        std::string pattern = "/tmp/zarn-loader-XXXXXX";
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        rootDir = fs::canonical(pattern);
        fs::create_directories(rootDir / "home");
        fs::create_directories(rootDir / "work");
        savedCwd = fs::current_path();
        if (const char* home = getenv("HOME"))
            savedHome = home;
        setenv("HOME", (rootDir / "home").c_str(), 1);
        fs::current_path(rootDir / "work");
    }
    ~Sandbox()
    {
        std::error_code ignored;
        fs::current_path(savedCwd, ignored);
        if (savedHome)
            setenv("HOME", savedHome->c_str(), 1);
        else
            unsetenv("HOME");
        fs::remove_all(rootDir, ignored);
    }
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    fs::path root() const { return rootDir; }
    fs::path home() const { return rootDir / "home"; }
    fs::path work() const { return rootDir / "work"; }
    fs::path registryFile() const { return home() / ".config" / "zarn" / ".zarn_registry.txt"; }

    // Writes a file (relative paths below work()), making its directories.
    fs::path write(const fs::path& file, const std::string& text) const
    {
        const fs::path full = file.is_absolute() ? file : work() / file;
        fs::create_directories(full.parent_path());
        std::ofstream(full, std::ios::binary | std::ios::trunc) << text;
        return full;
    }

private:
    fs::path rootDir;
    fs::path savedCwd;
    std::optional<std::string> savedHome;
};

inline std::string readFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A Unix socket at the path: a file that exists but cannot be opened.
inline void makeSocket(const fs::path& file)
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

// Standard output while the action runs, the log threshold at `threshold`.
inline std::string captureLog(int threshold, const std::function<void()>& action)
{
    const int saved = logThreshold.load();
    logThreshold = threshold;
    testing::internal::CaptureStdout();
    try {
        action();
    } catch (...) {
        testing::internal::GetCapturedStdout();
        logThreshold = saved;
        throw;
    }
    logThreshold = saved;
    return testing::internal::GetCapturedStdout();
}

// The message of what the action throws: "Zarn: " + the message of a
// ZarnException, "std: " + what() of a standard exception, "" when nothing
// is thrown.
inline std::string errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Zarn::ZarnException& error) {
        return "Zarn: " + error.getMessage();
    } catch (const std::exception& error) {
        return std::string("std: ") + error.what();
    }
    return {};
}

}  // namespace LoaderTestSupport
