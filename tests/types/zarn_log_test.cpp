#include "types/zarn_log.h"

#include <gtest/gtest.h>
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
    // On a terminal each level has its colour; errors are red.
    EXPECT_EQ(logLevelColour(LogLevel::Error), 31u);
    EXPECT_EQ(logLevelColour(LogLevel::Debug), 35u);
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
