// zarn told to stop by a signal: no process of its recipes outlives it, it
// says why it ended, ends with 128 + the signal's number, and the next run
// rebuilds what was cut short.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utmp.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "e2e/e2e_harness.h"
#include "tools/fake_toolchain.h"

namespace {

using E2e::Sandbox;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

long millisecondsSince(Clock::time_point start)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// The state letter and the parent of a process; state 0 when it is gone.
struct ProcessState {
    char state = 0;
    pid_t parent = 0;
};

ProcessState processState(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos || close + 4 >= line.size())
        return {};
    return {line[close + 2], static_cast<pid_t>(std::atoi(line.c_str() + close + 4))};
}

// True while the process exists and has not ended (a zombie has ended).
bool alive(pid_t pid)
{
    const char state = processState(pid).state;
    return state != 0 && state != 'Z' && state != 'X';
}

// Every process now in /proc.
std::vector<pid_t> allProcesses()
{
    std::vector<pid_t> pids;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") == std::string::npos)
            pids.push_back(std::stoi(name));
    }
    return pids;
}

// The processes still running in the directory (zombies have no directory).
std::vector<pid_t> processesIn(const fs::path& directory)
{
    const fs::path wanted = fs::canonical(directory);
    std::vector<pid_t> found;
    for (const pid_t pid : allProcesses()) {
        std::error_code error;
        if (fs::read_symlink("/proc/" + std::to_string(pid) + "/cwd", error) == wanted)
            found.push_back(pid);
    }
    return found;
}

// Leaves no sleeper behind, whatever the test found.
struct Reaper {
    std::vector<pid_t> pids;
    ~Reaper()
    {
        for (const pid_t pid : pids)
            if (alive(pid))
                ::kill(pid, SIGKILL);
    }
};

// Builds o.txt from "v1", then starts a build of "v2" whose recipe writes
// "HEAD-" and holds in a tree of processes (the shell, four sleepers, a
// subshell with a sleeper of its own) after running `trap`; returns once
// they are all up, their pids in reaper.
Sandbox::Background startHeldBuild(const Sandbox& box, const std::string& trap, Reaper& reaper)
{
    box.write("zarn.txt", "unit demo\ngen: {\n  src = P\"(in.txt)\"\n  ^o = P\"(o.txt)\"\n  cmdline = \"sh job.sh\"\n}\n");
    box.write("job.sh", "printf HEAD- > o.txt\nif [ -e hold ]; then\n  " + trap +
                            "\n  echo $$ >> pids\n"
                            "  for i in 1 2 3 4; do sleep 60 & echo $! >> pids; done\n"
                            "  (sleep 60 & echo $! >> pids; wait) &\n  echo $! >> pids\n  touch started\n  wait\nfi\n"
                            "cat in.txt >> o.txt\n");
    box.write("in.txt", "v1");
    EXPECT_EQ(box.run({}).status, 0);
    box.write("in.txt", "v2");
    box.write("hold", "");
    auto run = box.start({});
    EXPECT_TRUE(E2e::waitForFile(box.work() / "started", 20000));
    // The subshell's sleeper may write its pid a little later.
    for (int waited = 0; waited < 20000 && E2e::lines(box.read("pids")).size() < 7; waited += 5)
        usleep(5000);
    for (const std::string& line : E2e::lines(box.read("pids")))
        reaper.pids.push_back(std::stoi(line));
    EXPECT_EQ(reaper.pids.size(), 7u);
    return run;
}

