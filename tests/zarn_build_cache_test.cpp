#include "zarn_build_cache.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "build_test_support.h"
#include "types/zarn_exceptions.h"

using namespace BuildTestSupport;
namespace fs = std::filesystem;

namespace {

// A target demo::gen whose plan has one recipe per source file: input
// "src" (the source's path), output "obj" (the object's path).
class BuildCacheTest : public ::testing::Test {
protected:
    BuildCacheTest() : cache(dir / ".zarn_cache"), target(Zarn::QualifiedTargetName("", "demo", "gen"), "")
    {
        target.addAssignment(set("cmdline", str("cc")));
        logThreshold = 8;  // quiet unless a test captures
    }
    ~BuildCacheTest() override { logThreshold = 5; }

    static void setTime(const fs::path& file, int secondsFromNow)
    {
        fs::last_write_time(file, fs::file_time_type::clock::now() + std::chrono::seconds(secondsFromNow));
    }

    // Sources and objects on disk, each object newer than its source, and a
    // plan (command "cc" unless given) with a recipe for each source.
    void planBuilt(const std::vector<std::string>& sources, std::vector<Zarn::Assignment> environment = {})
    {
        builder.plan = Zarn::BuildPlan{};
        for (const std::string& source : sources) {
            setTime(dir.write(source), -60);
            setTime(dir.write(source + ".o"), -30);
            const Zarn::RecipeInput input{set("src", path(dir / source)), {}, false};
            builder.plan.recipes.push_back(Zarn::RecipeIO{{input}, {output("obj", path(dir / (source + ".o")))}});
        }
        builder.plan.environment =
            environment.empty() ? std::vector<Zarn::Assignment>{set("cmdline", str("cc"))} : environment;
        builder.plan.limit = 1;
    }

    // A record as the cache file would give it for the current plan.
    void recordFromFile(std::vector<Zarn::Assignment> environment = {})
    {
        auto record = std::make_shared<Zarn::RuntimeRecord>();
        for (Zarn::RecipeIO recipe : builder.plan.recipes) {
            for (Zarn::RecipeInput& input : recipe.inputs)
                input.input.value = input.input.value->deepClone();
            record->recipes.insert(Zarn::fingerprintInputs(recipe), recipe);
        }
        record->environment = environment.empty() ? builder.plan.environment : environment;
        Zarn::RuntimeRecordMap records;
        records.emplace(Util::CiString("demo::gen"), record);
        cache.replaceRecords(std::move(records));
    }

    Zarn::CacheLookupResult lookup() { return cache.lookupOrClaim(builder, target, 1); }

    // The source texts the job contexts were given to build, relative to dir.
    std::string builtSources(const Zarn::CacheLookupResult& result) const
    {
        std::string text;
        for (const auto& job : result.jobContexts)
            text += (text.empty() ? "" : " ") + textOf(*job, "src");
        const std::string prefix = dir.path().string() + "/";
        for (auto at = text.find(prefix); at != std::string::npos; at = text.find(prefix))
            text.erase(at, prefix.size());
        return text;
    }

