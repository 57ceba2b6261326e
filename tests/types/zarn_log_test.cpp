#include "types/zarn_log.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "test_support.h"

using TestSupport::captureLog;

namespace {

// Restores the threshold and checks that no test leaves the lock taken.
class LogTest : public ::testing::Test {
protected:
    void SetUp() override { savedThreshold = logThreshold.load(); }
    void TearDown() override
    {
        logThreshold = savedThreshold;
        EXPECT_EQ(logLock.load(), 0) << "log lock left taken";
    }
    int savedThreshold = 5;
};

// Puts a pseudo-terminal behind fd 1 until finish().
class PtyStdout {
public:
    PtyStdout()
    {
        if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        termios raw{};
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);  // no "\n" -> "\r\n" translation
        tcsetattr(slave, TCSANOW, &raw);
        std::fflush(stdout);
        savedStdout = dup(1);
        dup2(slave, 1);
    }

    // Restores fd 1 and returns what was written to the terminal.
    std::string finish()
    {
        std::fflush(stdout);
        dup2(savedStdout, 1);
        close(savedStdout);
        close(slave);
        std::string out;
        char buffer[4096];
        pollfd pfd{master, POLLIN, 0};
        while (poll(&pfd, 1, 100) > 0 && (pfd.revents & POLLIN)) {
            ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            out.append(buffer, static_cast<std::size_t>(n));
        }
        close(master);
        return out;
    }

private:
    int master = -1, slave = -1, savedStdout = -1;
};

TEST_F(LogTest, ThresholdFiltersAndRedirectedOutputHasNoEscapes)
{
    auto printAllLevels = [] {
        for (int level = 0; level <= 7; ++level)
            logMessage(level, "{}", level);
    };
    EXPECT_EQ(captureLog(5, printAllLevels), "567");
    EXPECT_EQ(captureLog(0, printAllLevels), "01234567");
    EXPECT_EQ(captureLog(8, printAllLevels), "");
    EXPECT_EQ(captureLog(8, [] { printColoured(32, "ignores the threshold\n"); }), "ignores the threshold\n");
    std::string out = captureLog(0, [] {
        {
            ScopedLogPrefix prefix("[u::t] ");
            logMessage(LogLevel::Error, "first\nsecond {}\n", 2);
        }
        logMessage(LogLevel::Matching, "{}\n", "after");
    });
    EXPECT_EQ(out, "[u::t] first\n[u::t] second 2\nafter\n");
}

TEST_F(LogTest, TerminalOutputIsColouredByLevelWithPrefixInside)
{
    logThreshold = 0;
    PtyStdout pty;
    {
        ScopedLogPrefix prefix("P ");
        logMessage(LogLevel::Error, "a\nb\n");
        logMessage(LogLevel::Matching, "m\n");
        logMessage(9, "nine\n");
    }
    logMessage(LogLevel::Debug, "");
    printColoured(32, "green\n");
    EXPECT_EQ(pty.finish(),
              "\x1b[31mP a\nP b\n\x1b[0m"
              "\x1b[38;5;208mP m\n\x1b[0m"
              "\x1b[37mP nine\n\x1b[0m"
              "\x1b[35m\x1b[0m"
              "\x1b[32mgreen\n\x1b[0m");
}

TEST_F(LogTest, FailedFormattingReleasesTheLock)
{
    std::string out = captureLog(0, [] {
        // Literal formats are checked when compiled; a bad one can only
        // reach the formatter through the unchecked entry.
        EXPECT_THROW(vprintColoured(37, "{} {}\n", fmt::make_format_args(1)), fmt::format_error);
        printColoured(37, "still printing\n");
    });
    EXPECT_EQ(out, "still printing\n");
}

TEST_F(LogTest, ConcurrentMessagesComeOutWhole)
{
    constexpr int messages = 300;
    std::string out = captureLog(0, [] {
        auto worker = [](char id) {
            for (int m = 0; m < messages; ++m)
                logMessage(LogLevel::Info, "{0}{1} a\n{0}{1} b\n{0}{1} c\n", id, m);
        };
        std::atomic<bool> done{false};
        // Changes the prefix meanwhile; a message must never mix two prefixes.
        std::thread switcher([&done] {
            for (int n = 0; !done.load(); ++n)
                ScopedLogPrefix prefix(n % 2 ? "> " : "# ");
        });
        std::thread a(worker, 'A'), b(worker, 'B');
        a.join();
        b.join();
        done = true;
        switcher.join();
    });
    std::istringstream lines(out);
    int count = 0;
    for (std::string a, b, c; std::getline(lines, a) && std::getline(lines, b) && std::getline(lines, c); ++count) {
        const std::string head = a.substr(0, a.size() - 1);
        ASSERT_EQ(a + b + c, head + "a" + head + "b" + head + "c") << "message " << count << " split";
    }
    EXPECT_EQ(count, 2 * messages);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3 * 2 * messages);
}

// Reports the exception the code throws through the terminate handler, with
// stdout sent to stderr so that the death test sees (and flushes) both.
template <class Code>
void terminateOn(Code code)
{
    std::fflush(stdout);
    dup2(2, 1);
    try {
        code();
    } catch (...) {
        terminateHandler();
    }
}

using LogDeathTest = LogTest;

TEST_F(LogDeathTest, TerminateHandler)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A standard exception goes to stderr as it is, without colour or prefix.
    EXPECT_DEATH(
        {
            ScopedLogPrefix prefix("P ");
            terminateOn([] { throw std::runtime_error("boom"); });
        },
        "^boom\n$");
    EXPECT_DEATH(terminateOn([] { throw Zarn::NotFoundException("Unit", "u"); }), "^Unknown exception!\n$");
    EXPECT_DEATH(terminateHandler(), "");
}

TEST_F(LogDeathTest, TerminateWhileHoldingTheLockDoesNotHang)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            LogLockGuard held;
            terminateOn([] { throw 42; });
        },
        "^Unknown exception!\n$");
}

}  // namespace