// Signals sent to zarn alone, as "kill PID" or a CI runner's timeout does.
// Processes that ignore the signal get SIGKILL after the grace; a second
// signal meanwhile ends zarn at once, with the first signal's status.
TEST(InterruptE2e, ASignalToZarnAloneStopsEveryRecipeProcessAndTheRerunRebuilds)
{
    const std::string ignore = "trap '' INT TERM HUP";
    struct Case {
        int signal;
        std::string name;
        std::string trap;
        int second;
    };
    const Case cases[] = {{SIGINT, "SIGINT", ":", 0},
                          {SIGTERM, "SIGTERM", ":", 0},
                          {SIGHUP, "SIGHUP", ":", 0},
                          {SIGTERM, "SIGTERM", ignore, 0},
                          {SIGTERM, "SIGTERM", ignore, SIGINT}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + " " + c.trap + " " + std::to_string(c.second));
        Sandbox box;
        Reaper reaper;
        auto run = startHeldBuild(box, c.trap, reaper);
        for (const pid_t pid : reaper.pids)
            EXPECT_TRUE(alive(pid)) << pid;

        const auto sent = Clock::now();
        run.killProgram(c.signal);
        if (c.trap == ignore) {
            usleep(300000);
            EXPECT_FALSE(run.ended());  // waiting for the processes that ignore it
            if (c.second != 0)
                run.killProgram(c.second);
        }
        const E2e::RunResult result = run.wait();
        const long took = millisecondsSince(sent);
        EXPECT_EQ(result.status, 128 + c.signal);
        EXPECT_EQ(result.err, "Build interrupted by " + c.name + ".\n");
        EXPECT_TRUE(c.trap != ignore || (c.second != 0 ? took < 1500 : took >= 1900)) << took;
        for (const pid_t pid : reaper.pids)
            EXPECT_FALSE(alive(pid)) << pid;
        EXPECT_EQ(box.read("o.txt"), "HEAD-");

        // Nothing of the cut-short build is taken as up to date.
        fs::remove(box.work() / "hold");
        const auto next = box.run({"-v", "1"});
        EXPECT_EQ(next.status, 0) << next.out;
        EXPECT_NE(next.out.find("The last build of 'demo::gen' did not finish; its cache record is dropped.\n"),
                  std::string::npos)
            << next.out;
        EXPECT_EQ(box.read("o.txt"), "HEAD-v2");
    }
}

// A recipe's background job outlives its shell when the signal reaches
// zarn's whole group: the shell dies of it at once, while the job, which
// started with SIGINT ignored, runs on. It must still be zarn's to stop, for
// a signal to zarn alone and to its group alike. The cases run side by side,
// a few rounds over, since the fault was a race.
TEST(InterruptE2e, NoBackgroundJobOfARecipeOutlivesAStop)
{
    struct Case {
        int signal;
        std::string name;
        bool group;
    };
    const Case cases[] = {{SIGINT, "SIGINT", false}, {SIGTERM, "SIGTERM", false}, {SIGHUP, "SIGHUP", false},
                          {SIGINT, "SIGINT", true},  {SIGTERM, "SIGTERM", true},  {SIGHUP, "SIGHUP", true}};
    constexpr int rounds = 4;
    for (int round = 0; round < rounds; ++round) {
        std::vector<std::unique_ptr<Sandbox>> boxes;
        std::vector<Sandbox::Background> runs;
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            boxes.push_back(std::make_unique<Sandbox>());
            boxes.back()->write("zarn.txt", "unit demo\ngen: {\n  ^o = P\"(o.txt)\"\n"
                                            "  cmdline = [\"(touch started; sleep 3; echo late > late.txt) & wait\","
                                            " \"touch ${o}\"]\n}\n");
            runs.push_back(boxes.back()->start({}));
        }
        for (const auto& box : boxes)
            ASSERT_TRUE(E2e::waitForFile(box->work() / "started", 20000));
        usleep(200000);  // the job's sleep is under way
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            if (cases[i].group)
                runs[i].killGroup(cases[i].signal);
            else
                runs[i].killProgram(cases[i].signal);
        }
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            const Case& c = cases[i];
            SCOPED_TRACE(c.name + (c.group ? " to the group" : " to zarn") + ", round " + std::to_string(round));
            const E2e::RunResult result = runs[i].wait();
            EXPECT_EQ(result.status, 128 + c.signal);
            EXPECT_EQ(result.err, "Build interrupted by " + c.name + ".\n");
            const std::vector<pid_t> survivors = processesIn(boxes[i]->work());
            EXPECT_EQ(survivors.size(), 0u) << "processes left behind";
            for (const pid_t pid : survivors)
                ::kill(pid, SIGKILL);
            EXPECT_FALSE(fs::exists(boxes[i]->work() / "late.txt"));
        }
    }
}

