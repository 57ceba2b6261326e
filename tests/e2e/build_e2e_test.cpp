// Building with the real program: "command" and "no_tool" targets,
// dependency outputs, the outputs file and the build cache across runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/e2e_harness.h"

namespace {

using E2e::lines;
using E2e::Sandbox;
namespace fs = std::filesystem;

const std::string twoTargets = R"z(unit demo
all: gen {
  cmdline = "cat ${gen.out}"
}
gen: {
  cmdline = "echo generated > out.txt"
  ^out = P"(out.txt)"
}
)z";

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST(BuildE2e, TwoTargetsAcrossRunsReuseUnchangedWork)
{
    Sandbox box;
    box.write("zarn.txt", twoTargets);
    const auto first = box.run({});
    EXPECT_EQ(first.status, 0) << first.out;
    EXPECT_EQ(first.out, "Starting build\n[demo::all] Visiting target\n[demo::gen] Visiting target\n"
                         "[demo::gen] Starting build job\n[demo::gen] echo generated > out.txt\n"
                         "[demo::gen] Build done\n[demo::all] Starting build job\n[demo::all] cat " +
                             (box.work() / "out.txt").string() + "\ngenerated\n[demo::all] Build done\n");
    const std::string cache = box.read(".zarn_cache");
    EXPECT_EQ(cache.rfind("ZARN_CACHE_V5\n1\n9\ndemo::gen\n", 0), 0u) << cache;

    // Unchanged: gen is a cache hit, all (which has no outputs) runs again.
    const auto second = box.run({"-v", "1"});
    EXPECT_EQ(second.status, 0);
    EXPECT_TRUE(contains(second.out, "[demo::gen] Cache hit for 'demo::gen'.\n")) << second.out;
    EXPECT_FALSE(contains(second.out, "[demo::gen] Starting build job")) << second.out;
    EXPECT_TRUE(contains(second.out, "[demo::all] Starting build job"));

    // A missing output is built again.
    fs::remove(box.work() / "out.txt");
    const auto third = box.run({});
    EXPECT_TRUE(contains(third.out, "[demo::gen] echo generated > out.txt\n")) << third.out;
    EXPECT_EQ(box.read("out.txt"), "generated\n");

    // A change of letter case in the command is a change.
    std::string upper = twoTargets;
    upper.replace(upper.find("echo generated"), 14, "echo GENERATED");
    box.write("zarn.txt", upper);
    const auto fourth = box.run({});
    EXPECT_TRUE(contains(fourth.out, "[demo::gen] echo GENERATED > out.txt\n")) << fourth.out;
    EXPECT_TRUE(contains(fourth.out, "\nGENERATED\n")) << fourth.out;

    // The outputs file holds the main target's outputs; none gives an empty file.
    EXPECT_EQ(box.run({"-o", "outs.txt", "gen"}).status, 0);
    EXPECT_EQ(box.read("outs.txt"), "out = P\"" + (box.work() / "out.txt").string() + "\"\n");
    EXPECT_EQ(box.run({"-o", "outs.txt", "all"}).status, 0);
    EXPECT_EQ(box.read("outs.txt"), "");
    // One that cannot be opened fails the run but keeps the cache.
    fs::remove(box.work() / ".zarn_cache");
    const auto unopened = box.run({"-o", "missing/outs.txt", "gen"});
    EXPECT_EQ(unopened.status, 1);
    EXPECT_TRUE(contains(unopened.out, "Unable to open outputs file 'missing/outs.txt' for writing.\n")) << unopened.out;
    EXPECT_TRUE(contains(box.read(".zarn_cache"), "demo::gen"));
    // Nor one whose writing fails after it was opened.
    const auto unwritten = box.run({"-o", "/dev/full", "gen"});
    EXPECT_EQ(unwritten.status, 1);
    EXPECT_EQ(lines(unwritten.out).back(), "Unable to write outputs file '/dev/full'.") << unwritten.out;
}

TEST(BuildE2e, FailedRecipeEndsTheRunAndItsRecordIsNotReused)
{
    Sandbox box;
    box.write("zarn.txt", twoTargets);
    ASSERT_EQ(box.run({}).status, 0);

    // The command writes the output and then fails.
    std::string failing = twoTargets;
    failing.replace(failing.find("echo generated > out.txt"), 24, "echo half > out.txt; exit 3");
    box.write("zarn.txt", failing);
    const auto failed = box.run({});
    EXPECT_EQ(failed.status, 1);
    const auto out = lines(failed.out);
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out[out.size() - 2], "[demo::gen] Build of demo::gen failed. Exiting..");
    EXPECT_EQ(out.back(), "Error: Build failed.");
    EXPECT_FALSE(contains(box.read(".zarn_cache"), "demo::gen"));

    // Back to the first command: the output left by the failed run is not
    // taken for the first command's work.
    box.write("zarn.txt", twoTargets);
    const auto again = box.run({});
    EXPECT_EQ(again.status, 0);
    EXPECT_TRUE(contains(again.out, "[demo::gen] echo generated > out.txt\n")) << again.out;
    EXPECT_EQ(box.read("out.txt"), "generated\n");
}

