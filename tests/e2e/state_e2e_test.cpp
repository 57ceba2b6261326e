// The state zarn keeps (build cache, registry, a created project file) under
// interrupted builds, concurrent runs, full disks, planted links and files
// in the way.
#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/e2e_harness.h"

namespace {

using E2e::lines;
using E2e::Sandbox;
namespace fs = std::filesystem;

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Entries of a directory whose names start with the prefix.
std::vector<std::string> namesStartingWith(const fs::path& dir, const std::string& prefix)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0)
            names.push_back(name);
    }
    return names;
}

// gen writes its output in two steps. With the file "hold" present it stops
// between them: it marks that it has started and waits to be killed.
const std::string interruptible = R"z(unit demo
gen: {
  src = P"(in.txt)"
  ^o = P"(o.txt)"
  cmdline = "printf HEAD- > o.txt; if [ -e hold ]; then touch started; sleep 60; fi; cat in.txt >> o.txt"
}
)z";

TEST(StateE2e, AnInterruptedBuildIsNeverTakenAsUpToDate)
{
    Sandbox box;
    box.write("zarn.txt", interruptible);
    box.write("in.txt", "v1");
    ASSERT_EQ(box.run({}).status, 0);
    ASSERT_EQ(box.read("o.txt"), "HEAD-v1");

    box.write("in.txt", "v2");
    box.write("hold", "");
    {
        auto run = box.start({});
        ASSERT_TRUE(E2e::waitForFile(box.work() / "started", 20000));
        run.killGroup(SIGKILL);
        EXPECT_EQ(run.wait().status, 128 + SIGKILL);
    }
    ASSERT_EQ(box.read("o.txt"), "HEAD-");  // newer than in.txt, and half written
    fs::remove(box.work() / "hold");

    const auto next = box.run({"-v", "1"});
    EXPECT_EQ(next.status, 0) << next.out;
    EXPECT_TRUE(contains(next.out, "The last build of 'demo::gen' did not finish; its cache record is dropped.\n"))
        << next.out;
    EXPECT_FALSE(contains(next.out, "Cache hit")) << next.out;
    EXPECT_EQ(box.read("o.txt"), "HEAD-v2");
    EXPECT_FALSE(fs::exists(box.work() / ".zarn_cache.journal"));

    // Settled: the run after that reuses the build.
    const auto last = box.run({"-v", "1"});
    EXPECT_TRUE(contains(last.out, "Cache hit for 'demo::gen'.\n")) << last.out;
}

// Signals at random moments of a short recipe: before, during and after its
// work and the save. Whatever was interrupted, the next run leaves an output
// that matches the input.
TEST(StateE2e, RandomlyTimedInterruptionsNeverLeaveAStaleOutput)
{
    Sandbox box;
    box.write("zarn.txt", R"z(unit demo
gen: {
  src = P"(in.txt)"
  ^o = P"(o.txt)"
  cmdline = "printf HEAD- > o.txt; touch started; sleep 0.05; cat in.txt >> o.txt"
}
)z");
    std::mt19937 random(14);
    const int signals[] = {SIGKILL, SIGINT, SIGTERM};
    for (int round = 0; round < 8; ++round) {
        const std::string input = "v" + std::to_string(round);
        box.write("in.txt", input);
        fs::remove(box.work() / "started");
        {
            auto run = box.start({});
            ASSERT_TRUE(E2e::waitForFile(box.work() / "started", 20000)) << round;
            usleep(std::uniform_int_distribution<useconds_t>(0, 120000)(random));
            run.killGroup(signals[round % 3]);
            run.wait();
        }
        const auto next = box.run({});
        EXPECT_EQ(next.status, 0) << next.out;
        EXPECT_EQ(box.read("o.txt"), "HEAD-" + input) << "round " << round << "\n" << next.out;
    }
}

// The project p<k> in the directory p<k> below the sandbox.
void writeProject(const Sandbox& box, int k)
{
    const std::string name = "p" + std::to_string(k);
    box.write(name + "/.zarn_project.txt", "name " + name + "\nunits {\n  u { \"zarn.txt\" }\n}\n");
    box.write(name + "/zarn.txt", "unit u\nt: { NO_TOOL }\n");
}