// zarn's handling of the signals leaves nothing blocked or ignored in its
// recipes that a shell started directly would not have.
TEST(InterruptE2e, RecipesStartWithTheSignalStateOfAPlainShell)
{
    Sandbox box;
    const std::string command = "grep -E '^Sig(Blk|Ign)' /proc/self/status";
    box.write("zarn.txt", "unit demo\nt: {\n  cmdline = \"" + command + " > sig.txt\"\n}\n");
    ASSERT_EQ(box.run({}).status, 0);
    ASSERT_EQ(std::system((command + " > " + (box.work() / "direct.txt").string()).c_str()), 0);
    EXPECT_EQ(box.read("sig.txt"), box.read("direct.txt"));
}

// A stop while a compiler is being probed blames no toolchain.
TEST(InterruptE2e, AStopDuringAProbeBlamesNoToolchain)
{
    Sandbox box;
    const FakeToolchain::BinDir bin(box.root() / "tc" / "bin");
    bin.addScript("gcc", "touch \"$0.probing\"\nexec sleep 60\n");
    bin.addBinutils();
    box.write(".zarn_project.txt", "name p\n\ntools {\n" + E2e::gnuToolDefinition("slow", bin.path()) +
                                       "}\n\nunits {\n  main { \"zarn.txt\" }\n}\n");
    box.write("zarn.txt", "unit main\napp: {\n  C_FILES = P\"(m.c)\"\n  OUTPUT_NAME = \"m\"\n}\n");
    box.write("m.c", "int main(void) { return 0; }\n");

    auto run = box.start({});
    ASSERT_TRUE(E2e::waitForFile(bin / "gcc.probing", 20000));
    run.killProgram(SIGTERM);
    const E2e::RunResult result = run.wait();
    EXPECT_EQ(result.status, 128 + SIGTERM);
    EXPECT_EQ(result.err, "Build interrupted by SIGTERM.\n");
    EXPECT_EQ(result.out.find("Couldn't find GNU toolchain"), std::string::npos) << result.out;
}

// Starts zarn in the sandbox's work directory once the child ran `setup`,
// which points its output somewhere; its pid.
template <typename Setup>
pid_t forkZarn(const Sandbox& box, std::vector<std::string> args, Setup setup)
{
    std::string home = "HOME=" + box.home().string(), path = "PATH=/usr/bin:/bin";
    char* const envp[] = {home.data(), path.data(), nullptr};
    args.insert(args.begin(), ZARN_BINARY);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t zarn = ::fork();
    if (zarn == 0) {
        setup();
        if (::chdir(box.work().c_str()) == 0)
            ::execve(ZARN_BINARY, argv.data(), envp);
        ::_exit(127);
    }
    return zarn;
}

// A stop signal that zarn's parent blocked still stops it: zarn unblocks
// it, whether the signal reaches zarn alone or its whole group.
TEST(InterruptE2e, AStopSignalBlockedAtStartStillStops)
{
    for (const bool toGroup : {false, true}) {
        SCOPED_TRACE(toGroup ? "SIGINT to the group" : "SIGTERM to zarn");
        Sandbox box;
        box.write("zarn.txt", "unit demo\nt: {\n  cmdline = \"touch started; sleep 5; echo done > out.txt\"\n}\n");
        sigset_t stops, old;
        sigemptyset(&stops);
        sigaddset(&stops, SIGINT);
        sigaddset(&stops, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &stops, &old);
        auto run = box.start({});  // inherits the mask
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
        ASSERT_TRUE(E2e::waitForFile(box.work() / "started", 20000));
        const int signal = toGroup ? SIGINT : SIGTERM;
        toGroup ? run.killGroup(signal) : run.killProgram(signal);
        const E2e::RunResult result = run.wait();
        EXPECT_EQ(result.status, 128 + signal);
        EXPECT_EQ(result.err, std::string("Build interrupted by SIG") + sigabbrev_np(signal) + ".\n");
        EXPECT_FALSE(fs::exists(box.work() / "out.txt"));
    }
}

// The signals that a set of signals holds, from its hexadecimal form in
// /proc/PID/status.
bool holdsAny(const std::string& hexSet, std::initializer_list<int> signals)
{
    const unsigned long long set = std::stoull(hexSet, nullptr, 16);
    for (const int signal : signals)
        if (set & (1ULL << (signal - 1)))
            return true;
    return false;
}

