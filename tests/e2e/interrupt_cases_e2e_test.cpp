// zarn stopped by a signal at moments other than the middle of a recipe.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/e2e_harness.h"
#include "tools/fake_toolchain.h"

namespace {

using E2e::Sandbox;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Starts zarn in the sandbox's work directory with its standard output and
// error on outFd and, when given, that signal mask; its pid, or -1.
pid_t spawnZarn(const Sandbox& box, const std::vector<std::string>& args, int outFd, const sigset_t* mask)
{
    const std::string home = "HOME=" + box.home().string();
    char* const envp[] = {const_cast<char*>(home.c_str()), const_cast<char*>("PATH=/usr/bin:/bin"), nullptr};
    std::vector<std::string> texts{ZARN_BINARY};
    texts.insert(texts.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    posix_spawn_file_actions_adddup2(&actions, outFd, 2);
    posix_spawn_file_actions_addchdir_np(&actions, box.work().c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (mask != nullptr) {
        posix_spawnattr_setsigmask(&attributes, mask);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    }
    pid_t zarn = -1;
    if (::posix_spawn(&zarn, ZARN_BINARY, &actions, &attributes, argv.data(), envp) != 0)
        zarn = -1;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return zarn;
}

// A stop while a compiler is being probed: the probe that the stop cut short
// is not reported as a toolchain that cannot be found.
TEST(InterruptCasesE2e, AStopDuringAProbeBlamesNoToolchain)
{
    Sandbox box;
    const FakeToolchain::BinDir bin(box.root() / "tc" / "bin");
    bin.addScript("gcc", "touch \"$0.probing\"\nexec sleep 60\n");
    bin.addBinutils();
    box.write(".zarn_project.txt", "name p\n\ntools {\n  slow {\n    tool_type = \"gnu-gcc\"\n    toolchain_path = \"" +
                                       bin.path().string() + "\"\n  }\n}\n\nunits {\n  main { \"zarn.txt\" }\n}\n");
    box.write("zarn.txt", "unit main\napp: {\n  C_FILES = P\"(m.c)\"\n  OUTPUT_NAME = \"m\"\n}\n");
    box.write("m.c", "int main(void) { return 0; }\n");

    auto run = box.start({});
    ASSERT_TRUE(E2e::waitForFile(bin / "gcc.probing", 20000));
    run.killProgram(SIGTERM);
    const E2e::RunResult result = run.wait();
    EXPECT_EQ(result.status, 128 + SIGTERM);
    EXPECT_EQ(result.err, "Build interrupted by SIGTERM.\n");
    EXPECT_FALSE(contains(result.out, "Couldn't find GNU toolchain")) << result.out;
}

// zarn leading the session of a terminal that hangs up (a closed terminal
// window, a dropped connection) gets the SIGHUP alone: its recipes get it
// from zarn, at once, and can clean up.
TEST(InterruptCasesE2e, ATerminalHangUpReachesTheRecipesOfTheSessionLeader)
{
    Sandbox box;
    box.write("job.sh", "trap 'echo hup > got-hup; exit 1' HUP\ntouch started\nwhile :; do sleep 0.05; done\n");
    box.write("zarn.txt", "unit demo\nt: {\n  cmdline = \"sh job.sh\"\n}\n");
    const std::string home = "HOME=" + box.home().string();
    const std::string work = box.work().string();
    std::vector<char*> envp{const_cast<char*>(home.c_str()), const_cast<char*>("PATH=/usr/bin:/bin"), nullptr};

    int terminal = -1;
    const pid_t zarn = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(zarn, 0);
    if (zarn == 0) {
        // The child leads a new session on the terminal.
        if (::chdir(work.c_str()) == 0)
            ::execle(ZARN_BINARY, ZARN_BINARY, static_cast<char*>(nullptr), envp.data());
        ::_exit(127);
    }
    const bool started = E2e::waitForFile(box.work() / "started", 20000);
    const auto hungUp = std::chrono::steady_clock::now();
    ::close(terminal);
    int status = 0;
    ASSERT_EQ(::waitpid(zarn, &status, 0), zarn);
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - hungUp).count();
    ASSERT_TRUE(started);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGHUP);
    EXPECT_TRUE(std::filesystem::exists(box.work() / "got-hup"));
    EXPECT_LT(took, 1500);  // not only at the end of the grace
}

// zarn whose output goes to a pipe that its reader has stopped reading (a
// pager the user does not scroll) still ends when told to stop.
TEST(InterruptCasesE2e, AStopEndsZarnWhoseOutputNobodyReads)
{
    Sandbox box;
    std::string unit = "unit demo\nall: t0 t1 t2 t3 t4 t5 t6 t7 t8 t9 {\n  cmdline = \"true\"\n}\n";
    for (int i = 0; i < 10; ++i)
        unit += "t" + std::to_string(i) + ": {\n  cmdline = \"echo " + std::string(20000, 'x') + "\"\n}\n";
    box.write("zarn.txt", unit);
    int output[2];
    ASSERT_EQ(::pipe2(output, O_CLOEXEC), 0);
    const pid_t zarn = spawnZarn(box, {"-j", "4"}, output[1], nullptr);
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
    for (int waited = 0; waited < 5000 && !ended; waited += 10) {
        ended = ::waitpid(zarn, &status, WNOHANG) == zarn;
        if (!ended)
            ::usleep(10000);
    }
    ::close(output[0]);  // a run still blocked ends by SIGPIPE
    if (!ended)
        ::waitpid(zarn, &status, 0);
    EXPECT_TRUE(ended);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
}

// A stop signal that was blocked when zarn started stays blocked for zarn,
// as it was before zarn handled the signals at all.
TEST(InterruptCasesE2e, ASignalBlockedAtStartStaysBlocked)
{
    Sandbox box;
    box.write("zarn.txt", "unit demo\nt: {\n  cmdline = \"touch started; sleep 0.5; echo done > out.txt\"\n}\n");
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const pid_t zarn = spawnZarn(box, {}, devNull, &blocked);
    ::close(devNull);
    ASSERT_GT(zarn, 0);
    EXPECT_TRUE(E2e::waitForFile(box.work() / "started", 20000));
    ::kill(zarn, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(zarn, &status, 0), zarn);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(std::filesystem::exists(box.work() / "out.txt"));
}

}  // namespace
