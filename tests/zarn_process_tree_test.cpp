#include "zarn_process_tree.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "test_support.h"

extern char** environ;

using namespace TestSupport;

namespace {

// A shell with a child and a grandchild: all three are found, and none is
// once they have ended.
TEST(ProcessTree, FindsChildrenAndGrandchildrenAndDropsTheEnded)
{
    TempDir dir;
    const std::string script = "(sleep 30 & echo $! > " + (dir / "grandchild").string() + "; wait) & echo $! > " +
                               (dir / "child").string() + "; wait";
    std::string name = "sh", flag = "-c", text = script;
    char* argv[] = {name.data(), flag.data(), text.data(), nullptr};
    pid_t shell = 0;
    ASSERT_EQ(posix_spawn(&shell, "/bin/sh", nullptr, nullptr, argv, environ), 0);
    for (int waited = 0; waited < 2000 && (readFile(dir / "grandchild").empty() || readFile(dir / "child").empty());
         ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const pid_t child = std::stoi(readFile(dir / "child"));
    const pid_t grandchild = std::stoi(readFile(dir / "grandchild"));

    std::vector<pid_t> found = Zarn::liveDescendants(getpid());
    for (const pid_t process : {shell, child, grandchild})
        EXPECT_NE(std::find(found.begin(), found.end(), process), found.end()) << process;
    // Below the child: the grandchild only.
    EXPECT_EQ(Zarn::liveDescendants(child), std::vector<pid_t>{grandchild});

    kill(grandchild, SIGKILL);
    int status = 0;
    waitpid(shell, &status, 0);  // the shell reaps the child; the shell stays a zombie until here
    found = Zarn::liveDescendants(getpid());
    for (const pid_t process : {shell, child, grandchild})
        EXPECT_EQ(std::find(found.begin(), found.end(), process), found.end()) << process;
}

}  // namespace