// zarn leading the session of a terminal that hangs up (a closed terminal
// window, a dropped connection) gets the SIGHUP alone: its recipes get it
// from zarn, at once, and can clean up.
TEST(InterruptE2e, ATerminalHangUpReachesTheRecipesOfTheSessionLeader)
{
    Sandbox box;
    box.write("job.sh", "trap 'echo hup > got-hup; exit 1' HUP\ntouch started\nwhile :; do sleep 0.05; done\n");
    box.write("zarn.txt", "unit demo\nt: {\n  cmdline = \"sh job.sh\"\n}\n");
    int terminal = -1, tty = -1;
    ASSERT_EQ(::openpty(&terminal, &tty, nullptr, nullptr, nullptr), 0);
    const pid_t zarn = forkZarn(box, {}, [&] {
        ::close(terminal);
        ::login_tty(tty);  // a new session on the terminal
    });
    ASSERT_GT(zarn, 0);
    ::close(tty);
    const bool started = E2e::waitForFile(box.work() / "started", 20000);
    const auto hungUp = Clock::now();
    ::close(terminal);
    int status = 0;
    ASSERT_EQ(::waitpid(zarn, &status, 0), zarn);
    EXPECT_LT(millisecondsSince(hungUp), 1500);  // not only at the end of the grace
    ASSERT_TRUE(started);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGHUP) << status;
    EXPECT_TRUE(fs::exists(box.work() / "got-hup"));
}

