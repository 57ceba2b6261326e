#include "tools/zarn_compiler_probe.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <exception>
#include <map>
#include <mutex>
// GCC 12 reports a false "may be used uninitialized" inside <regex> when
// building with the sanitizers.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#pragma GCC diagnostic pop
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "types/ci_string.h"
#include "types/quoted_bytes.h"
#include "types/zarn_log.h"
#include "zarn_child_processes.h"

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace Zarn {

namespace {

// A machine text refused is quoted as far as a line allows.
constexpr size_t machineQuoteLimit = 120;

bool isTrimmed(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string trimmed(const std::string& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && isTrimmed(text[begin]))
        ++begin;
    while (end > begin && isTrimmed(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// Closes a descriptor once, whichever way the function is left.
class FdGuard {
public:
    explicit FdGuard(int fd) : fd(fd) {}
    ~FdGuard() { reset(); }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;
    int get() const { return fd; }
    void reset()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }

private:
    int fd;
};

// posix_spawn's attribute and file-action objects, destroyed on every path.
struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    bool ready = false;

    SpawnSetup(int outputFd)
    {
        if (posix_spawn_file_actions_init(&actions) != 0)
            return;
        if (posix_spawnattr_init(&attributes) != 0) {
            posix_spawn_file_actions_destroy(&actions);
            return;
        }
        sigset_t empty;
        sigemptyset(&empty);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int signal : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD})
            sigaddset(&defaults, signal);
        // Its own process group, so that a program that does not answer can
        // be ended together with whatever it started.
        ready = posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0 &&
                posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO) == 0 &&
                posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0) == 0 &&
                posix_spawnattr_setpgroup(&attributes, 0) == 0 &&
                posix_spawnattr_setsigmask(&attributes, &empty) == 0 &&
                posix_spawnattr_setsigdefault(&attributes, &defaults) == 0 &&
                posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                                          POSIX_SPAWN_SETSIGDEF) == 0;
        if (!ready) {
            posix_spawnattr_destroy(&attributes);
            posix_spawn_file_actions_destroy(&actions);
        }
    }
    ~SpawnSetup()
    {
        if (ready) {
            posix_spawnattr_destroy(&attributes);
            posix_spawn_file_actions_destroy(&actions);
        }
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

int millisecondsUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0)
        return 0;
    return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

// Reads until end of file or the deadline; false when the deadline passed.
bool readUntilEnd(int fd, Clock::time_point deadline, std::string& output)
{
    char buffer[4096];
    for (;;) {
        pollfd request{fd, POLLIN, 0};
        const int ready = ::poll(&request, 1, millisecondsUntil(deadline));
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return true;  // nothing more can be read
        }
        if (ready == 0)
            return false;
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return true;
        }
        if (count == 0)
            return true;
        // Drained past the limit so the program is not stopped by a full pipe.
        if (output.size() < maxCapturedOutput)
            output.append(buffer, std::min(static_cast<size_t>(count), maxCapturedOutput - output.size()));
    }
}

// Waits for the child until the deadline; false when it is still running.
bool waitUntil(pid_t pid, Clock::time_point deadline, int& status)
{
    auto pause = std::chrono::microseconds(50);
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return true;
        if (done < 0 && errno != EINTR) {
            status = -1;
            return true;
        }
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(10000));
    }
}

