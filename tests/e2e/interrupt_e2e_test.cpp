// zarn told to stop by a signal sent to it alone, as "kill PID" or a CI
// runner's timeout does: no process of its recipes outlives it, it says why
// it ended, ends with 128 + the signal's number, and the next run rebuilds
// what was cut short.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "e2e/e2e_harness.h"

namespace {

using E2e::Sandbox;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// gen runs job.sh, which writes o.txt in two steps. With the file "hold"
// present it stops between them in a tree of processes (the shell, four
// sleepers, a subshell with a sleeper of its own), lists their pids in
// "pids" and marks that it has started.
const std::string unitText = R"z(unit demo
gen: {
  src = P"(in.txt)"
  ^o = P"(o.txt)"
  cmdline = "sh job.sh"
}
)z";

const std::string jobScript = R"z(printf HEAD- > o.txt
if [ -e hold ]; then
  TRAP
  echo $$ >> pids
  for i in 1 2 3 4; do sleep 60 & echo $! >> pids; done
  (sleep 60 & echo $! >> pids; wait) &
  echo $! >> pids
  touch started
  wait
fi
cat in.txt >> o.txt
)z";

// The job script; trap is a shell command run first in the held branch.
std::string job(const std::string& trap)
{
    std::string text = jobScript;
    text.replace(text.find("TRAP"), 4, trap);
    return text;
}

// True while the process exists and has not ended (a zombie has ended).
bool alive(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return false;
    const std::size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z' && line[close + 2] != 'X';
}

std::vector<pid_t> readPids(const Sandbox& box)
{
    std::vector<pid_t> pids;
    for (const std::string& line : E2e::lines(box.read("pids")))
        pids.push_back(std::stoi(line));
    return pids;
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

// Builds o.txt from "v1", then starts a build of "v2" that holds; returns
// once its processes are all up (their pids in reaper).
Sandbox::Background startHeldBuild(const Sandbox& box, const std::string& trap, Reaper& reaper)
{
    box.write("zarn.txt", unitText);
    box.write("job.sh", job(trap));
    box.write("in.txt", "v1");
    EXPECT_EQ(box.run({}).status, 0);
    box.write("in.txt", "v2");
    box.write("hold", "");
    auto run = box.start({});
    EXPECT_TRUE(E2e::waitForFile(box.work() / "started", 20000));
    // The subshell's sleeper may write its pid a little later.
    for (int waited = 0; waited < 20000 && readPids(box).size() < 7; waited += 5)
        usleep(5000);
    reaper.pids = readPids(box);
    EXPECT_EQ(reaper.pids.size(), 7u);
    return run;
}

TEST(InterruptE2e, ASignalToZarnAloneStopsEveryRecipeProcessAndTheRerunRebuilds)
{
    const std::pair<int, const char*> signals[] = {{SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}};
    for (const auto& [signal, name] : signals) {
        SCOPED_TRACE(name);
        Sandbox box;
        Reaper reaper;
        auto run = startHeldBuild(box, ":", reaper);
        for (const pid_t pid : reaper.pids)
            EXPECT_TRUE(alive(pid)) << pid;

        run.killProgram(signal);
        const E2e::RunResult result = run.wait();
        EXPECT_EQ(result.status, 128 + signal);
        EXPECT_EQ(result.err, std::string("Build interrupted by ") + name + ".\n");
        for (const pid_t pid : reaper.pids)
            EXPECT_FALSE(alive(pid)) << pid;
        EXPECT_EQ(box.read("o.txt"), "HEAD-");

        // Nothing of the cut-short build is taken as up to date.
        fs::remove(box.work() / "hold");
        const auto next = box.run({"-v", "1"});
        EXPECT_EQ(next.status, 0) << next.out;
        EXPECT_TRUE(contains(next.out, "The last build of 'demo::gen' did not finish; its cache record is dropped.\n"))
            << next.out;
        EXPECT_EQ(box.read("o.txt"), "HEAD-v2");
    }
}

// Processes that ignore the signal get SIGKILL after the grace; a second
// signal meanwhile ends zarn at once, with the first signal's status, and
// leaves nothing running either.
TEST(InterruptE2e, ProcessesThatIgnoreTheSignalAreKilledAndASecondSignalEndsAtOnce)
{
    for (const bool second : {false, true}) {
        SCOPED_TRACE(second ? "second signal" : "grace");
        Sandbox box;
        Reaper reaper;
        auto run = startHeldBuild(box, "trap '' INT TERM HUP", reaper);
        const auto sent = Clock::now();
        run.killProgram(SIGTERM);
        usleep(300000);
        EXPECT_FALSE(run.ended());  // waiting for the processes that ignore it
        if (second)
            run.killProgram(SIGINT);
        const E2e::RunResult result = run.wait();
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent).count();
        EXPECT_EQ(result.status, 128 + SIGTERM);
        EXPECT_EQ(result.err, "Build interrupted by SIGTERM.\n");
        if (second)
            EXPECT_LT(took, 1500);
        else
            EXPECT_GE(took, 1900);
        for (const pid_t pid : reaper.pids)
            EXPECT_FALSE(alive(pid)) << pid;
    }
}

}  // namespace

namespace {

// zarn's handling of the signals leaves nothing blocked or ignored in its
// recipes that a shell started directly would not have.
TEST(InterruptE2e, RecipesStartWithTheSignalStateOfAPlainShell)
{
    Sandbox box;
    const std::string command = "grep -E '^Sig(Blk|Ign)' /proc/self/status";
    box.write("zarn.txt", "unit demo\nt: {\n  cmdline = \"" + command + " > sig.txt\"\n}\n");
    ASSERT_EQ(box.run({}).status, 0);
    const std::string direct = command + " > " + (box.work() / "direct.txt").string();
    ASSERT_EQ(std::system(direct.c_str()), 0);
    EXPECT_EQ(box.read("sig.txt"), box.read("direct.txt"));
}

}  // namespace
