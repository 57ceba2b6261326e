// The stop on a signal, seen from inside the process, in a child of the test
// so that the handlers and the process's end stay there.
#include "zarn_interrupts.h"
#include "zarn_large_stack.h"
#include "zarn_state_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "test_support.h"

namespace {

struct ChildEnd {
    int waitStatus = 0;
    std::string err;
};

// Runs body in a forked child whose standard error the result holds; the
// child's end is body's status unless the child ends otherwise.
template <typename Body>
ChildEnd runInChild(Body body)
{
    int errPipe[2];
    if (::pipe(errPipe) != 0)
        return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(errPipe[1], STDERR_FILENO);
        ::close(errPipe[0]);
        ::close(errPipe[1]);
        ::_exit(body());
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

// The signal counts from the moment the handler ran, not from the moment the
// watching thread read of it: a thread that saw a recipe end by a signal sent
// to the whole group must take the run as stopped, not as failed.
TEST(Interrupts, TheStopIsSeenAsSoonAsTheSignalArrived)
{
    const ChildEnd end = runInChild([] {
        Zarn::watchInterrupts();
        ::raise(SIGTERM);  // handled on this thread before raise returns
        if (Zarn::interruptSignal() != SIGTERM)
            return 3;
        Zarn::StopHold hold;
        if (hold.admitted())
            return 4;
        Zarn::awaitInterruptEnd();
        return 5;
    });
    ASSERT_TRUE(WIFSIGNALED(end.waitStatus)) << "exit status " << WEXITSTATUS(end.waitStatus);
    EXPECT_EQ(WTERMSIG(end.waitStatus), SIGTERM);
    EXPECT_EQ(end.err, "Build interrupted by SIGTERM.\n");
}

// The same for a signal sent to the whole process (as to zarn's group)
// while the program's entry waits for the thread that runs the application:
// that thread, or one it waits for, runs the handler.
TEST(Interrupts, ASignalToTheProcessIsHandledOnTheThreadsOfTheRun)
{
    const ChildEnd end = runInChild([] {
        Zarn::watchInterrupts();
        Zarn::blockStopSignals(true);
        return Zarn::runWithStack(1 << 20, [] {
            Zarn::blockStopSignals(false);
            ::kill(::getpid(), SIGHUP);
            if (Zarn::interruptSignal() != SIGHUP)
                return 3;
            Zarn::awaitInterruptEnd();
            return 4;
        });
    });
    ASSERT_TRUE(WIFSIGNALED(end.waitStatus)) << "exit status " << WEXITSTATUS(end.waitStatus);
    EXPECT_EQ(WTERMSIG(end.waitStatus), SIGHUP);
    EXPECT_EQ(end.err, "Build interrupted by SIGHUP.\n");
}

// A stopped run writes no state file, not even a temporary one.
TEST(Interrupts, NoStateFileIsWrittenOnceAStopIsUnderWay)
{
    TestSupport::TempDir dir;
    const std::filesystem::path file = dir / "state";
    const ChildEnd end = runInChild([&] {
        Zarn::watchInterrupts();
        ::raise(SIGINT);
        return Zarn::writeStateFile(file, "text").ok() ? 3 : 4;
    });
    ASSERT_TRUE(WIFSIGNALED(end.waitStatus)) << "exit status " << WEXITSTATUS(end.waitStatus);
    EXPECT_EQ(WTERMSIG(end.waitStatus), SIGINT);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// A signal ignored when the process started stays ignored.
TEST(Interrupts, ASignalIgnoredAtStartStaysIgnored)
{
    const ChildEnd end = runInChild([] {
        ::signal(SIGHUP, SIG_IGN);
        Zarn::watchInterrupts();
        ::raise(SIGHUP);
        Zarn::StopHold hold;
        return Zarn::interruptSignal() == 0 && hold.admitted() ? 0 : 3;
    });
    ASSERT_TRUE(WIFEXITED(end.waitStatus));
    EXPECT_EQ(WEXITSTATUS(end.waitStatus), 0);
    EXPECT_EQ(end.err, "");
}

}  // namespace