// A target's own output value also wins over the profile's.
TEST(BuildE2e, OutputsOfDependenciesInOtherUnitsReachTheCommand)
{
    Sandbox box;
    box.write(".zarn_project.txt", R"z(name proj
units {
  app { "app/zarn.txt" }
  lib { "lib/zarn.txt" }
}
profiles {
  default { ^out = "profile" }
}
)z");
    box.write("app/zarn.txt", R"z(unit app
main: lib::gen local {
  cmdline = "echo lib=${lib.gen.out} local=${local.out}"
}
local: { NO_TOOL ^out = "here" }
)z");
    box.write("lib/zarn.txt", R"z(unit lib
gen: { NO_TOOL ^out = P"(gen.txt)" }
)z");
    const auto result = box.run({});
    EXPECT_EQ(result.status, 0) << result.out;
    const std::string expected = "lib=" + (box.work() / "lib" / "gen.txt").string() + " local=here";
    EXPECT_TRUE(contains(result.out, "[app::main] echo " + expected + "\n" + expected + "\n")) << result.out;
}

TEST(BuildE2e, ChangedDependencyOutputRebuildsItsDependents)
{
    Sandbox box;
    const std::string unit = R"z(unit demo
top: copy passed relay { NO_TOOL }
copy: gen {
  cmdline = "cp ${gen.out} copy.txt"
  ^copy = P"(copy.txt)"
}
passed: +gen {
  cmdline = "cp ${out} passed.txt"
  ^mine = P"(passed.txt)"
}
relay: +gen {
  cmdline = "echo relay >> relay.log"
}
gen: {
  cmdline = "echo ${msg} > out.txt"
  msg = "one"
  ^out = P"(out.txt)"
}
)z";
    box.write("zarn.txt", unit);
    ASSERT_EQ(box.run({}).status, 0);
    EXPECT_EQ(box.read("copy.txt"), "one\n");
    // Times set apart, so that the file system's clock granularity does not
    // decide.
    const auto now = fs::file_time_type::clock::now();
    fs::last_write_time(box.work() / "out.txt", now - std::chrono::seconds(60));
    for (const char* made : {"copy.txt", "passed.txt"})
        fs::last_write_time(box.work() / made, now - std::chrono::seconds(30));

    // Nothing changed: every dependent is reused, also the one whose only
    // outputs are those it passes on.
    const auto unchanged = box.run({"-v", "1"});
    EXPECT_EQ(unchanged.status, 0) << unchanged.out;
    for (const char* target : {"copy", "passed", "relay"})
        EXPECT_TRUE(contains(unchanged.out, std::string("Cache hit for 'demo::") + target + "'.\n"))
            << target << "\n" << unchanged.out;
    EXPECT_EQ(box.read("relay.log"), "relay\n");

    // gen writes its output anew: the dependents that read it follow.
    std::string changed = unit;
    changed.replace(changed.find("\"one\""), 5, "\"two\"");
    box.write("zarn.txt", changed);
    const auto rebuilt = box.run({});
    EXPECT_EQ(rebuilt.status, 0) << rebuilt.out;
    EXPECT_EQ(box.read("copy.txt"), "two\n") << rebuilt.out;
    EXPECT_EQ(box.read("passed.txt"), "two\n") << rebuilt.out;
}