// How many processes wait for a lock on the file (from /proc/locks).
int waitersOn(const fs::path& file)
{
    struct stat info {};
    if (stat(file.c_str(), &info) != 0)
        return 0;
    char where[64];
    std::snprintf(where, sizeof where, "%02x:%02x:%llu", major(info.st_dev), minor(info.st_dev),
                  static_cast<unsigned long long>(info.st_ino));
    // By process: /proc/locks read while other locks come and go can show a
    // waiter twice.
    std::set<long> waiters;
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        const std::size_t arrow = line.find("->");
        if (arrow == std::string::npos)
            continue;
        std::istringstream fields(line.substr(arrow + 2));
        std::string kind, mode, access, lockedFile;
        long pid = 0;
        if (fields >> kind >> mode >> access >> pid >> lockedFile && lockedFile == where)
            waiters.insert(pid);
    }
    return static_cast<int>(waiters.size());
}

// Four registrations that all read the registry before any of them writes:
// each must add to what the others wrote.
TEST(StateE2e, ConcurrentRegistrationsLoseNothing)
{
    Sandbox box;
    for (int k = 0; k < 4; ++k)
        writeProject(box, k);
    fs::create_directories(box.registryFile().parent_path());
    box.write(box.registryFile(), "");

    // The test holds the registry's lock, so the four load at start-up and
    // then queue for the lock; released, they write one after the other.
    const fs::path lockFile = box.registryFile().string() + ".lock";
    const int lock = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);  // not for the runs
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    std::vector<Sandbox::Background> runs;
    for (int k = 0; k < 4; ++k)
        runs.push_back(box.start({"-r"}, "p" + std::to_string(k)));
    for (int waited = 0; waitersOn(lockFile) < 4 && waited < 20000; waited += 10)
        usleep(10000);
    EXPECT_EQ(waitersOn(lockFile), 4);
    ::close(lock);
    for (auto& run : runs) {
        const auto result = run.wait();
        EXPECT_EQ(result.status, 0) << result.out;
        EXPECT_TRUE(contains(result.out, "Updated file")) << result.out;
    }
    const std::string registry = box.read(box.registryFile());
    for (int k = 0; k < 4; ++k)
        EXPECT_TRUE(contains(registry, "  p" + std::to_string(k) + " \"" +
                                           (box.work() / ("p" + std::to_string(k)) / ".zarn_project.txt").string()))
            << registry;

    // And free-running rounds, the registry emptied before each.
    for (int round = 0; round < 5; ++round) {
        box.write(box.registryFile(), "");
        std::vector<Sandbox::Background> free;
        for (int k = 0; k < 4; ++k)
            free.push_back(box.start({"-r"}, "p" + std::to_string(k)));
        for (auto& run : free)
            EXPECT_EQ(run.wait().status, 0);
        const std::string text = box.read(box.registryFile());
        for (int k = 0; k < 4; ++k)
            EXPECT_TRUE(contains(text, "  p" + std::to_string(k) + " \"")) << "round " << round << "\n" << text;
    }
}

// A registry tool with a nested block and an index range: -r keeps both,
// and a build uses them.
TEST(StateE2e, RegisteringKeepsBlocksAndRangesThatBuildsUse)
{
    Sandbox box;
    writeProject(box, 0);
    box.write("p0/zarn.txt", "unit u\nt: {\n  lang = \"mine\"\n  cmdline = \"echo ${cfg.opt} ${b}\"\n}\n");
    fs::create_directories(box.registryFile().parent_path());
    const std::string tool = "tools {\n"
                             "  mytool {\n"
                             "    tool_type = \"command\"\n"
                             "    lang = \"mine\"\n"
                             "    cfg = {\n"
                             "      opt = \"-O2\"\n"
                             "    }\n"
                             "    word = \"abcdef\"\n"
                             "    b = word[1:3]\n"
                             "  }\n"
                             "}\n";
    box.write(box.registryFile(), "// my tools\n" + tool);

    const auto registered = box.run({"-r"}, "p0");
    EXPECT_EQ(registered.status, 0) << registered.out;
    EXPECT_EQ(box.read(box.registryFile()),
              "projects {\n  p0 \"" + (box.work() / "p0" / ".zarn_project.txt").string() + "\"\n}\n\n" + tool);
    const auto again = box.run({"-r"}, "p0");
    EXPECT_EQ(again.status, 0) << again.out;

    const auto built = box.run({}, "p0");
    EXPECT_EQ(built.status, 0) << built.out;
    EXPECT_TRUE(contains(built.out, "[u::t] echo -O2 bc\n-O2 bc\n")) << built.out;
}