// What a recipe leaves running in the background is zarn's child once the
// recipe's shell has ended, and zarn reaps it when it ends: a long build of
// such recipes gathers no zombies.
TEST(InterruptE2e, ZarnAdoptsTheOrphansOfItsRecipesAndReapsThem)
{
    Sandbox box;
    box.write("orphan.sh", "sleep 0.5\ncut -d' ' -f4 /proc/$$/stat > parent.tmp\nmv parent.tmp parent.txt\n");
    constexpr int orphans = 100;
    std::string unit = "unit demo\nt: {\n  cmdline = [\"sh orphan.sh &\"";
    for (int i = 0; i < orphans; ++i)
        unit += ", \"sleep 0.01 &\"";
    unit += ", \"touch held; while [ ! -e release ]; do sleep 0.05; done\"]\n}\n";
    box.write("zarn.txt", unit);
    const pid_t zarn = forkZarn(box, {}, [] {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
    });
    ASSERT_GT(zarn, 0);
    const bool held = E2e::waitForFile(box.work() / "held", 20000);
    const bool reported = E2e::waitForFile(box.work() / "parent.txt", 20000);
    // Every orphan has ended by now; what is left of them goes within moments.
    auto zombies = [&] {
        int count = 0;
        for (const pid_t pid : allProcesses()) {
            const ProcessState state = processState(pid);
            count += state.parent == zarn && state.state == 'Z';
        }
        return count;
    };
    int left = zombies();
    for (int waited = 0; waited < 5000 && left != 0; waited += 50) {
        ::usleep(50000);
        left = zombies();
    }
    box.write("release", "");
    int status = 0;
    ASSERT_EQ(::waitpid(zarn, &status, 0), zarn);
    ASSERT_TRUE(held && reported);
    EXPECT_EQ(box.read("parent.txt"), std::to_string(zarn) + "\n");
    EXPECT_EQ(left, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// What a parent passes on (closed standard descriptors, an ignored SIGCHLD,
// blocked signals, as from cron, a service manager or a script) neither
// fails the build nor reaches the recipes.
TEST(InterruptE2e, WhatTheParentPassesOnKeepsTheBuildWhole)
{
    struct Case {
        const char* name;
        std::vector<int> closed;
        bool ignoreChildEnds;
        bool blockSignals;
    };
    const Case cases[] = {
        {"stdin and stdout closed", {0, 1}, false, false},
        {"all three closed", {0, 1, 2}, false, false},
        {"SIGCHLD ignored", {}, true, false},
        {"stop signals and SIGCHLD blocked", {}, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox box;
        // exec: the shell may clear the mask of the children it forks, so
        // grep reads the state the recipe's shell itself started with.
        box.write("zarn.txt", "unit demo\nall: app {\n  cmdline = [\"sleep 0.5\", "
                              "\"exec grep -E '^Sig(Blk|Ign)' /proc/self/status > sig.txt\", \"touch done\"]\n}\n"
                              "app: {\n  C_FILES = P\"(m.c)\"\n  OUTPUT_NAME = \"m\"\n}\n");
        box.write("m.c", "int main(void) { return 0; }\n");
        box.write(box.registryFile(), "tools {\n" + E2e::gnuToolDefinition("gnu", "/usr/bin") + "}\n");
        const fs::path errFile = box.root() / "err.txt";
        const pid_t zarn = forkZarn(box, {"all"}, [&] {
            const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(err, 2);
            ::close(err);
            for (const int descriptor : c.closed)
                ::close(descriptor);
            if (c.ignoreChildEnds)
                ::signal(SIGCHLD, SIG_IGN);
            if (c.blockSignals) {
                sigset_t signals;
                sigemptyset(&signals);
                for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGCHLD})
                    sigaddset(&signals, signal);
                ::sigprocmask(SIG_BLOCK, &signals, nullptr);
            }
        });
        ASSERT_GT(zarn, 0);
        int status = 0;
        ASSERT_EQ(::waitpid(zarn, &status, 0), zarn);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << ": " << box.read(errFile);
        EXPECT_EQ(box.read(errFile), "");
        EXPECT_TRUE(fs::exists(box.work() / "done"));
        EXPECT_FALSE(E2e::findFile(box.work(), "m").empty());
        const fs::path signalsFile = box.work() / "sig.txt";
        const std::vector<std::string> signalSets =
            fs::exists(signalsFile) ? E2e::lines(box.read(signalsFile)) : std::vector<std::string>{};
        EXPECT_EQ(signalSets.size(), 2u);
        if (signalSets.size() != 2)
            continue;
        EXPECT_FALSE(holdsAny(signalSets[0].substr(signalSets[0].find(':') + 1), {SIGINT, SIGTERM, SIGHUP, SIGCHLD}))
            << signalSets[0];
        EXPECT_FALSE(holdsAny(signalSets[1].substr(signalSets[1].find(':') + 1), {SIGCHLD})) << signalSets[1];
    }
}

// zarn whose output goes to a pipe that its reader has stopped reading (a
// pager the user does not scroll) still ends when told to stop.
TEST(InterruptE2e, AStopEndsZarnWhoseOutputNobodyReads)
{
    Sandbox box;
    std::string unit = "unit demo\nall: t0 t1 t2 t3 t4 t5 t6 t7 t8 t9 {\n  cmdline = \"true\"\n}\n";
    for (int i = 0; i < 10; ++i)
        unit += "t" + std::to_string(i) + ": {\n  cmdline = \"echo " + std::string(20000, 'x') + "\"\n}\n";
    box.write("zarn.txt", unit);
    int output[2];
    ASSERT_EQ(::pipe2(output, O_CLOEXEC), 0);
    const pid_t zarn = forkZarn(box, {"-j", "4"}, [&] {
        ::dup2(output[1], 1);
        ::dup2(output[1], 2);
    });
    ::close(output[1]);
    ASSERT_GT(zarn, 0);

    // Until the pipe is full, to a page or two (its pages need not fill up).
    const int full = ::fcntl(output[0], F_GETPIPE_SZ) - 8192;
    int queued = 0;
    for (int waited = 0; waited < 20000 && queued < full; waited += 10) {
        ::usleep(10000);
        ::ioctl(output[0], FIONREAD, &queued);
    }
    EXPECT_GE(queued, full);
    ::kill(zarn, SIGTERM);
    int status = 0;
    bool ended = false;
    for (int waited = 0; waited < 5000 && !(ended = ::waitpid(zarn, &status, WNOHANG) == zarn); waited += 10)
        ::usleep(10000);
    ::close(output[0]);  // a run still blocked ends by SIGPIPE
    if (!ended)
        ::waitpid(zarn, &status, 0);
    EXPECT_TRUE(ended);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
}

}  // namespace
