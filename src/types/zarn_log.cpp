#include "types/zarn_log.h"

#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>

std::atomic<int> logThreshold{LogLevel::Info};
std::string logLinePrefix;
std::atomic<unsigned char> logLock{0};

namespace {

constexpr uint32_t levelColours[7] = {35, 33, 36, 208, 37, 33, 31};
constexpr uint32_t defaultColour = 37;

// The terminate handler may run while its own thread holds the lock; after
// this many tries it writes without it rather than hang.
constexpr unsigned terminateLockAttempts = 1000;

bool tryTakeLogLock()
{
    return logLock.exchange(1, std::memory_order_acquire) == 0;
}

void writeStdout(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
}

}  // namespace

LogLockGuard::LogLockGuard()
{
    while (!tryTakeLogLock())
        sched_yield();
    owned = true;
}

LogLockGuard::LogLockGuard(unsigned maxAttempts)
{
    for (unsigned attempt = 0; attempt < maxAttempts; ++attempt) {
        if (tryTakeLogLock()) {
            owned = true;
            return;
        }
        sched_yield();
    }
}

LogLockGuard::~LogLockGuard()
{
    if (owned)
        logLock.store(0, std::memory_order_release);
}

uint32_t logLevelColour(int level)
{
    if (level >= 1 && level <= 7)
        return levelColours[level - 1];
    return defaultColour;
}

std::string prefixLines(const std::string& text)
{
    if (logLinePrefix.empty() || text.empty())
        return text;
    std::string result;
    result.reserve(text.size() + logLinePrefix.size());
    bool lineStart = true;
    for (char c : text) {
        if (lineStart)
            result += logLinePrefix;
        result += c;
        lineStart = (c == '\n');
    }
    return result;
}

bool isStdoutTerminal()
{
    return isatty(fileno(stdout)) != 0;
}

void writeColouredLocked(uint32_t colour, const std::string& text)
{
    std::string out = prefixLines(text);
    if (isStdoutTerminal()) {
        std::string start = colour == 208 ? std::string("\x1b[38;5;208m") : fmt::format("\x1b[{}m", colour);
        out = start + out + "\x1b[0m";
    }
    writeStdout(out);
}

void vprintColoured(uint32_t colour, fmt::string_view format, fmt::format_args args)
{
    LogLockGuard guard;
    writeColouredLocked(colour, fmt::vformat(format, args));
}

ScopedLogPrefix::ScopedLogPrefix(std::string text)
{
    LogLockGuard guard;
    saved = std::move(logLinePrefix);
    logLinePrefix = std::move(text);
}

ScopedLogPrefix::~ScopedLogPrefix()
{
    LogLockGuard guard;
    logLinePrefix = std::move(saved);
}

void terminateHandler()
{
    std::exception_ptr current = std::current_exception();
    if (current) {
        try {
            std::rethrow_exception(current);
        } catch (const std::exception& e) {
            std::fputs(e.what(), stderr);
            std::fputc('\n', stderr);
            std::fflush(stderr);
        } catch (...) {
            if (LogLevel::Error >= logThreshold.load(std::memory_order_relaxed)) {
                LogLockGuard guard(terminateLockAttempts);
                writeColouredLocked(logLevelColour(LogLevel::Error), "Unknown exception!\n");
            }
        }
    }
    std::fflush(stdout);
    std::abort();
}