// Starts texts[0] with texts as its argument list, as the caller's own
// child; the error number, or 0.
int spawnProgram(OwnChild& child, bool searchPath, std::vector<std::string>& texts, const SpawnSetup& setup)
{
    std::vector<char*> argv;
    argv.reserve(texts.size() + 1);
    for (auto& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    return child.start([&](pid_t& pid) {
        return (searchPath ? ::posix_spawnp : ::posix_spawn)(&pid, argv.front(), &setup.actions, &setup.attributes,
                                                             argv.data(), environ);
    });
}

// The file a PATH search finds for a bare name: the first executable one;
// "" when there is none.
std::string pathLookup(const std::string& name)
{
    const char* variable = std::getenv("PATH");
    const std::string path = variable ? variable : "/bin:/usr/bin";
    size_t start = 0;
    for (;;) {
        const size_t end = path.find(':', start);
        std::string directory = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const std::string file = (directory.empty() ? std::string(".") : directory) + "/" + name;
        std::error_code error;
        if (fs::is_regular_file(file, error) && ::access(file.c_str(), X_OK) == 0)
            return file;
        if (end == std::string::npos)
            return std::string();
        start = end + 1;
    }
}

// Whether the file starts like a text a shell could run: no NUL byte in its
// first line (within its first 80 bytes). A program built for another
// machine also fails with "Exec format error", and a shell reading it would
// run whatever its bytes happen to spell.
bool startsAsText(const std::string& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    FdGuard guard(fd);
    char sample[80];
    ssize_t count;
    do {
        count = ::read(fd, sample, sizeof sample);
    } while (count < 0 && errno == EINTR);
    if (count < 0)
        return false;
    for (ssize_t i = 0; i < count; ++i) {
        if (sample[i] == '\n')
            return true;
        if (sample[i] == '\0')
            return false;
    }
    return true;
}

void waitBlocking(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

// Runs fn(0) .. fn(count - 1) on up to a few threads and waits for all;
// the first exception is passed on after every call has ended.
template <typename Fn>
void runConcurrently(size_t count, Fn fn)
{
    const size_t hardware = std::max(1u, std::thread::hardware_concurrency());
    const size_t threadCount = std::min({count, hardware, size_t(8)});
    if (threadCount <= 1) {
        for (size_t i = 0; i < count; ++i)
            fn(i);
        return;
    }
    std::atomic<size_t> next{0};
    std::vector<std::exception_ptr> errors(count);
    auto work = [&]() {
        for (size_t i = next++; i < count; i = next++) {
            try {
                fn(i);
            } catch (...) {
                errors[i] = std::current_exception();
            }
        }
    };
    std::vector<std::thread> threads;
    try {
        for (size_t t = 1; t < threadCount; ++t)
            threads.emplace_back(work);
    } catch (const std::system_error&) {
        // Fewer threads than hoped for; the ones running and this one finish.
    }
    work();
    for (auto& thread : threads)
        thread.join();
    for (const auto& error : errors) {
        if (error)
            std::rethrow_exception(error);
    }
}

// Each pattern is compiled once. Compiling runs under one lock: the
// library's character tables that compiling fills are not safe to fill from
// two threads at once.
const std::regex& compiledPattern(const std::string& pattern)
{
    static std::mutex lock;
    static std::map<std::string, std::regex> compiled;
    std::lock_guard<std::mutex> guard(lock);
    auto found = compiled.find(pattern);
    if (found == compiled.end())
        found = compiled.emplace(pattern, std::regex(pattern)).first;
    return found->second;
}

std::string nameAlternative(const std::string& namePattern)
{
    if (Util::ciEqual(namePattern, "gcc"))
        return "(?:gcc|cc)";
    if (Util::ciEqual(namePattern, "g\\+\\+"))
        return "(?:g\\+\\+|c\\+\\+)";
    return namePattern;
}

std::string baseNameOf(const fs::path& file)
{
    const fs::path name = file.filename();
    if (Util::ciEqual(name.extension().string(), ".exe"))
        return name.stem().string();
    return name.string();
}

// The output of one probe argument when the program answered with status 0.
std::string answerOf(const fs::path& program, const char* argument)
{
    CaptureResult result = runCommandCapture(program, {argument});
    return result.exitStatus == 0 ? result.output : std::string();
}

struct ProbeCandidate {
    fs::path exePath;
    std::string baseName;
    std::string machine;  // empty: not a compiler of ours
    std::string version;
};

// The first two questions of every candidate are asked at once: the full
// version is only used when the machine was answered, and asking early
// halves the wait.
void askCandidates(std::vector<ProbeCandidate>& candidates)
{
    runConcurrently(2 * candidates.size(), [&](size_t task) {
        ProbeCandidate& candidate = candidates[task / 2];
        if (task % 2 == 0) {
            const CaptureResult machine = runCommandCapture(candidate.exePath, {"-dumpmachine"});
            if (machine.exitStatus == 0)
                candidate.machine = machine.output;
        } else {
            candidate.version = answerOf(candidate.exePath, "-dumpfullversion");
        }
    });
    std::vector<size_t> unversioned;
    for (size_t i = 0; i < candidates.size(); ++i) {
        if (!candidates[i].machine.empty() && candidates[i].version.empty())
            unversioned.push_back(i);
    }
    runConcurrently(unversioned.size(), [&](size_t i) {
        ProbeCandidate& candidate = candidates[unversioned[i]];
        candidate.version = answerOf(candidate.exePath, "-dumpversion");
    });
}

}  // namespace

CaptureResult runCommandCapture(const fs::path& program, const std::vector<std::string>& arguments,
                                std::chrono::milliseconds timeout)
{
    CaptureResult result;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return result;
    FdGuard readEnd(fds[0]);
    FdGuard writeEnd(fds[1]);

    OwnChild child;
    {
        SpawnSetup setup(writeEnd.get());
        if (!setup.ready)
            return result;
        std::vector<std::string> texts{program.string()};
        texts.insert(texts.end(), arguments.begin(), arguments.end());
        // A bare name is looked up in PATH, as a shell would.
        const bool bare = texts.front().find('/') == std::string::npos;
        int error = spawnProgram(child, bare, texts, setup);
        if (error == ENOEXEC) {
            // An executable text file without a "#!" line: run it the way a
            // shell does, as a script of /bin/sh. The path stays an argument.
            std::string script = bare ? pathLookup(texts.front()) : texts.front();
            if (script.empty() || !startsAsText(script))
                return result;
            if (script.front() == '-')
                script = "./" + script;
            texts.front() = std::move(script);
            texts.insert(texts.begin(), "/bin/sh");
            error = spawnProgram(child, false, texts, setup);
        }
        if (error != 0)
            return result;
    }
    writeEnd.reset();
    const pid_t pid = child.pid();

    const auto deadline = Clock::now() + timeout;
    std::string output;
    int status = 0;
    const bool answered = readUntilEnd(readEnd.get(), deadline, output) && waitUntil(pid, deadline, status);
    if (!answered) {
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
        waitBlocking(pid);
        logMessage(LogLevel::Warning, "'{}' did not answer within {:g} seconds and was stopped.\n",
                   program.string(), static_cast<double>(timeout.count()) / 1000.0);
        result.output = trimmed(output);
        return result;
    }
    result.output = trimmed(output);
    if (status != -1 && WIFEXITED(status))
        result.exitStatus = WEXITSTATUS(status);
    return result;
}

std::vector<uint32_t> parseVersion(const std::string& text)
{
    std::vector<uint32_t> parts;
    std::istringstream stream(text);
    std::string piece;
    while (std::getline(stream, piece, '.')) {
        errno = 0;
        char* end = nullptr;
        const unsigned long number = std::strtoul(piece.c_str(), &end, 10);
        parts.push_back(errno == ERANGE ? 0u : static_cast<uint32_t>(number));
    }
    return parts;
}

int compareVersions(const std::string& a, const std::string& b)
{
    const auto left = parseVersion(a);
    const auto right = parseVersion(b);
    for (size_t i = 0; i < std::max(left.size(), right.size()); ++i) {
        const uint32_t x = i < left.size() ? left[i] : 0;
        const uint32_t y = i < right.size() ? right[i] : 0;
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

bool versionSatisfies(const std::string& installed, const std::string& requested)
{
    if (requested.empty() || Util::ciEqual(requested, "0"))
        return true;
    return compareVersions(installed, requested) != -1;
}

fs::path canonicalPath(const fs::path& path)
{
    std::error_code error;
    fs::path result = fs::weakly_canonical(path, error);
    if (!error)
        return result;
    result = fs::absolute(path, error);
    if (!error)
        return result.lexically_normal();
    return path.lexically_normal();
}

std::string canonicalPathText(const fs::path& path)
{
    return canonicalPath(path).string();
}

bool insertCanonical(CanonicalPathSet& seen, const fs::path& path)
{
    return seen.insert(canonicalPathText(path)).second;
}

std::string compilerVersionSuffix(const fs::path& exePath)
{
    const std::regex& suffix = compiledPattern("-[0-9]+(?:\\.[0-9]+)*$");
    const std::string base = baseNameOf(exePath);
    std::smatch match;
    if (std::regex_search(base, match, suffix))
        return match.str(0);
    return std::string();
}

bool isPlainName(const std::string& text)
{
    if (text.empty() || text == "." || text == "..")
        return false;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || byte < 0x20 || byte == 0x7f)
            return false;
    }
    return true;
}

std::vector<CompilerProbe> probeCompilerDirectory(const std::string& namePattern, const fs::path& directory)
{
    std::error_code error;
    if (!fs::is_directory(directory, error) || error)
        return {};
    const std::string alternative = nameAlternative(namePattern);
    const std::regex& compilerName = compiledPattern("^(?:.+-)?" + alternative + "(?:-[0-9]+(?:\\.[0-9]+)*)?$");
    const std::regex& versionInName = compiledPattern("^(?:.+-)?" + alternative + "-([0-9]+(?:\\.[0-9]+)*)$");

    std::vector<ProbeCandidate> candidates;
    CanonicalPathSet seenFiles;
    fs::directory_iterator entries(directory, fs::directory_options::skip_permission_denied, error);
    if (error)
        return {};
    for (; entries != fs::directory_iterator(); entries.increment(error)) {
        if (error)
            break;
        const fs::directory_entry& entry = *entries;
        // The name first: it costs no system call, and an alias that is no
        // compiler name must not hide the names of the same file that are.
        std::string base = baseNameOf(entry.path());
        if (!std::regex_match(base, compilerName))
            continue;
        std::error_code kindError;
        const bool regular = entry.is_regular_file(kindError);
        if (kindError)
            continue;
        const bool link = entry.is_symlink(kindError);
        if (kindError || !(regular || link))
            continue;
        if (!insertCanonical(seenFiles, entry.path()))
            continue;
        candidates.push_back(ProbeCandidate{directory / entry.path().filename(), std::move(base), {}, {}});
    }

    askCandidates(candidates);

    std::vector<CompilerProbe> probes;
    std::set<std::string> keys;
    for (auto& candidate : candidates) {
        if (candidate.machine.empty())
            continue;
        // The machine text becomes a level of every output directory.
        if (candidate.machine.size() > maxMachineTextLength) {
            logMessage(LogLevel::Warning,
                       "'{}' answered -dumpmachine with a text of {} bytes, too long to name a directory; that "
                       "compiler is not used.\n",
                       candidate.exePath.string(), candidate.machine.size());
            continue;
        }
        if (!isPlainName(candidate.machine)) {
            logMessage(LogLevel::Warning,
                       "'{}' answered -dumpmachine with '{}', which is not a plain file name; that compiler is "
                       "not used.\n",
                       candidate.exePath.string(), quotedBytes(candidate.machine, false, machineQuoteLimit));
            continue;
        }
        if (candidate.version.empty()) {
            std::smatch match;
            if (std::regex_match(candidate.baseName, match, versionInName))
                candidate.version = match.str(1);
        }
        const std::string key =
            canonicalPathText(candidate.exePath.parent_path()) + "|" + candidate.machine + "|" + candidate.version;
        if (!keys.insert(key).second)
            continue;
        probes.push_back(CompilerProbe{candidate.version, candidate.machine, candidate.exePath});
    }
    return probes;
}

}  // namespace Zarn
