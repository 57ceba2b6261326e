#include "zarn_interrupts.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "zarn_child_processes.h"
#include "zarn_large_stack.h"
#include "zarn_process_tree.h"

namespace Zarn {

namespace {

constexpr int stopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int pollMilliseconds = 20;
// How often the orphans that have ended are reaped.
constexpr int reapMilliseconds = 250;
// The same signal again this soon is the same request: "timeout" signals
// zarn and then its whole group.
constexpr std::chrono::milliseconds repeatWindow{200};

// The handler's only work: the signal's number into the pipe, which the
// watching thread reads.
int signalPipe[2] = {-1, -1};

// Left to the process's end on purpose: the watching thread may still use
// it while the main thread runs the static destructors.
struct StopState {
    std::mutex mutex;
    int holds = 0;  // StopHolds admitted and not yet ended
};

StopState& stopState()
{
    static StopState* state = new StopState;
    return *state;
}

// The first stopping signal, set by the handler itself: a thread that sees
// a recipe end by a signal sent to the whole group sees this too, while the
// watching thread may not have read the pipe yet.
std::atomic<int> stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

// A signal as the pipe passes it on.
struct SignalNote {
    int signal = 0;             // 0: none
    bool fromTerminal = false;  // sent by the terminal to its whole foreground group
};

extern "C" void writeSignalNote(int signal, siginfo_t* info, void*)
{
    const int savedErrno = errno;
    int none = 0;
    stopSignal.compare_exchange_strong(none, signal);
    const unsigned char note[2] = {static_cast<unsigned char>(signal),
                                   static_cast<unsigned char>(info != nullptr && info->si_code == SI_KERNEL)};
    // Non-blocking and shorter than PIPE_BUF: whole or, when the pipe is
    // full of earlier signals, not at all.
    ssize_t ignored = ::write(signalPipe[1], note, sizeof note);
    (void)ignored;
    errno = savedErrno;
}

// The next signal from the pipe; none when none came within the timeout
// (negative: no limit).
SignalNote nextSignal(int timeoutMilliseconds)
{
    pollfd readable{signalPipe[0], POLLIN, 0};
    if (::poll(&readable, 1, timeoutMilliseconds) <= 0)
        return {};
    unsigned char note[2] = {0, 0};
    if (::read(signalPipe[0], note, sizeof note) != static_cast<ssize_t>(sizeof note))
        return {};
    return SignalNote{note[0], note[1] != 0};
}

const char* signalName(int signal)
{
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "a signal";
    }
}

// Writes the text unless the file stays unwritable for a moment: a pipe that
// its reader has stopped reading must not keep zarn from ending.
void writeAll(int fd, const std::string& text)
{
    constexpr int patienceMilliseconds = 200;
    std::size_t done = 0;
    while (done < text.size()) {
        pollfd writable{fd, POLLOUT, 0};
        if (::poll(&writable, 1, patienceMilliseconds) <= 0 || (writable.revents & POLLOUT) == 0)
            return;
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        done += static_cast<std::size_t>(written);
    }
}

void setDefaultAction(int signal)
{
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    sigaction(signal, &standard, nullptr);
}

// Says why the run ends and ends it by the signal, as the signal alone would
// have done.
[[noreturn]] void endBySignal(int signal)
{
    // Lines the log holds yet; skipped when another thread is writing, which
    // may be blocked on a full pipe.
    if (ftrylockfile(stdout) == 0) {
        std::fflush(stdout);
        funlockfile(stdout);
    }
    writeAll(STDERR_FILENO, std::string("Build interrupted by ") + signalName(signal) + ".\n");
    setDefaultAction(signal);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(signal);
    _exit(128 + signal);
}

void killAll(const std::vector<pid_t>& processes, int signal)
{
    for (const pid_t process : processes)
        ::kill(process, signal);
}

bool holdsLeft()
{
    StopState& state = stopState();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.holds != 0;
}

// Stops every process below zarn and ends the run.
[[noreturn]] void stopRun(const SignalNote& note)
{
    // Two signals at once on two threads may reach the pipe in the other
    // order; the first one the handlers saw is the stop's.
    const int signal = stopSignal.load() != 0 ? stopSignal.load() : note.signal;
    const pid_t self = ::getpid();
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + interruptGrace;
    std::set<pid_t> told;  // each process gets the signal once: a second one may cut its clean-up short
    // A hang-up of the terminal that zarn leads the session of reaches zarn
    // alone; any other signal from the terminal reaches its whole group.
    const bool groupSignalled = note.fromTerminal && !(note.signal == SIGHUP && ::getsid(0) == self);
    if (groupSignalled) {
        // The terminal signalled zarn's group, and with it the processes
        // below zarn that are still in that group.
        const pid_t group = ::getpgrp();
        for (const pid_t process : liveDescendants(self))
            if (::getpgid(process) == group)
                told.insert(process);
    }
    for (;;) {
        const std::vector<pid_t> live = liveDescendants(self);
        if (std::chrono::steady_clock::now() >= deadline) {
            killAll(live, SIGKILL);
        } else {
            for (const pid_t process : live)
                if (told.insert(process).second)
                    ::kill(process, signal);
        }
        if (live.empty() && !holdsLeft())
            endBySignal(signal);
        const SignalNote again = nextSignal(pollMilliseconds);
        const bool repeat = again.signal == signal && std::chrono::steady_clock::now() - start < repeatWindow;
        if (again.signal != 0 && !repeat) {
            // At once, but not before the killed are gone (SIGKILL takes
            // effect when they next run), unless one hangs in the kernel.
            for (int round = 0; round < 50; ++round) {
                const std::vector<pid_t> left = liveDescendants(self);
                if (left.empty())
                    break;
                killAll(left, SIGKILL);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            endBySignal(signal);
        }
    }
}

// Acts on the signals for good: a stop ends the process. Meanwhile reaps
// the orphans that came to zarn and have ended, so that a long build whose
// recipes leave processes behind does not gather their zombies.
[[noreturn]] void watchSignals()
{
    for (;;) {
        const SignalNote note = nextSignal(reapMilliseconds);
        if (note.signal != 0)
            stopRun(note);
        reapOrphans();
    }
}

// Blocks or unblocks the stop signals on the calling thread.
void blockStopSignals(bool blocked)
{
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : stopSignals)
        sigaddset(&signals, signal);
    pthread_sigmask(blocked ? SIG_BLOCK : SIG_UNBLOCK, &signals, nullptr);
}

// Undoes what a parent may pass on that would hide a child's end: an
// ignored SIGCHLD makes the kernel reap every child at once, so that no wait
// sees its status. The recipes inherit the result. (The stop signals are
// unblocked by the application's thread, whatever the parent's mask.)
void resetChildSignal()
{
    setDefaultAction(SIGCHLD);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGCHLD);
    pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
}

