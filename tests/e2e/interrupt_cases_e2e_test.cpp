// zarn stopped by a signal at moments other than the middle of a recipe.
#include <gtest/gtest.h>

#include <pty.h>
#include <signal.h>
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

}  // namespace
