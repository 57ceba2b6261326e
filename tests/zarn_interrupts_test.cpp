// The stop on a signal, seen from inside the process, in a child of the test
// so that the handlers and the process's end stay there.
#include "zarn_interrupts.h"
#include "zarn_large_stack.h"
#include "zarn_state_file.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "test_support.h"

namespace {

struct ChildEnd {
    int waitStatus = 0;
    std::string err;
};

// Runs body in a forked child that ends with body's status unless it ends
// otherwise; the result holds the child's standard error.
ChildEnd runInChild(const std::function<int()>& body)
{
    int errPipe[2];
    if (::pipe(errPipe) != 0)
        return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(errPipe[1], STDERR_FILENO);
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

TEST(Interrupts, TheRunStopsOnTheThreadsThatSawTheSignal)
{
    TestSupport::TempDir dir;
    const std::filesystem::path file = dir / "state";
    struct Case {
        std::string signalName;  // empty: the child ends normally
        int signal;
        std::function<int()> body;
    };
    const Case cases[] = {
        // The stop counts from the moment the handler ran, not from the one
        // the watching thread read of it: a thread that saw a recipe end by
        // a signal sent to zarn's group takes the run as stopped, not failed.
        {"SIGTERM", SIGTERM,
         [] {
             Zarn::watchInterrupts();
             ::raise(SIGTERM);  // handled on this thread before raise returns
             Zarn::StopHold hold;
             if (Zarn::interruptSignal() != SIGTERM || hold.admitted())
                 return 3;
             Zarn::awaitInterruptEnd();
             return 4;
         }},
        // The same for a signal sent to the whole process while the entry
        // waits for the application's thread, which then runs the handler.
        {"SIGHUP", SIGHUP,
         [] {
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
         }},
        // A stopped run writes no state file, not even a temporary one.
        {"SIGINT", SIGINT,
         [&] {
             Zarn::watchInterrupts();
             ::raise(SIGINT);
             return Zarn::writeStateFile(file, "text").ok() ? 3 : 4;
         }},
        // A signal ignored when the process started stays ignored.
        {"", 0,
         [] {
             ::signal(SIGHUP, SIG_IGN);
             Zarn::watchInterrupts();
             ::raise(SIGHUP);
             Zarn::StopHold hold;
             return Zarn::interruptSignal() == 0 && hold.admitted() ? 0 : 3;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.signalName);
        const ChildEnd end = runInChild(c.body);
        if (c.signal == 0) {
            EXPECT_TRUE(WIFEXITED(end.waitStatus) && WEXITSTATUS(end.waitStatus) == 0) << end.waitStatus;
            EXPECT_EQ(end.err, "");
        } else {
            EXPECT_TRUE(WIFSIGNALED(end.waitStatus) && WTERMSIG(end.waitStatus) == c.signal) << end.waitStatus;
            EXPECT_EQ(end.err, "Build interrupted by " + c.signalName + ".\n");
        }
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