// Installs the handlers for the stop signals that were not ignored at the
// start; false, with nothing installed, when there is no pipe for them.
bool takeStopSignals()
{
    if (::pipe2(signalPipe, O_CLOEXEC) != 0)
        return false;
    ::fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
    stopState();
    for (const int signal : stopSignals) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN)
            continue;
        struct sigaction handler {};
        handler.sa_sigaction = writeSignalNote;
        sigemptyset(&handler.sa_mask);
        handler.sa_flags = SA_RESTART | SA_SIGINFO;
        sigaction(signal, &handler, nullptr);
    }
    return true;
}

// Gives the signals that the handlers took back their usual effect, for
// when no thread can act on them.
void releaseStopSignals()
{
    for (const int signal : stopSignals) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) != 0 || current.sa_sigaction != writeSignalNote)
            continue;
        setDefaultAction(signal);
    }
}

// Runs the application on the calling thread, which takes the stop signals,
// and ends the process with its status, unless a stop is under way.
[[noreturn]] void runAndExit(const std::function<int()>& body) noexcept
{
    blockStopSignals(false);
    const int status = body();
    // No handler runs here from now on: a signal that comes later stays
    // pending, as once every thread that takes them has ended. One that came
    // before is the watching thread's to act on.
    blockStopSignals(true);
    awaitInterruptEnd();
    std::exit(status);
}

}  // namespace

void runStoppable(std::size_t stackSize, const std::function<int()>& body)
{
    resetChildSignal();
    // Kept blocked on this thread, and on a watching thread started from it;
    // a signal that comes before the application's thread has unblocked them
    // waits for it.
    blockStopSignals(true);
    const bool taken = takeStopSignals();
    // Before any recipe starts: a process that a recipe leaves behind comes
    // to zarn, not to the system's reaper, when the recipe's shell ends, even
    // at the moment a signal to the whole group ends that shell. Only with a
    // thread that stops them and reaps them.
    const bool adopting = taken && adoptOrphans(true);
    if (startWithStack(stackSize, [&] { runAndExit(body); })) {
        // Nothing else to do here: the application's thread ends the process.
        if (taken)
            watchSignals();
        for (;;)
            ::pause();
    }
    if (taken) {
        try {
            std::thread(watchSignals).detach();
        } catch (const std::system_error&) {
            releaseStopSignals();
            if (adopting)
                adoptOrphans(false);
        }
    }
    runAndExit(body);
}

int interruptSignal() { return stopSignal.load(); }

void awaitInterruptEnd()
{
    if (interruptSignal() == 0)
        return;
    for (;;)
        ::pause();
}

StopHold::StopHold()
{
    StopState& state = stopState();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (stopSignal.load() != 0)
        return;
    ++state.holds;
    held = true;
}

StopHold::~StopHold()
{
    if (!held)
        return;
    StopState& state = stopState();
    std::lock_guard<std::mutex> lock(state.mutex);
    --state.holds;
}

}  // namespace Zarn
