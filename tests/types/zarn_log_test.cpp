#include "types/zarn_log.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <atomic>
#include <filesystem>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "types/zarn_exceptions.h"

namespace {

// Restores the process-wide log state after each test.
class LogTest : public ::testing::Test {
protected:
    void SetUp() override { savedThreshold = logThreshold.load(); }
    void TearDown() override
    {
        logThreshold = savedThreshold;
        EXPECT_EQ(logLock.load(), 0) << "log lock left taken";
    }

    static std::string captured(const std::function<void()>& print)
    {
        testing::internal::CaptureStdout();
        print();
        return testing::internal::GetCapturedStdout();
    }

    int savedThreshold = 5;
};

// Puts a pseudo-terminal behind fd 1 for the lifetime of the object.
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
    int master = -1;
    int slave = -1;
    int savedStdout = -1;
};

std::string withPrefix(const std::string& prefix, const std::string& text)
{
    ScopedLogPrefix scoped(prefix);
    LogLockGuard guard;
    return prefixLines(text);
}

}  // namespace

TEST_F(LogTest, PrefixLines)
{
    struct Case {
        const char* prefix;
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"P", "one\ntwo\n", "Pone\nPtwo\n"},
        {"P", "\n", "P\n"},
        {"P", "\n\n", "P\nP\n"},
        {"P", "a\n\nb", "Pa\nP\nPb"},
        {"P", "", ""},
        {"", "one\ntwo\n", "one\ntwo\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(withPrefix(c.prefix, c.text), c.expected) << c.prefix << "|" << c.text;
}

TEST_F(LogTest, LevelColours)
{
    const uint32_t expected[] = {37, 35, 33, 36, 208, 37, 33, 31, 37};
    for (int level = 0; level <= 8; ++level)
        EXPECT_EQ(logLevelColour(level), expected[level]) << level;
    EXPECT_EQ(logLevelColour(-1), 37u);
}

TEST_F(LogTest, ThresholdFilters)
{
    auto printAllLevels = [] {
        for (int level = 0; level <= 7; ++level)
            logMessage(level, "{}", level);
    };
    logThreshold = 5;
    EXPECT_EQ(captured(printAllLevels), "567");
    logThreshold = 0;
    EXPECT_EQ(captured(printAllLevels), "01234567");
    logThreshold = 8;
    EXPECT_EQ(captured(printAllLevels), "");
    EXPECT_EQ(captured([] { printColoured(32, "fixed colour ignores the threshold\n"); }),
              "fixed colour ignores the threshold\n");
}

TEST_F(LogTest, RedirectedOutputHasNoEscapes)
{
    logThreshold = 0;
    std::string out = captured([] {
        ScopedLogPrefix prefix("[u::t] ");
        logMessage(LogLevel::Error, "first\nsecond {}\n", 2);
        logMessage(LogLevel::Matching, "{}\n", "match");
    });
    EXPECT_EQ(out, "[u::t] first\n[u::t] second 2\n[u::t] match\n");
}

TEST_F(LogTest, TerminalOutputIsColouredWithPrefixInside)
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
    std::string out = pty.finish();
    EXPECT_EQ(out,
              "\x1b[31mP a\nP b\n\x1b[0m"
              "\x1b[38;5;208mP m\n\x1b[0m"
              "\x1b[37mP nine\n\x1b[0m"
              "\x1b[35m\x1b[0m"
              "\x1b[32mgreen\n\x1b[0m");
}

TEST_F(LogTest, Formatting)
{
    std::filesystem::path path = "/tmp/some file";
    EXPECT_EQ(captured([&] { printColoured(37, "{{literal}} {} {}\n", path.string(), 42); }),
              "{literal} /tmp/some file 42\n");
    // Surplus arguments are ignored.
    EXPECT_EQ(captured([] { printColoured(37, "{}", "a", "b"); }), "a");
}

TEST_F(LogTest, FailedFormattingReleasesTheLock)
{
    std::string out = captured([] {
        // Literal formats are checked when compiled; a bad one can only
        // reach the formatter through the unchecked entry.
        EXPECT_THROW(vprintColoured(37, "{} {}\n", fmt::make_format_args(1)), fmt::format_error);
        printColoured(37, "still printing\n");
    });
    EXPECT_EQ(out, "still printing\n");
}

TEST_F(LogTest, ScopedPrefixRestoresOnException)
{
    {
        ScopedLogPrefix outer("outer ");
        try {
            ScopedLogPrefix inner("inner ");
            throw std::runtime_error("x");
        } catch (const std::runtime_error&) {
        }
        LogLockGuard guard;
        EXPECT_EQ(logLinePrefix, "outer ");
    }
    LogLockGuard guard;
    EXPECT_EQ(logLinePrefix, "");
}

TEST_F(LogTest, BoundedGuardGivesUpWhenTaken)
{
    LogLockGuard held;
    LogLockGuard second(10);
    EXPECT_FALSE(second.owns());
    EXPECT_TRUE(held.owns());
}

TEST_F(LogTest, ConcurrentMessagesComeOutWhole)
{
    constexpr int messages = 300;
    constexpr int linesPerMessage = 4;
    logThreshold = 0;
    std::string out = captured([] {
        auto worker = [](char id) {
            for (int m = 0; m < messages; ++m)
                logMessage(LogLevel::Info, "{0} {1} a\n{0} {1} b\n{0} {1} c\n{0} {1} d\n", id, m);
        };
        std::atomic<bool> done{false};
        // Changes the prefix while messages are printed; a message must
        // never mix two prefixes.
        std::thread switcher([&done] {
            for (int n = 0; !done.load(); ++n)
                ScopedLogPrefix prefix(n % 2 ? "> " : "# ");
        });
        std::thread a(worker, 'A');
        std::thread b(worker, 'B');
        a.join();
        b.join();
        done = true;
        switcher.join();
    });
    std::istringstream lines(out);
    std::vector<std::string> all;
    for (std::string line; std::getline(lines, line);)
        all.push_back(line);
    ASSERT_EQ(all.size(), 2u * messages * linesPerMessage);
    for (std::size_t i = 0; i < all.size(); i += linesPerMessage) {
        const std::string head = all[i].substr(0, all[i].size() - 1);
        for (int k = 0; k < linesPerMessage; ++k)
            ASSERT_EQ(all[i + k], head + static_cast<char>('a' + k)) << "message split at line " << i;
    }
}

using LogDeathTest = LogTest;

TEST_F(LogDeathTest, TerminateHandler)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");

    // A standard exception goes to stderr, without colour or prefix.
    EXPECT_DEATH(
        {
            ScopedLogPrefix prefix("P ");
            try {
                throw std::runtime_error("boom");
            } catch (...) {
                terminateHandler();
            }
        },
        "^boom\n$");

    // Anything else is reported through the log; stdout is sent to stderr
    // so the check sees it, which also shows it is flushed before abort.
    EXPECT_DEATH(
        {
            std::fflush(stdout);
            dup2(2, 1);
            try {
                throw Zarn::NotFoundException("Unit", "u");
            } catch (...) {
                terminateHandler();
            }
        },
        "^Unknown exception!\n$");

    EXPECT_DEATH(terminateHandler(), "");
}

TEST_F(LogDeathTest, TerminateWhileHoldingTheLockDoesNotHang)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            std::fflush(stdout);
            dup2(2, 1);
            LogLockGuard held;
            try {
                throw 42;
            } catch (...) {
                terminateHandler();
            }
        },
        "^Unknown exception!\n$");
}