// A project with enough targets that saves of two runs overlap.
std::string manyTargets()
{
    std::string text = "unit demo\nall:";
    for (int k = 0; k < 12; ++k)
        text += " t" + std::to_string(k);
    text += " { NO_TOOL }\n";
    for (int k = 0; k < 12; ++k)
        text += "t" + std::to_string(k) + ": {\n  ^out = P\"(out" + std::to_string(k) + ".txt)\"\n  cmdline = \"echo " +
                std::to_string(k) + " > out" + std::to_string(k) + ".txt\"\n}\n";
    return text;
}

// Four runs meet at a barrier: each run's barrier target waits on a pipe
// that the test closes when all have arrived, so they all save their large
// caches at the same moment.
TEST(StateE2e, ConcurrentRunsInOneProjectNeverLoseTheCache)
{
    Sandbox box;
    box.write("zarn.txt", "unit demo\nall: big barrier { NO_TOOL }\n"
                          "big: {\n  fill = \"" + std::string(300000, 'x') + "\"\n  ^out = P\"(big.txt)\"\n"
                          "  cmdline = \"echo big > big.txt\"\n}\n"
                          "barrier: {\n  cmdline = \"exec 3< go; mktemp arrived.XXXXXX > /dev/null; cat <&3 > /dev/null\"\n}\n");
    const fs::path pipe = box.work() / "go";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    for (int round = 0; round < 10; ++round) {
        for (const std::string& name : namesStartingWith(box.work(), "arrived."))
            fs::remove(box.work() / name);
        const int open = ::open(pipe.c_str(), O_RDWR | O_CLOEXEC);  // the barrier holds while it is open
        ASSERT_GE(open, 0);
        std::vector<Sandbox::Background> runs;
        for (int k = 0; k < 4; ++k)
            runs.push_back(box.start({}));
        for (int waited = 0; namesStartingWith(box.work(), "arrived.").size() < 4 && waited < 20000; waited += 5)
            usleep(5000);
        ::close(open);
        for (auto& run : runs) {
            const auto result = run.wait();
            EXPECT_EQ(result.status, 0) << result.out;
        }
        ASSERT_TRUE(fs::is_regular_file(box.work() / ".zarn_cache")) << "round " << round;
        const auto check = box.run({"big", "-v", "1"});  // not past the barrier
        EXPECT_FALSE(contains(check.out, "Starting with empty cache")) << check.out;
        EXPECT_TRUE(contains(check.out, "Cache hit for 'demo::big'.\n")) << "round " << round << "\n" << check.out;
        EXPECT_TRUE(namesStartingWith(box.work(), ".zarn_cache.tmp").empty());
    }
}

