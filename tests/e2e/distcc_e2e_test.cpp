// Distributed compilation: a toolchain directory whose compilers are links to
// distcc sends the compiles to a distccd server, here one on 127.0.0.1.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "e2e/e2e_harness.h"

extern char** environ;

namespace {

using E2e::Sandbox;
namespace fs = std::filesystem;

int freeLocalPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

bool accepts(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

// A distccd on 127.0.0.1 only, for this test's lifetime and at most five
// minutes, logging to a file; stopped with everything it started.
class DistccServer {
public:
    DistccServer(int port, const fs::path& log)
    {
        posix_spawn_file_actions_t actions;
        posix_spawnattr_t attributes;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setpgroup(&attributes, 0);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        std::vector<std::string> args = {"timeout", "300", "distccd", "--no-detach", "--daemon",
                                         "--listen", "127.0.0.1", "--allow", "127.0.0.1/32",
                                         "--port", std::to_string(port), "--log-stderr", "--log-level", "info",
                                         "--jobs", "2"};
        if (geteuid() == 0) {
            args.push_back("--user");
            args.push_back("nobody");
        }
        std::vector<char*> argv;
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&pid, "timeout", &actions, &attributes, argv.data(), environ) != 0)
            pid = -1;
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        // Wait until it listens (or has given up).
        for (int i = 0; i < 200 && pid > 0 && !accepts(port); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~DistccServer()
    {
        if (pid <= 0)
            return;
        kill(-pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        // Workers that outlive the daemon go too.
        kill(-pid, SIGKILL);
    }
    DistccServer(const DistccServer&) = delete;
    DistccServer& operator=(const DistccServer&) = delete;

private:
    pid_t pid = -1;
};

size_t count(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

TEST(DistccE2e, BuildsALibraryThroughALocalServer)
{
    if (!fs::exists("/usr/bin/distccd") || !fs::exists("/usr/bin/distcc"))
        GTEST_SKIP() << "distccd is not installed";
    Sandbox box;
    // The toolchain: the compilers are distcc, the rest the machine's own.
    const fs::path bin = box.root() / "distcc" / "bin";
    fs::create_directories(bin);
    for (const char* compiler : {"gcc", "g++"})
        fs::create_symlink("/usr/bin/distcc", bin / compiler);
    for (const char* tool : {"ar", "ld", "objcopy"})
        fs::create_symlink(fs::path("/usr/bin") / tool, bin / tool);
    box.write(box.registryFile(), "tools {\n  distcc {\n    tool_type = \"gnu-gcc\"\n    toolchain_path = \"" +
                                      bin.parent_path().string() + "\"\n  }\n}\n");
    // One source per compile: distcc sends only single-source compiles away.
    box.write("zarn.txt", "unit lib\n"
                          "core: +half +twice {\n  OBJS\n  OUTPUT_NAME = \"libcore.a\"\n  OUTPUT_DIR = P\"(out)\"\n}\n"
                          "half: {\n  C_FILES = P\"(src/half.c)\"\n  C_FLAGS = \"-O2 -c\"\n}\n"
                          "twice: {\n  C_FILES = P\"(src/twice.c)\"\n  C_FLAGS = \"-O2 -c\"\n}\n");
    box.write("src/half.c", "int half(int x) { return x / 2; }\n");
    box.write("src/twice.c", "int twice(int x) { return 2 * x; }\n");

    const int port = freeLocalPort();
    ASSERT_NE(port, 0);
    const fs::path log = box.root() / "distccd.log";
    std::string serverLog;
    {
        DistccServer server(port, log);
        ASSERT_TRUE(accepts(port)) << "distccd did not start";
        // Without fallback a compile that cannot reach the server fails.
        const auto run = box.run({"-j", "2"}, {},
                                 {"DISTCC_HOSTS=127.0.0.1:" + std::to_string(port) + "/2", "DISTCC_FALLBACK=0",
                                  "DISTCC_SKIP_LOCAL_RETRY=1"});
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        EXPECT_TRUE(fs::exists(box.work() / "out" / "libcore.a")) << run.out;
        serverLog = box.read(log);
    }
    EXPECT_EQ(count(serverLog, "COMPILE_OK"), 2u) << serverLog;
    EXPECT_EQ(count(serverLog, "half.c"), count(serverLog, "twice.c")) << serverLog;
}

}  // namespace
