// Levelled, coloured console output shared by all threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>

#include <fmt/format.h>

// Message levels; a plain int so callers may pass any number.
namespace LogLevel {
constexpr int Trace = 0;
constexpr int Debug = 1;
constexpr int Detail = 2;
constexpr int Verbose = 3;
constexpr int Matching = 4;
constexpr int Info = 5;
constexpr int Warning = 6;
constexpr int Error = 7;
}  // namespace LogLevel

// A message is printed when its level is >= this value. Set at start-up.
extern std::atomic<int> logThreshold;

// Put before every line of output. Read and written only under logLock.
extern std::string logLinePrefix;

// Spin lock serialising all output and every change of logLinePrefix.
// Not re-entrant: nothing that logs may run while it is held.
extern std::atomic<unsigned char> logLock;

// Holds logLock for its lifetime, so the lock is released on every path.
class LogLockGuard {
public:
    // Spins until the lock is taken.
    LogLockGuard();
    // Gives up after maxAttempts tries; owns() then reports false.
    explicit LogLockGuard(unsigned maxAttempts);
    ~LogLockGuard();
    LogLockGuard(const LogLockGuard&) = delete;
    LogLockGuard& operator=(const LogLockGuard&) = delete;

    bool owns() const { return owned; }

private:
    bool owned = false;
};

// ANSI colour code of a level: 1..7 have their own, any other level 37.
uint32_t logLevelColour(int level);

// The text with logLinePrefix before its first character and after every
// newline that is followed by more text. Caller holds logLock.
std::string prefixLines(const std::string& text);

// Asked on every message, never cached.
bool isStdoutTerminal();

// Prefixes the text and writes it to stdout, wrapped in the colour when stdout
// is a terminal. Caller holds logLock.
void writeColouredLocked(uint32_t colour, const std::string& text);

// Formats under the lock and writes; no threshold test, no newline added.
void vprintColoured(uint32_t colour, fmt::string_view format, fmt::format_args args);

template <typename... Args>
void printColoured(uint32_t colour, fmt::format_string<Args...> format, Args&&... args)
{
    vprintColoured(colour, fmt::string_view(format), fmt::make_format_args(args...));
}

// True when a message of this level would be printed; lets a caller skip
// building the arguments of one that would not.
inline bool logShows(int level)
{
    return level >= logThreshold.load(std::memory_order_relaxed);
}

template <typename... Args>
void logMessage(int level, fmt::format_string<Args...> format, Args&&... args)
{
    if (level < logThreshold.load(std::memory_order_relaxed))
        return;
    vprintColoured(logLevelColour(level), fmt::string_view(format), fmt::make_format_args(args...));
}

// Before C++20 a fmt::format_string checks its text at compile time only when
// the text comes wrapped in FMT_STRING, so every call wraps its literal here.
// The format must therefore be a string literal.
#define printColoured(colour, format, ...) printColoured(colour, FMT_STRING(format) __VA_OPT__(, ) __VA_ARGS__)
#define logMessage(level, format, ...) logMessage(level, FMT_STRING(format) __VA_OPT__(, ) __VA_ARGS__)

// Replaces logLinePrefix for its lifetime and puts the old one back.
class ScopedLogPrefix {
public:
    explicit ScopedLogPrefix(std::string text);
    ~ScopedLogPrefix();
    ScopedLogPrefix(const ScopedLogPrefix&) = delete;
    ScopedLogPrefix& operator=(const ScopedLogPrefix&) = delete;

private:
    std::string saved;
};

// Installed as the process's terminate handler; reports the current
// exception and aborts.
[[noreturn]] void terminateHandler();
