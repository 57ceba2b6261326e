#include "zarn_build_jobs.h"

#include <gtest/gtest.h>

#include <limits>

#include "build_test_support.h"

using namespace BuildTestSupport;

namespace {

TEST(ComputeJobParallelism, Table)
{
    constexpr uint64_t noLimit = std::numeric_limits<uint64_t>::max();
    struct Case {
        uint64_t jobs, limit, count, expected;
    };
    const Case cases[] = {
        {8, noLimit, 5, 2}, {1, noLimit, 100, 1}, {8, 1, 100, 1}, {4, 3, 100, 3}, {8, noLimit, 3, 1},
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

// The "src" texts of the groups the items are split into.
std::vector<std::string> split(std::vector<Zarn::RecipeIO> items, uint64_t groups)
{
    Zarn::TargetContext target(Zarn::QualifiedTargetName("", "u", "t"), "");
    std::vector<std::string> texts;
    for (const auto& group : Zarn::splitTargetContexts(target, pointersTo(items), {}, groups))
        texts.push_back(textOf(*group, "src"));
    return texts;
}

TEST(SplitTargetContexts, FirstGroupsTakeOneMoreItemInOrder)
{
    using Texts = std::vector<std::string>;
    EXPECT_EQ(split(itemsNamed({"a", "b", "c", "d", "e"}), 2), (Texts{"a b c", "d e"}));
    EXPECT_EQ(split(itemsNamed({"a", "b", "c", "d", "e", "f", "g"}), 3), (Texts{"a b c", "d e", "f g"}));
    EXPECT_EQ(split(itemsNamed({"a", "b"}), 5), (Texts{"a", "b"}));
    // An input known up to date passes its intermediate, when it has a value.
    EXPECT_EQ(split({{{Zarn::RecipeInput{set("src", str("a.c")), set("src", str("a.o")), true}}, {}},
                     {{Zarn::RecipeInput{set("src", str("b.c")), set("src", str("b.o")), false}}, {}},
                     {{Zarn::RecipeInput{set("src", str("c.c")), set("src", nullptr), true}}, {}}},
                    1),
              Texts{"a.o b.c c.c"});
}

TEST(RunBuildJobs, CallsTheBuilderInOrderAndMergesOutputsAsLists)
{
    ScriptedBuilder builder;
    Zarn::Context outputs;
    EXPECT_EQ(captureLog(LogLevel::Trace, [&] { Zarn::runBuildJobs(builder, {nullptr}, "u::t", outputs); }), "");
    EXPECT_TRUE(builder.calls.empty());

    const std::string out = captureLog(LogLevel::Info, [&] {
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
    captureLog(LogLevel::Error, [&] {
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
    // Job one fails at once; job two finishes its work only after it.
    const std::string second = "while [ ! -e '" + d + "/failed' ]; do sleep 0.01; done; touch '" + d + "/finished'";
    std::string error;
    const std::string out = captureLog(LogLevel::Info, [&] {
        error = errorOf([&] {
            Zarn::runBuildJobs(builder,
                               {jobContext("one", {"touch '" + d + "/failed'; exit 3", "touch '" + d + "/never'"}),
                                jobContext("two", {second})},
                               "u::t", outputs);
        });
    });
    EXPECT_EQ(error, "Zarn: Build failed.");
    EXPECT_TRUE(std::filesystem::exists(dir / "finished"));
    EXPECT_FALSE(std::filesystem::exists(dir / "never"));
    EXPECT_NE(out.find("Build of u::t failed. Exiting..\n"), std::string::npos);
    EXPECT_EQ(out.find("Build of"), out.rfind("Build of"));  // reported once
    EXPECT_EQ(builder.calls, (std::vector<std::string>{"prepare 2", "recipes one", "recipes two"}));
    EXPECT_TRUE(outputs.variables.empty());
}

}  // namespace
