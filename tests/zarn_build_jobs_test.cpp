#include "zarn_build_jobs.h"

#include <gtest/gtest.h>

#include <limits>

#include "build_test_support.h"
#include "types/zarn_exceptions.h"

using namespace BuildTestSupport;

namespace {

constexpr uint64_t noLimit = std::numeric_limits<uint64_t>::max();

TEST(ComputeJobParallelism, Table)
{
    struct Case {
        uint64_t jobs, limit, count, expected;
    };
    const Case cases[] = {
        {8, noLimit, 5, 2}, {1, noLimit, 100, 1}, {8, 1, 100, 1}, {4, 3, 100, 3},
        {8, noLimit, 1, 1}, {0, noLimit, 100, 1}, {8, noLimit, 3, 1}, {8, noLimit, 0, 1},
        // a job count of -1 widened with its sign is larger than any limit
        {static_cast<uint64_t>(static_cast<int64_t>(-1)), 5, 100, 5},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Zarn::computeJobParallelism(c.jobs, c.limit, c.count), c.expected)
            << c.jobs << "/" << c.limit << "/" << c.count;
}

// Items whose single input "src" holds the given name.
std::vector<Zarn::RecipeIO> itemsNamed(const std::vector<std::string>& names)
{
    std::vector<Zarn::RecipeIO> items;
    for (const std::string& name : names)
        items.push_back(Zarn::RecipeIO{{Zarn::RecipeInput{set("src", str(name)), {}, false}}, {}});
    return items;
}

std::vector<Zarn::RecipeIO*> pointersTo(std::vector<Zarn::RecipeIO>& items)
{
    std::vector<Zarn::RecipeIO*> pointers;
    for (Zarn::RecipeIO& item : items)
        pointers.push_back(&item);
    return pointers;
}

TEST(SplitTargetContexts, FirstGroupsTakeOneMoreItemInOrder)
{
    Zarn::TargetContext target(Zarn::QualifiedTargetName("p", "u", "t"), "param");
    target.addAssignment(set("own", str("not copied")));

    auto five = itemsNamed({"a", "b", "c", "d", "e"});
    auto groups = Zarn::splitTargetContexts(target, pointersTo(five), {}, 2);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(textOf(*groups[0], "src"), "a b c");
    EXPECT_EQ(textOf(*groups[1], "src"), "d e");
    EXPECT_FALSE(Zarn::hasVariable(*groups[0], "own"));
    EXPECT_EQ(groups[0]->name.toString(), "p/u::t");
    EXPECT_EQ(groups[0]->parameterText, "param");

    auto seven = itemsNamed({"a", "b", "c", "d", "e", "f", "g"});
    groups = Zarn::splitTargetContexts(target, pointersTo(seven), {}, 3);
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(textOf(*groups[0], "src"), "a b c");
    EXPECT_EQ(textOf(*groups[1], "src"), "d e");
    EXPECT_EQ(textOf(*groups[2], "src"), "f g");

    // more groups than items: one item each
    auto two = itemsNamed({"a", "b"});
    EXPECT_EQ(Zarn::splitTargetContexts(target, pointersTo(two), {}, 5).size(), 2u);
    EXPECT_TRUE(Zarn::splitTargetContexts(target, {}, {}, 2).empty());
    EXPECT_TRUE(Zarn::splitTargetContexts(target, pointersTo(two), {}, 0).empty());
}

TEST(SplitTargetContexts, UpToDateInputsPassTheirIntermediate)
{
    Zarn::TargetContext target(Zarn::QualifiedTargetName("", "u", "t"), "");
    std::vector<Zarn::RecipeIO> items = {
        {{Zarn::RecipeInput{set("src", str("a.c")), set("src", str("a.o")), true}}, {}},
        {{Zarn::RecipeInput{set("src", str("b.c")), set("src", str("b.o")), false}}, {}},
        {{Zarn::RecipeInput{set("src", str("c.c")), set("src", nullptr), true}}, {}},
    };
    auto groups = Zarn::splitTargetContexts(target, pointersTo(items), {}, 1);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(textOf(*groups[0], "src"), "a.o b.c c.c");
}

TEST(SplitTargetContexts, EnvironmentIsAppendedOncePerGroup)
{
    Zarn::TargetContext target(Zarn::QualifiedTargetName("", "u", "t"), "");
    auto items = itemsNamed({"a", "b", "c", "d"});
    auto groups = Zarn::splitTargetContexts(target, pointersTo(items), {set("flags", str("-O2"))}, 2);
    ASSERT_EQ(groups.size(), 2u);
    for (const auto& group : groups) {
        auto flags = std::dynamic_pointer_cast<Zarn::ZarnList>(Zarn::getVariable(*group, "flags"));
        ASSERT_TRUE(flags);
        ASSERT_EQ(flags->size(), 1u);
        EXPECT_EQ(flags->getMembers()[0]->toString(), "-O2");
    }
}

TEST(RunBuildJobs, NoContextsCallsNothing)
{
    ScriptedBuilder builder;
    Zarn::Context outputs;
    const std::string out = captureOutput(LogLevel::Trace, [&] {
        Zarn::runBuildJobs(builder, {}, "u::t", outputs);
        Zarn::runBuildJobs(builder, {nullptr, nullptr}, "u::t", outputs);
    });
    EXPECT_EQ(out, "");
    EXPECT_TRUE(builder.calls.empty());
}

TEST(RunBuildJobs, CallsTheBuilderInOrderAndMergesOutputsAsLists)
{
    ScriptedBuilder builder;
    Zarn::Context outputs;
    const std::string out = captureOutput(LogLevel::Info, [&] {
        Zarn::runBuildJobs(builder, {jobContext("one", {"true"}), nullptr, jobContext("two", {"true"})}, "u::t",
                           outputs);
    });
    EXPECT_EQ(builder.calls,
              (std::vector<std::string>{"prepare 2", "recipes one", "recipes two", "output", "output", "initialize"}));
    EXPECT_EQ(textOf(outputs, "job"), "one two");
    EXPECT_EQ(textOf(outputs, "result"), "0 0");
    EXPECT_EQ(out.find("Starting build job\nStarting build job\n"), 0u);
}

// Each job waits (boundedly) for a file that only the other job writes, so
// both succeed only when they run at the same time.
TEST(RunBuildJobs, GroupsRunInParallel)
{
    TempDir dir;
    const std::string d = dir.path().string();
    auto waitFor = [&](const std::string& mine, const std::string& theirs) {
        return "touch '" + d + "/" + mine + "'; i=0; while [ ! -e '" + d + "/" + theirs +
               "' ]; do i=$((i+1)); [ $i -gt 2000 ] && exit 9; sleep 0.01; done";
    };
    ScriptedBuilder builder;
    Zarn::Context outputs;
    captureOutput(LogLevel::Error, [&] {
        Zarn::runBuildJobs(builder, {jobContext("one", {waitFor("a", "b")}), jobContext("two", {waitFor("b", "a")})},
                           "u::t", outputs);
    });
    EXPECT_EQ(textOf(outputs, "result"), "0 0");
}

TEST(RunBuildJobs, AFailingJobLetsTheOthersFinishThenFails)
{
    TempDir dir;
    const std::string d = dir.path().string();
    ScriptedBuilder builder;
    Zarn::Context outputs;
    std::string out;
    // Job one fails at once; job two finishes its work only after it.
    const std::string second = "while [ ! -e '" + d + "/failed' ]; do sleep 0.01; done; touch '" + d + "/finished'";
    out = captureOutput(LogLevel::Info, [&] {
        try {
            Zarn::runBuildJobs(builder,
                               {jobContext("one", {"touch '" + d + "/failed'; exit 3", "touch '" + d + "/never'"}),
                                jobContext("two", {second})},
                               "u::t", outputs);
            ADD_FAILURE() << "no exception";
        } catch (const Zarn::ZarnException& error) {
            EXPECT_EQ(error.getMessage(), "Build failed.");
        }
    });
    EXPECT_TRUE(std::filesystem::exists(dir / "finished"));
    EXPECT_FALSE(std::filesystem::exists(dir / "never"));
    EXPECT_NE(out.find("Build of u::t failed. Exiting..\n"), std::string::npos);
    EXPECT_EQ(out.find("Build of"), out.rfind("Build of"));  // reported once
    EXPECT_EQ(builder.calls, (std::vector<std::string>{"prepare 2", "recipes one", "recipes two"}));
    EXPECT_TRUE(outputs.variables.empty());
}

TEST(RunBuildJobs, NotRunRecipeFailsTheBuild)
{
    ScriptedBuilder builder;
    Zarn::Context outputs;
    const std::string out = captureOutput(LogLevel::Info, [&] {
        EXPECT_THROW(Zarn::runBuildJobs(builder, {jobContext("one", {"SKIP: echo no"})}, "u::t", outputs),
                     Zarn::ZarnException);
    });
    EXPECT_NE(out.find("SKIP: echo no\n"), std::string::npos);
    EXPECT_EQ(out.find("\nno\n"), std::string::npos);
}

}  // namespace