TEST(StateE2e, PlantedLinksAreNeverWrittenThrough)
{
    Sandbox box;
    box.write("zarn.txt", manyTargets());
    const fs::path victim = box.root() / "victim.txt";
    box.write(victim, "precious\n");
    for (const char* name : {".zarn_cache.tmp", ".zarn_cache.journal", ".zarn_cache"})
        fs::create_symlink(victim, box.work() / name);
    const auto built = box.run({});
    EXPECT_EQ(built.status, 0) << built.out;
    EXPECT_EQ(box.read(victim), "precious\n");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(box.work() / ".zarn_cache")));  // the link was replaced
    EXPECT_TRUE(fs::is_symlink(box.work() / ".zarn_cache.tmp"));

    // The registry's and a new project file's temporary names.
    writeProject(box, 0);
    fs::create_directories(box.registryFile().parent_path());
    fs::create_symlink(victim, box.registryFile().string() + ".tmp");
    EXPECT_EQ(box.run({"-r"}, "p0").status, 0);
    box.write("new/zarn.txt", "unit fresh\n");
    fs::create_symlink(victim, box.work() / "new" / ".zarn_project.txt.tmp");
    EXPECT_EQ(box.run({"--create-project"}, "new").status, 0);
    EXPECT_EQ(box.read(victim), "precious\n");
    EXPECT_EQ(box.read("new/.zarn_project.txt"), "name new\nunits\n{\nfresh\n{\n  \"zarn.txt\"\n}\n}\n");
    EXPECT_TRUE(contains(box.read(box.registryFile()), "p0"));
}

TEST(StateE2e, CreatedProjectFileLoadsAndReadsPastAByteOrderMark)
{
    Sandbox box;
    box.write("app/ok/zarn.txt", "unit ok\nt: { NO_TOOL }\n");
    box.write("app/we\"ird/zarn.txt", "unit weird\nt: { NO_TOOL }\n");
    box.write("app/bom/zarn.txt", "\xEF\xBB\xBFunit bom\nt: { NO_TOOL }\n");
    const auto created = box.run({"--create-project"}, "app");
    EXPECT_EQ(created.status, 0) << created.out;
    EXPECT_TRUE(contains(created.out, "Unit file 'we\"ird/zarn.txt' cannot be written in .zarn_project.txt so that "
                                      "it reads back; it is left out.\n"))
        << created.out;
    const auto listed = box.run({"-u"}, "app");
    EXPECT_EQ(listed.status, 0) << listed.out;
    EXPECT_EQ(listed.out, "bom\nok\n");
}

TEST(StateE2e, ACacheFileThatCannotBeReadIsAnEmptyCache)
{
    Sandbox box;
    box.write("zarn.txt", "unit demo\ngen: {\n  ^out = P\"(out.txt)\"\n  cmdline = \"echo made > out.txt\"\n}\n");
    fs::create_directory(box.work() / ".zarn_cache");
    const auto result = box.run({});
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_TRUE(contains(result.out, "Starting build\n")) << result.out;
    EXPECT_EQ(box.read("out.txt"), "made\n");
    const std::string failure = lines(result.out).back();
    const std::string cacheFile = (box.work() / ".zarn_cache").string();
    EXPECT_EQ(failure.rfind("Unable to replace cache file '" + cacheFile + "' with '" + cacheFile + ".tmp.", 0), 0u)
        << failure;
    EXPECT_TRUE(contains(failure, "': Is a directory")) << failure;
    EXPECT_TRUE(fs::is_directory(box.work() / ".zarn_cache"));
    EXPECT_TRUE(namesStartingWith(box.work(), ".zarn_cache.tmp").empty());
}

// The run, or nullopt when it has not ended within ten seconds: a run that
// waits for good fails its test instead of holding it up.
std::optional<E2e::RunResult> runWithin(const Sandbox& box, const std::vector<std::string>& args)
{
    Sandbox::Background run = box.start(args);
    for (int waited = 0; waited < 10000; waited += 5) {
        if (run.ended())
            return run.wait();
        usleep(5000);
    }
    return std::nullopt;  // killed with its recipes as it goes
}

