// The stop on a signal, seen from inside the process, in a child of the test
// so that the handlers and the process's end stay there.
#include "zarn_interrupts.h"
#include "zarn_state_file.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

#include "test_support.h"

namespace {

struct ChildEnd {
    int waitStatus = 0;
    std::string err;
};

// Runs start in a forked child, which is to end the child; the result holds
// the child's standard error.
ChildEnd runInChild(const std::function<void()>& start)
{
    int errPipe[2];
    if (::pipe(errPipe) != 0)
        return {};
    std::fflush(nullptr);  // the child ends through exit: nothing of ours twice
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(errPipe[1], STDERR_FILENO);
        start();
        ::_exit(99);
    }
    ::close(errPipe[1]);
    ChildEnd end;
    char buffer[256];
    for (ssize_t size; (size = ::read(errPipe[0], buffer, sizeof buffer)) > 0;)
        end.err.append(buffer, static_cast<std::size_t>(size));
    ::close(errPipe[0]);
    ::waitpid(child, &end.waitStatus, 0);
    return end;
}

constexpr std::size_t smallStack = std::size_t(1) << 20;
// More than any address space holds: no thread can have such a stack.
constexpr std::size_t impossibleStack = std::size_t(1) << 62;

TEST(Interrupts, TheRunStopsOnTheThreadsThatSawTheSignal)
{
    TestSupport::TempDir dir;
    const std::filesystem::path file = dir / "state";
    struct Case {
        std::string name;
        std::size_t stack;
        int ignoredAtStart;  // 0: none
        std::function<int()> application;
        int signal;  // 0: the process ends with exitStatus
        int exitStatus;
    };
    const Case cases[] = {
        // The stop counts from the moment the handler ran, not from the one
        // the watching thread read of it: a thread that saw a recipe end by
        // a signal sent to zarn's group takes the run as stopped, not failed.
        {"SIGTERM on the application's thread", smallStack, 0,
         [] {
             ::raise(SIGTERM);  // handled on this thread before raise returns
             Zarn::StopHold hold;
             if (Zarn::interruptSignal() != SIGTERM || hold.admitted())
                 return 3;
             Zarn::awaitInterruptEnd();
             return 4;
         },
         SIGTERM, 0},
        // The same for a signal sent to the whole process: the entry's thread
        // keeps it blocked, so the application's thread runs the handler.
        {"SIGHUP to the process", smallStack, 0,
         [] {
             ::kill(::getpid(), SIGHUP);
             if (Zarn::interruptSignal() != SIGHUP)
                 return 3;
             Zarn::awaitInterruptEnd();
             return 4;
         },
         SIGHUP, 0},
        // A stopped run writes no state file, not even a temporary one.
        {"SIGINT before a state file", smallStack, 0,
         [&] {
             ::raise(SIGINT);
             return Zarn::writeStateFile(file, "text").ok() ? 3 : 4;
         },
         SIGINT, 0},
        // A signal that came after the application last looked still ends
        // the run by that signal.
        {"SIGTERM as the application returns", smallStack, 0,
         [] {
             ::raise(SIGTERM);
             return 0;
         },
         SIGTERM, 0},
        // Without a thread with such a stack, the application runs on the
        // entry's thread and a thread of its own acts on the signals.
        {"SIGTERM without the large stack", impossibleStack, 0,
         [] {
             ::raise(SIGTERM);
             Zarn::awaitInterruptEnd();
             return 4;
         },
         SIGTERM, 0},
        // A signal ignored when the process started stays ignored.
        {"SIGHUP ignored", smallStack, SIGHUP,
         [] {
             ::raise(SIGHUP);
             Zarn::StopHold hold;
             return Zarn::interruptSignal() == 0 && hold.admitted() ? 0 : 3;
         },
         0, 0},
        // Without a signal, the application's status is the process's.
        {"no signal", smallStack, 0, [] { return 7; }, 0, 7},
        {"no signal, no large stack", impossibleStack, 0, [] { return 6; }, 0, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ChildEnd end = runInChild([&] {
            if (c.ignoredAtStart != 0)
                ::signal(c.ignoredAtStart, SIG_IGN);
            Zarn::runStoppable(c.stack, c.application);
        });
        if (c.signal == 0) {
            EXPECT_TRUE(WIFEXITED(end.waitStatus) && WEXITSTATUS(end.waitStatus) == c.exitStatus) << end.waitStatus;
            EXPECT_EQ(end.err, "");
        } else {
            EXPECT_TRUE(WIFSIGNALED(end.waitStatus) && WTERMSIG(end.waitStatus) == c.signal) << end.waitStatus;
            EXPECT_EQ(end.err, std::string("Build interrupted by SIG") + sigabbrev_np(c.signal) + ".\n");
        }
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// An application that throws ends the program, rather than leaving the
// process to wait for an end that no thread brings.
TEST(Interrupts, AThrowFromTheApplicationEndsTheProgram)
{
    const ChildEnd end = runInChild(
        [] { Zarn::runStoppable(smallStack, []() -> int { throw std::runtime_error("thrown"); }); });
    EXPECT_TRUE(WIFSIGNALED(end.waitStatus) && WTERMSIG(end.waitStatus) == SIGABRT) << end.waitStatus;
    EXPECT_NE(end.err.find("thrown"), std::string::npos) << end.err;
}

}  // namespace