    TempDir dir;
    Zarn::RuntimeCache cache;
    Zarn::TargetContext target;
    ScriptedBuilder builder;
};

TEST_F(BuildCacheTest, AbsentKeyIsClaimedThenStoredThenHitWithoutFiles)
{
    planBuilt({"a.c"});
    Zarn::CacheLookupResult first;
    std::string out = captureOutput(LogLevel::Debug, [&] { first = lookup(); });
    EXPECT_EQ(out, "Cache claimed for 'demo::gen'.\n");
    EXPECT_NE(first.claimToken, 0u);
    EXPECT_EQ(builtSources(first), "a.c");

    cache.upsert(target.key(), first.recipes, first.environment, first.claimToken);
    first = Zarn::CacheLookupResult{};  // the claim was stored: nothing to give up
    ASSERT_EQ(cache.records.count(Util::CiString("DEMO::GEN")), 1u);

    fs::remove(dir / "a.c.o");  // a record stored in this run is trusted
    Zarn::CacheLookupResult second;
    out = captureOutput(LogLevel::Debug, [&] { second = lookup(); });
    EXPECT_EQ(out, "Cache hit for 'demo::gen'.\n");
    EXPECT_TRUE(second.jobContexts.empty());
    EXPECT_EQ(second.claimToken, 0u);
    EXPECT_EQ(second.recipes.size(), 1u);  // the whole plan, for the output context
}

// A record read from the file is reused recipe by recipe; a rebuild is
// claimed, and its store keeps every recipe of the plan.
TEST_F(BuildCacheTest, FileRecordRebuildsOnlyWhatChanged)
{
    struct Case {
        const char* what;
        std::function<void()> change;
        std::string rebuilt;
    };
    const Case cases[] = {
        {"nothing (an input without paths needs only equality)", [] {}, ""},
        {"the environment", [&] { recordFromFile({set("cmdline", str("cc -O2"))}); }, "a.c b.c"},
        {"a source edited after its object", [&] { setTime(dir / "b.c", 0); }, "b.c"},
        {"a source as old as its object",
         [&] { fs::last_write_time(dir / "a.c", fs::last_write_time(dir / "a.c.o")); }, "a.c"},
        {"a missing object", [&] { fs::remove(dir / "a.c.o"); }, "a.c"},
    };
    for (const Case& c : cases) {
        planBuilt({"a.c", "b.c"});
        builder.plan.recipes[0].inputs.push_back(Zarn::RecipeInput{set("flags", str("-O2")), {}, false});
        recordFromFile();
        c.change();
        auto result = lookup();
        EXPECT_EQ(builtSources(result), c.rebuilt) << c.what;
        EXPECT_EQ(result.claimToken != 0, !c.rebuilt.empty()) << c.what;
        if (c.rebuilt == "a.c b.c") {
            for (const auto& [fingerprint, recipe] : result.recipes)
                EXPECT_FALSE(recipe.inputs[0].upToDate) << c.what;
        }
        if (result.claimToken == 0)
            continue;
        cache.upsert(target.key(), result.recipes, result.environment, result.claimToken);
        auto record = cache.records.at(Util::CiString("demo::gen"));
        EXPECT_EQ(record->recipes.size(), 2u) << c.what;
        EXPECT_TRUE(record->ready) << c.what;
        EXPECT_EQ(record->pending, 0) << c.what;
    }
}

// A dependency's outputs reach a recipe as a context value; its files count as
// the recipe's inputs. With a "+" dependency they are also outputs of the
// recipe, passed on.
TEST_F(BuildCacheTest, FilesOfDependencyOutputsAreInputs)
{
    struct Case {
        int dependencyAge;  // seconds before now; 0: the file is missing
        bool passedOn;      // the dependency's file is an output of the recipe too
        bool ownOutput;     // the recipe makes a file of its own (30 s old)
        bool rebuilt;
        const char* what;
    };
    const Case cases[] = {
        {60, false, true, false, "older than the outputs"},
        {10, false, true, true, "rebuilt after the outputs"},
        {0, false, true, true, "missing"},
        {10, true, true, true, "passed on, newer than the recipe's own file"},
        {60, true, true, false, "passed on, older than the recipe's own file"},
        {10, true, false, false, "passed on as the only output"},
    };
    for (const Case& c : cases) {
        fs::remove(dir / "dep.txt");
        if (c.dependencyAge != 0)
            setTime(dir.write("dep.txt"), -c.dependencyAge);
        setTime(dir.write("own.o"), -30);
        Zarn::RecipeIO recipe{{Zarn::RecipeInput{set("gen", block({output("out", path(dir / "dep.txt"))})), {}, false}},
                              {}};
        if (c.ownOutput)
            recipe.outputs.push_back(output("obj", path(dir / "own.o")));
        if (c.passedOn)
            recipe.outputs.push_back(output("out", path(dir / "dep.txt")));
        planBuilt({});
        builder.plan.recipes = {recipe};
        recordFromFile();
        EXPECT_EQ(!lookup().jobContexts.empty(), c.rebuilt) << c.what;
    }
}

TEST_F(BuildCacheTest, UpToDateInputPassesItsIntermediateOnlyWhenItsFilesExist)
{
    planBuilt({"a.c", "b.c"});
    // One recipe linking two sources; each source has an object as intermediate.
    Zarn::RecipeIO link{{Zarn::RecipeInput{set("src", path(dir / "a.c")), set("src", path(dir / "a.c.o")), false},
                         Zarn::RecipeInput{set("src", path(dir / "b.c")), set("src", path(dir / "b.o")), false}},
                        {output("bin", path(dir / "app"))}};
    builder.plan.recipes = {link};
    setTime(dir.write("app"), -10);
    recordFromFile();
    auto& recorded = cache.records.begin()->second->recipes.begin()->second;
    recorded.inputs[1].intermediate.value = path(dir / "b.o");
    recorded.inputs[0].intermediate.value = path(dir / "a.c.o");
    // b.o does not exist: b.c is built from source, a.c passes its object.
    EXPECT_EQ(builtSources(lookup()), "a.c.o b.c");
    // Once the record does not hold the plan, no input counts as up to date,
    // whatever the plan said.
    builder.plan.recipes[0].inputs[0].upToDate = true;
    recordFromFile({set("cmdline", str("other"))});
    EXPECT_EQ(builtSources(lookup()), "a.c b.c");
}

// A fingerprint tells the name from the value, so that only equal inputs
// share one; a plan's recipes keep their order and split into job groups.
TEST_F(BuildCacheTest, EqualFingerprintsAreBuiltOnceInGroupsByJobCountAndLimit)
{
    EXPECT_NE(Zarn::fingerprintInputs(Zarn::RecipeIO{{Zarn::RecipeInput{set("a", str("bc")), {}, false}}, {}}),
              Zarn::fingerprintInputs(Zarn::RecipeIO{{Zarn::RecipeInput{set("ab", str("c")), {}, false}}, {}}));
    planBuilt({"a.c", "b.c", "c.c", "d.c", "e.c", "a.c"});
    builder.plan.limit = Zarn::noParallelLimit;
    const auto result = cache.lookupOrClaim(builder, target, 8);
    EXPECT_EQ(result.recipes.size(), 5u);
    ASSERT_EQ(result.jobContexts.size(), 2u);
    EXPECT_EQ(textOf(*result.jobContexts[0], "src"), (dir / "a.c").string() + " " + (dir / "b.c").string() + " " +
                                                         (dir / "c.c").string());
    EXPECT_EQ(builtSources(result), "a.c b.c c.c d.c e.c");
}

TEST_F(BuildCacheTest, ClaimIsGivenUpWhenTheVisitLeavesWithoutStoring)
{
    planBuilt({"a.c"});
    recordFromFile({set("cmdline", str("old"))});
    {
        auto result = lookup();
        ASSERT_NE(result.claimToken, 0u);
        EXPECT_TRUE(cache.snapshot().empty());  // claimed and not stored: never written
    }
    // The half-done record is gone; the next visit claims afresh.
    EXPECT_TRUE(cache.records.empty());
    auto again = lookup();
    EXPECT_NE(again.claimToken, 0u);
    EXPECT_EQ(builtSources(again), "a.c");
}

TEST_F(BuildCacheTest, WaiterGetsAHitWhenTheClaimIsStored)
{
    planBuilt({"a.c"});
    ScriptedBuilder other;
    other.plan = builder.plan;
    auto first = lookup();
    ASSERT_NE(first.claimToken, 0u);
    Zarn::CacheLookupResult second;
    std::thread waiter([&] { second = cache.lookupOrClaim(other, target, 1); });
    std::this_thread::yield();
    cache.upsert(target.key(), first.recipes, first.environment, first.claimToken);
    waiter.join();
    EXPECT_TRUE(second.jobContexts.empty());
    EXPECT_EQ(second.claimToken, 0u);
}

// Whether the waiter is already waiting when the claim is given up cannot be
// observed; either way it must build everything, and when it did wait (no
// claim of its own) it must say why.
TEST_F(BuildCacheTest, WaiterBuildsEverythingWhenTheClaimIsGivenUp)
{
    planBuilt({"a.c"});
    ScriptedBuilder other;
    other.plan = builder.plan;
    auto first = std::make_unique<Zarn::CacheLookupResult>(lookup());
    const Zarn::RuntimeRecordPtr record = cache.records.begin()->second;
    Zarn::CacheLookupResult second;
    const std::string out = captureOutput(LogLevel::Detail, [&] {
        std::thread waiter([&] { second = cache.lookupOrClaim(other, target, 1); });
        while (record.use_count() < 4)  // the map, the claim, this test and the waiter
            std::this_thread::yield();
        for (int i = 0; i < 1000; ++i)
            std::this_thread::yield();
        first.reset();  // the build failed: the claim is given up
        waiter.join();
    });
    EXPECT_EQ(builtSources(second), "a.c");
    if (second.claimToken == 0) {
        EXPECT_EQ(out,
                  "Cache record for 'demo::gen' was claimed but resulted in invalid recipes upon completion.\n");
    }
}

}  // namespace