// A FIFO in the place of a state file would hold up the open that reads or
// appends to it until some other process wrote or read: it is no regular
// file, so it is unreadable, and the run goes on as for a directory there.
TEST(StateE2e, AFifoInThePlaceOfAStateFileIsUnreadable)
{
    const std::string built = "Starting build\n[demo::gen] Visiting target\n[demo::gen] Starting build job\n"
                              "[demo::gen] echo made > out.txt\n[demo::gen] Build done\n";
    struct Case {
        std::string name;
        fs::path fifo;  // below work(), or absolute
        std::vector<std::string> args;
        int status;
        std::string out;  // with {} for the FIFO's path
        bool replaced;    // whether the run's save puts a regular file there
    };
    Sandbox box;
    const std::vector<Case> cases = {
        {"cache", ".zarn_cache", {}, 0, built, true},
        {"journal",
         ".zarn_cache.journal",
         {},
         0,
         "Build journal '{}' cannot be read. Starting with empty cache.\nStarting build\n[demo::gen] Visiting "
         "target\n[demo::gen] Unable to record the build of 'demo/demo::gen' in '{}': not a regular file. Should "
         "this run be interrupted, the next one may take its outputs as up to date.\n[demo::gen] Starting build "
         "job\n[demo::gen] echo made > out.txt\n[demo::gen] Build done\n",
         false},
        {"registry", box.registryFile(), {}, 0, "Registry file '{}' cannot be read: not a regular file.\n" + built, false},
        {"registry, registering",
         box.registryFile(),
         {"-r"},
         1,
         "Registry file '{}' cannot be read: not a regular file.\nRegistry file '{}' could not be read; not overwriting it.\n",
         false},
    };
    box.write("zarn.txt", "unit demo\ngen: {\n  ^out = P\"(out.txt)\"\n  cmdline = \"echo made > out.txt\"\n}\n");
    box.write(".zarn_project.txt", "name demo\nunits {\n  demo { \"zarn.txt\" }\n}\n");
    fs::create_directories(box.registryFile().parent_path());
    for (const Case& c : cases) {
        for (const char* name : {".zarn_cache", ".zarn_cache.journal", "out.txt"})
            fs::remove(box.work() / name);
        fs::remove(box.registryFile());
        const fs::path fifo = box.work() / c.fifo;
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << c.name;
        const std::optional<E2e::RunResult> result = runWithin(box, c.args);
        if (!result) {
            ADD_FAILURE() << c.name << ": still waiting after ten seconds";
            continue;
        }
        EXPECT_EQ(result->status, c.status) << c.name << "\n" << result->out;
        std::string expected = c.out;
        for (size_t at = expected.find("{}"); at != std::string::npos; at = expected.find("{}", at))
            expected.replace(at, 2, fifo.string());
        EXPECT_EQ(result->out, expected) << c.name;
        EXPECT_EQ(result->err, "") << c.name;
        EXPECT_EQ(fs::exists(box.work() / "out.txt"), c.status == 0) << c.name;
        EXPECT_EQ(fs::is_fifo(fifo), !c.replaced) << c.name;
        EXPECT_TRUE(namesStartingWith(box.work(), ".zarn_cache.tmp").empty()) << c.name;
    }
}

// The disk fills up while the cache is written: the flush failure is
// reported, the old cache file stays, the run succeeds.
TEST(StateE2e, AFailedFlushKeepsTheOldCache)
{
    Sandbox box;
    const auto unit = [](const std::string& fill) {
        return "unit demo\ngen: {\n  fill = \"" + fill + "\"\n  ^out = P\"(out.txt)\"\n  cmdline = \"echo made > "
               "out.txt\"\n}\n";
    };
    box.write("zarn.txt", unit(std::string(3000, 'a')));
    ASSERT_EQ(box.run({}).status, 0);
    const std::string old = box.read(".zarn_cache");

    box.write("zarn.txt", unit(std::string(3000, 'b')));
    E2e::RunResult result;
    {
        E2e::FileSizeLimit limit(2048);  // room for the output, not for the cache
        result = box.run({});
    }
    EXPECT_EQ(result.status, 0) << result.out;
    const std::string failure = lines(result.out).back();
    const std::string cacheFile = (box.work() / ".zarn_cache").string();
    EXPECT_EQ(failure.rfind("Unable to flush cache file '" + cacheFile + ".tmp.", 0), 0u) << failure;
    EXPECT_EQ(failure.substr(failure.size() - 2), "'.") << failure;
    EXPECT_EQ(box.read(".zarn_cache"), old);
    EXPECT_TRUE(namesStartingWith(box.work(), ".zarn_cache.tmp").empty());
}

}  // namespace