TEST(BuildE2e, FileNamesHoldingReferenceCharactersStayLiteralAcrossRuns)
{
    Sandbox box;
    box.write("data/odd#1${x}.in", "content\n");
    box.write("zarn.txt", R"z(unit demo
all: gen {
  cmdline = "cat '${gen.out}'"
}
gen: {
  src = P"(data/*.in)"
  cmdline = "cp '${src}' '${out}'"
  ^out = P"(${src}.out)"
}
)z");
    const std::string made = (box.work() / "data" / "odd#1${x}.in.out").string();
    const std::string consumed = "[demo::all] cat '" + made + "'\ncontent\n";
    const auto first = box.run({});
    EXPECT_EQ(first.status, 0) << first.out;
    EXPECT_TRUE(contains(first.out, consumed)) << first.out;
    EXPECT_EQ(box.read(made), "content\n");

    // The record read back names the same file, and the dependent sees it
    // unchanged.
    const auto second = box.run({"-v", "1"});
    EXPECT_EQ(second.status, 0) << second.out;
    EXPECT_TRUE(contains(second.out, "[demo::gen] Cache hit for 'demo::gen'.\n")) << second.out;
    EXPECT_TRUE(contains(second.out, consumed)) << second.out;
    EXPECT_EQ(box.run({"-o", "outs.txt", "gen"}).status, 0);
    EXPECT_EQ(box.read("outs.txt"), "out = P\"" + made + "\"\n");
}

// "+" appends a dependency's outputs to the dependent's, "+>" merges
// dependencies under one name; outputs passed on are not repeated.
TEST(BuildE2e, OutputsPassedOnWithPlusAreNotRepeated)
{
    Sandbox box;
    box.write("zarn.txt", R"z(unit demo
top: +a b +> both c +> BOTH {
  libs = ["own"]
  cmdline = "echo libs=${libs} a=${a.libs} both=${both.tag}"
}
a: { NO_TOOL ^libs = "liba" }
b: { NO_TOOL ^tag = "b" }
c: { NO_TOOL ^tag = "c" }
level: mid { cmdline = "echo level=${mid.level}" }
mid: +config { cmdline = "echo mid level=${level}" }
config: { cmdline = "true" ^level = 3 }
)z");
    const auto top = box.run({});
    EXPECT_EQ(top.status, 0) << top.out;
    EXPECT_TRUE(contains(top.out, "\nlibs=own liba a=liba both=b c\n")) << top.out;
    const auto result = box.run({"level"});
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_TRUE(contains(result.out, "\nmid level=3\n")) << result.out;
    EXPECT_TRUE(contains(result.out, "\nlevel=3\n")) << result.out;
    EXPECT_EQ(box.run({"-o", "outs.txt", "mid"}).status, 0);
    EXPECT_EQ(box.read("outs.txt"), "level = 3\n");
}

// A dependency's parameters are resolved in the dependent; loops end the run,
// also one through another spelling of the unit.
TEST(BuildE2e, ParametersResolveInTheDependentAndLoopsAreFoundThroughAnySpelling)
{
    Sandbox box;
    box.write("zarn.txt", R"z(unit demo
top: gen(flavour) { NO_TOOL flavour = "sweet" }
gen(p): { cmdline = "echo made ${p}" }
self: @d { NO_TOOL d = "1::self" }
a: b { NO_TOOL }
b: a { NO_TOOL }
)z");
    const auto made = box.run({});
    EXPECT_EQ(made.status, 0) << made.out;
    EXPECT_TRUE(contains(made.out, "\nmade sweet\n")) << made.out;
    const auto loop = box.run({"self"});
    EXPECT_EQ(loop.status, 1);
    EXPECT_TRUE(contains(loop.out, "Error: Loop detected! Causing term: '/1::self'")) << loop.out;
    // Reported by the entry, without the prefix of any visit.
    const auto direct = box.run({"a"});
    EXPECT_EQ(direct.status, 1);
    EXPECT_EQ(lines(direct.out).back(), "  loop goes as follows: /demo::b <- /demo::a <- ") << direct.out;
    EXPECT_TRUE(contains(direct.out, "\nError: Loop detected! Causing term: '/demo::a'\n")) << direct.out;
    EXPECT_FALSE(fs::exists(box.work() / ".zarn_cache.tmp"));
}

TEST(BuildE2e, DiamondRunsACachedSharedTargetOnce)
{
    Sandbox box;
    box.write("zarn.txt", R"z(unit demo
top: left right { cmdline = "echo top" }
left: shared counted { cmdline = "echo left" }
right: shared counted { cmdline = "echo right" }
shared: { cmdline = "echo shared >> log.txt; touch shared.out" ^out = P"(shared.out)" }
counted: { cmdline = "echo counted >> log.txt" }
)z");
    const auto result = box.run({});
    EXPECT_EQ(result.status, 0) << result.out;
    // Uncached work is done once per dependent; cached work once.
    EXPECT_EQ(box.read("log.txt"), "shared\ncounted\ncounted\n");
    const auto out = lines(result.out);
    EXPECT_EQ(std::count(out.begin(), out.end(), "[demo::shared] Visiting target"), 2);
}

