// Orphans reaped while threads start and wait for children of their own: no
// thread loses its child's status to the reaper, and no orphan is left.
#include "zarn_child_processes.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr int owners = 4;
constexpr int childrenEach = 60;

// What the process that adopts orphans found; 0 when all went well.
enum Outcome { fine = 0, noSubreaper, statusLost, noneAdopted, orphansLeft, countWrong };

// Each child of an owner leaves one orphan behind ("sleep" outlives the
// shell) and exits with a status of its own, while another thread reaps
// orphans as fast as it can.
Outcome adoptAndReap()
{
    if (!Zarn::adoptOrphans(true))
        return noSubreaper;
    std::atomic<bool> ownersDone{false};
    std::atomic<std::size_t> reaped{0};
    std::atomic<int> lost{0};
    std::thread reaper([&] {
        while (!ownersDone)
            reaped += Zarn::reapOrphans();
    });
    std::vector<std::thread> threads;
    for (int owner = 0; owner < owners; ++owner) {
        threads.emplace_back([&, owner] {
            for (int i = 0; i < childrenEach; ++i) {
                const int expected = 1 + (owner * childrenEach + i) % 100;
                std::string text = "sleep 0.01 & exit " + std::to_string(expected);
                std::string shell = "sh", flag = "-c";
                char* argv[] = {shell.data(), flag.data(), text.data(), nullptr};
                const auto spawn = [&](pid_t& pid) { return posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ); };
                Zarn::OwnChild child;
                if (child.start(spawn) != 0) {
                    ++lost;
                    continue;
                }
                int status = 0;
                pid_t waited;
                while ((waited = ::waitpid(child.pid(), &status, 0)) < 0 && errno == EINTR) {
                }
                if (waited != child.pid() || !WIFEXITED(status) || WEXITSTATUS(status) != expected)
                    ++lost;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    ownersDone = true;
    reaper.join();
    // The last orphans end a moment later; then no child at all is left.
    siginfo_t info{};
    for (int round = 0; round < 400 && ::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0; ++round) {
        reaped += Zarn::reapOrphans();
        ::usleep(5000);
    }
    if (lost != 0)
        return statusLost;
    if (reaped == 0)
        return noneAdopted;
    if (::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0)
        return orphansLeft;
    return reaped == std::size_t(owners * childrenEach) ? fine : countWrong;
}

TEST(ChildProcesses, OrphansAreReapedAndOwnChildrenKeepTheirStatus)
{
    // In a child of the test, which alone becomes a subreaper.
    std::fflush(nullptr);
    const pid_t tester = ::fork();
    ASSERT_GE(tester, 0);
    if (tester == 0)
        ::_exit(adoptAndReap());
    int status = 0;
    ASSERT_EQ(::waitpid(tester, &status, 0), tester);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    const char* const outcomes[] = {"fine", "no subreaper", "a status lost", "no orphan adopted", "orphans left",
                                    "orphans miscounted"};
    const int outcome = WEXITSTATUS(status);
    EXPECT_EQ(outcome, fine) << (outcome <= countWrong ? outcomes[outcome] : "the test process failed");
}

}  // namespace