TEST(BuildE2e, CommandModeRunsTheCommandLine)
{
    Sandbox box;
    const auto result = box.run({"-c", "cmdline=\"echo hi\""});
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_EQ(result.out, "Starting build\n[::cmdline] Visiting target\n[::cmdline] Starting build job\n"
                          "[::cmdline] echo hi\nhi\n[::cmdline] Build done\n");
    EXPECT_TRUE(fs::exists(box.work() / ".zarn_cache"));

    // The command line wins over a unit file named with -f.
    box.write("other.txt", "unit demo\nt: { cmdline = \"echo from-file\" }\n");
    const auto withFile = box.run({"-c", "-f", "other.txt", "cmdline=\"echo hi\""});
    EXPECT_EQ(withFile.status, 0) << withFile.out;
    EXPECT_TRUE(contains(withFile.out, "[::cmdline] echo hi\nhi\n")) << withFile.out;
    EXPECT_FALSE(contains(withFile.out, "from-file")) << withFile.out;

    // Without a command there is nothing the command tool can run.
    const auto empty = box.run({"-c"});
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(lines(empty.out).back(), "Error: No tool to build ::cmdline.");
}

TEST(BuildE2e, CorruptOrTruncatedCacheFileIsReplaced)
{
    Sandbox box;
    box.write("zarn.txt", twoTargets);
    ASSERT_EQ(box.run({}).status, 0);
    const std::string good = box.read(".zarn_cache");
    // Runs that end before the build neither read nor write the cache file.
    box.write(".zarn_cache", "not a cache\n");
    for (const auto& args : std::vector<std::vector<std::string>>{{"-l", "1"}, {"-u"}, {"--version"}, {"-l", "x"}}) {
        const auto result = box.run(args);
        EXPECT_FALSE(contains(result.out, "Cache file")) << args[0] << "\n" << result.out;
        EXPECT_EQ(box.read(".zarn_cache"), "not a cache\n") << args[0];
    }

    const std::string cacheFile = (box.work() / ".zarn_cache").string();
    struct Case {
        std::string text;
        std::string element;
    };
    const Case cases[] = {
        {"ZARN_CACHE_V5\n1\n99999\ndemo::gen\n", "record key"},
        {good.substr(0, good.size() - 10), "env/context assignment"},  // cut short
    };
    for (const Case& c : cases) {
        box.write(".zarn_cache", c.text);
        const auto result = box.run({});
        EXPECT_EQ(result.status, 0) << result.out;
        EXPECT_TRUE(contains(result.out, "Cache file '" + cacheFile + "' is malformed (" + c.element +
                                             "). Starting with empty cache.\n"))
            << result.out;
        EXPECT_TRUE(contains(result.out, "[demo::gen] echo generated > out.txt\n")) << result.out;
        EXPECT_EQ(box.read(".zarn_cache").rfind("ZARN_CACHE_V5\n1\n9\ndemo::gen\n", 0), 0u);
    }
}

// The cache is written through a fresh temporary name: whatever holds the
// old fixed name is no obstacle and stays as it is.
TEST(BuildE2e, CacheIsSavedWhateverHoldsAFormerTemporaryName)
{
    Sandbox box;
    box.write("zarn.txt", twoTargets);
    fs::create_directory(box.work() / ".zarn_cache.tmp");
    const auto result = box.run({});
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_EQ(lines(result.out).back(), "[demo::all] Build done");
    EXPECT_EQ(box.read(".zarn_cache").rfind("ZARN_CACHE_V5\n1\n9\ndemo::gen\n", 0), 0u);
    EXPECT_TRUE(fs::is_directory(box.work() / ".zarn_cache.tmp"));
}

TEST(BuildE2e, RawCommandRunsAndOtherValuesAreNoCommand)
{
    Sandbox box;
    box.write("zarn.txt", R"z(unit demo
top: quoted number { NO_TOOL }
quoted: {
  cmdline = R"(echo "a  b" > q.txt)"
  ^out = P"(q.txt)"
}
number: { cmdline = 3 }
)z");
    const auto first = box.run({});
    EXPECT_EQ(first.status, 0) << first.out;
    EXPECT_EQ(box.read("q.txt"), "a  b\n");
    EXPECT_TRUE(contains(first.out, "[demo::number] Target 'demo::number': 'cmdline' holds a value that is not a "
                                    "command (3). Nothing is run.\n"))
        << first.out;
    // The quoted command reads back from the cache file and is reused.
    const auto second = box.run({"-v", "1"});
    EXPECT_TRUE(contains(second.out, "Cache hit for 'demo::quoted'.")) << second.out;
}

}  // namespace
