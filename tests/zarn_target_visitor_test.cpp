// The target visitor with a fake tool whose builder runs nothing and records
// what it is asked to do.
#include "zarn_target_visitor.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "build_test_support.h"
#include "loader/zarn_unit.h"
#include "types/zarn_exceptions.h"
#include "zarn_app.h"
#include "zarn_build_cache.h"
#include "zarn_tool_tables.h"

using namespace BuildTestSupport;

namespace {

// What the fake tool saw: the order of its calls, and per target the text of
// the variable "x" in the context the job was made from.
struct Journal {
    std::vector<std::string> calls;
    std::map<std::string, std::string> seenX;
};

std::string targetOf(const Zarn::Context& context)
{
    const auto* target = dynamic_cast<const Zarn::TargetContext*>(&context);
    return target ? target->name.target : "?";
}

class FakeBuilder : public Zarn::Builder {
public:
    FakeBuilder(std::shared_ptr<Journal> journal, bool bare)
        : Zarn::Builder(bare ? Zarn::KeySet() : Zarn::makeKeySet({Zarn::makeKeyEntry("fake")}),
                        bare ? Zarn::VariableSchema()
                             : Zarn::makeVariableSchema({Zarn::makeSchemaEntry("level", str("3"))})),
          journal(std::move(journal))
    {
    }
    std::string getName() const override { return "fake-builder"; }
    void prepare(const Zarn::Context&, uint64_t) override {}
    void initialize() override {}
    Zarn::Context createOutputContext(const Zarn::Context&, int status) override
    {
        Zarn::Context outputs;
        outputs.addAssignment(set("result", integer(status)));
        return outputs;
    }
    // A target with "cached" plans one recipe: that variable as input, the
    // target's output variables as outputs.
    Zarn::BuildPlan createBuildPlan(const Zarn::TargetContext& target) override
    {
        Zarn::BuildPlan plan;
        if (!Zarn::hasVariable(target, "cached"))
            return plan;
        Zarn::RecipeIO recipe;
        recipe.inputs.push_back(Zarn::RecipeInput{set("cached", str(textOf(target, "cached"))), {}, false});
        for (const auto& entry : target.variables)
            if (entry.second.flags == Zarn::Assignment::OutputFlag)
                recipe.outputs.push_back(entry.second);
        plan.recipes.push_back(recipe);
        plan.environment.push_back(set("fake", str(textOf(target, "fake"))));
        return plan;
    }
    std::vector<Zarn::Recipe> createRecipes(const Zarn::Context& job) override
    {
        journal->calls.push_back(targetOf(job));
        journal->seenX[targetOf(job)] = textOf(job, "x");
        return {};
    }

    std::shared_ptr<Journal> journal;
};

// Takes every target that has a variable "fake". "no_builder" makes it hand
// out no builder; "bare" a builder without subjects.
class FakeMatcher : public Zarn::Matcher {
public:
    explicit FakeMatcher(std::shared_ptr<Journal> journal)
        : Zarn::Matcher("fake_tool", Zarn::makeKeySet({Zarn::makeKeyEntry("opt", str("O2"))}),
                        Zarn::makeKeySet({Zarn::makeKeyEntry("fake")}), {}, {}),
          journal(std::move(journal))
    {
    }
    std::unique_ptr<Zarn::Matcher> clone() const override { return std::make_unique<FakeMatcher>(*this); }
    Zarn::MatchResult match(const Zarn::TargetContext&) const override
    {
        Zarn::MatchResult result;
        result.status = Zarn::BuildPossible;
        return result;
    }
    std::shared_ptr<Zarn::Builder> createBuilder(const Zarn::TargetContext& target) override
    {
        if (Zarn::hasVariable(target, "no_builder"))
            return nullptr;
        return std::make_shared<FakeBuilder>(journal, Zarn::hasVariable(target, "bare"));
    }

    std::shared_ptr<Journal> journal;
};

Zarn::Dependency dependsOn(const std::string& name, uint32_t modifier = 0)
{
    Zarn::Dependency dependency;
    dependency.modifier = modifier;
    dependency.target = Zarn::QualifiedTargetName::parse(name);
    return dependency;
}

Zarn::Assignment fake() { return set("fake", str("yes")); }

class TargetVisitorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        demo = addUnit("demo");
        app.unitTable.mainUnit = "demo";
        app.registeredTools["fake_tool"] = std::make_shared<FakeMatcher>(journal);
        app.profileContext.addAssignment(set("root", str("/p")));
    }

    std::shared_ptr<Zarn::Unit> addUnit(const std::string& name)
    {
        auto unit = std::make_shared<Zarn::Unit>();
        unit->name = name;
        app.unitTable.addUnit("", name, unit);
        return unit;
    }

    void addTarget(Zarn::Unit& unit, const std::string& name, std::vector<Zarn::Assignment> assignments,
                   std::vector<Zarn::Dependency> dependencies = {}, std::vector<std::string> parameters = {})
    {
        Zarn::Target target;
        target.name = Zarn::QualifiedTargetName("", unit.name, name);
        target.assignments = std::move(assignments);
        target.dependencies = std::move(dependencies);
        target.parameterNames = std::move(parameters);
        unit.addTarget(std::move(target));
    }

    Zarn::Context build(const std::string& unit, const std::string& target)
    {
        return app.buildTarget(Zarn::QualifiedTargetName("", unit, target), {}, visiting);
    }

    // The error message of the build, or "" when it succeeds.
    std::string buildError(const std::string& unit, const std::string& target)
    {
        try {
            captureOutput(LogLevel::Error, [&] { build(unit, target); });
        } catch (const Zarn::ZarnException& error) {
            return error.getMessage();
        }
        return "";
    }

    ZarnApplication app;
    std::shared_ptr<Journal> journal = std::make_shared<Journal>();
    std::shared_ptr<Zarn::Unit> demo;
    Zarn::VisitingState visiting;
};

TEST_F(TargetVisitorTest, BuildsDependenciesDepthFirstInListOrder)
{
    addTarget(*demo, "top", {fake()}, {dependsOn("a"), dependsOn("b")});
    addTarget(*demo, "a", {fake()}, {dependsOn("c")});
    addTarget(*demo, "b", {fake()});
    addTarget(*demo, "c", {fake()});
    const std::string out = captureOutput(LogLevel::Info, [&] { build("demo", "top"); });
    EXPECT_EQ(journal->calls, (std::vector<std::string>{"c", "a", "b", "top"}));
    // Each line carries the prefix of the visit that printed it.
    EXPECT_EQ(out,
              "[demo::top] Visiting target\n"
              "[demo::a] Visiting target\n"
              "[demo::c] Visiting target\n"
              "[demo::c] Starting build job\n"
              "[demo::c] Build done\n"
              "[demo::a] Starting build job\n"
              "[demo::a] Build done\n"
              "[demo::b] Visiting target\n"
              "[demo::b] Starting build job\n"
              "[demo::b] Build done\n"
              "[demo::top] Starting build job\n"
              "[demo::top] Build done\n");
    EXPECT_TRUE(visiting.path.empty());
    EXPECT_TRUE(visiting.names.empty());
    EXPECT_TRUE(visiting.targets.empty());
}

TEST_F(TargetVisitorTest, DependencyOutputsReachTheConsumer)
{
    auto lib = addUnit("lib");
    addTarget(*demo, "top", {fake(), set("x", str("${gen.out} ${lib.tool.out}"))},
              {dependsOn("gen"), dependsOn("lib::tool")});
    addTarget(*demo, "gen", {fake(), output("out", str("gen.txt"))});
    addTarget(*lib, "tool", {fake(), output("out", str("tool.bin"))});
    captureOutput(LogLevel::Error, [&] { build("demo", "top"); });
    EXPECT_EQ(journal->seenX["top"], "gen.txt tool.bin");
}

TEST_F(TargetVisitorTest, DependencyParametersAreResolvedInTheConsumer)
{
    Zarn::Dependency withParameter = dependsOn("gen");
    Zarn::Identifier identifier;
    Zarn::ParseError error;
    ASSERT_TRUE(Zarn::parseIdentifier("flavour", identifier, error));
    withParameter.parameters.push_back(identifier);
    addTarget(*demo, "top", {fake(), set("flavour", str("sweet"))}, {withParameter});
    addTarget(*demo, "gen", {fake(), set("x", str("made ${p}"))}, {}, {"p"});
    captureOutput(LogLevel::Error, [&] { build("demo", "top"); });
    EXPECT_EQ(journal->seenX["gen"], "made sweet");
}

TEST_F(TargetVisitorTest, PlusDependencyAppendsItsOutputsToTheConsumer)
{
    addTarget(*demo, "top", {fake(), set("libs", list({str("own")})), set("x", str("${libs}"))},
              {dependsOn("a", 1)});
    addTarget(*demo, "a", {fake(), output("libs", str("liba"))});
    captureOutput(LogLevel::Error, [&] { build("demo", "top"); });
    EXPECT_EQ(journal->seenX["top"], "own liba");
}

TEST_F(TargetVisitorTest, LoopIsReportedWithThePathAndCleansUp)
{
    addTarget(*demo, "a", {fake()}, {dependsOn("b")});
    addTarget(*demo, "b", {fake()}, {dependsOn("A")});
    logLinePrefix = "";
    EXPECT_EQ(buildError("demo", "a"),
              "Loop detected! Causing term: '/demo::A'\n  loop goes as follows: /demo::b <- /demo::a <- ");
    EXPECT_EQ(logLinePrefix, "");
    EXPECT_TRUE(visiting.path.empty());
    EXPECT_TRUE(visiting.names.empty());
    EXPECT_TRUE(visiting.targets.empty());
    EXPECT_TRUE(journal->calls.empty());
}

TEST_F(TargetVisitorTest, LoopThroughAnotherSpellingOfTheUnitIsFound)
{
    app.unitTable.addUnit("", "1", demo);
    addTarget(*demo, "a", {fake()}, {dependsOn("1::a")});
    EXPECT_EQ(buildError("demo", "a"),
              "Loop detected! Causing term: '/1::a'\n  loop goes as follows: /demo::a <- ");
}

TEST_F(TargetVisitorTest, NoToolOrNoBuilderIsAnError)
{
    addTarget(*demo, "plain", {set("x", str("1"))});
    addTarget(*demo, "refused", {fake(), set("no_builder", str("1"))});
    EXPECT_EQ(buildError("demo", "plain"), "No tool to build demo::plain.");
    EXPECT_EQ(buildError("demo", "refused"), "No tool to build demo::refused.");
    EXPECT_EQ(buildError("demo", "missing"), "Target 'demo::missing' not found.");
}

TEST_F(TargetVisitorTest, ProjectWithoutRuntimeContextIsAnError)
{
    app.mainProject = std::make_shared<Zarn::Project>();
    app.unitTable.addUnit("proj", "demo", demo);
    addTarget(*demo, "a", {fake()});
    try {
        captureOutput(LogLevel::Error, [&] {
            app.buildTarget(Zarn::QualifiedTargetName("proj", "demo", "a"), {}, visiting);
        });
        FAIL() << "no error";
    } catch (const Zarn::NotFoundException& error) {
        EXPECT_EQ(error.getMessage(), "project namespace 'proj' not found.");
    }
}

TEST_F(TargetVisitorTest, ReportsToolSelectionAndClaims)
{
    addTarget(*demo, "a", {fake(), set("level", str("3"))});
    addTarget(*demo, "b", {fake(), set("bare", str("1"))});
    const std::string a = captureOutput(LogLevel::Verbose, [&] { build("demo", "a"); });
    EXPECT_NE(a.find("[demo::a] Tool selection\n"
                     "[demo::a] --------------\n"
                     "[demo::a] Registered : fake_tool\n"
                     "[demo::a] Tool       : fake-builder\n"
                     "[demo::a] Reason     :\n"
                     "[demo::a]   - fake "),
              std::string::npos)
        << a;
    EXPECT_NE(a.find("[demo::a]   - level full match\n"), std::string::npos) << a;
    EXPECT_NE(a.find("[demo::a] Input context:\n[demo::a] /demo::a\n"), std::string::npos) << a;
    const std::string b = captureOutput(LogLevel::Verbose, [&] { build("demo", "b"); });
    EXPECT_NE(b.find("[demo::b] Reason     :\n[demo::b]   - no matched variables\n"), std::string::npos) << b;

    // The claims are reported against the plain project context.
    app.profileContext.addAssignment(fake());
    const std::string claims = captureOutput(LogLevel::Debug, [&] { build("demo", "a"); });
    EXPECT_NE(claims.find("[demo::a] Filtering context.\n[demo::a] Claiming variable 'fake'.\n"), std::string::npos)
        << claims;
}

TEST_F(TargetVisitorTest, ToolDefaultsFillOnlyUnsetVariables)
{
    addTarget(*demo, "a", {fake(), set("x", str("${opt}"))});
    addTarget(*demo, "b", {fake(), set("opt", str("O0")), set("x", str("${opt}"))});
    captureOutput(LogLevel::Error, [&] {
        build("demo", "a");
        build("demo", "b");
    });
    EXPECT_EQ(journal->seenX["a"], "O2");
    EXPECT_EQ(journal->seenX["b"], "O0");
}

TEST_F(TargetVisitorTest, OwnOutputValueWinsOverTheProjectContext)
{
    app.profileContext.addAssignment(output("out", str("from-profile")), 1);
    addTarget(*demo, "own", {fake(), output("out", str("from-target"))});
    addTarget(*demo, "inherits", {fake()});
    Zarn::Context own;
    captureOutput(LogLevel::Error, [&] { own = build("demo", "own"); });
    EXPECT_EQ(textOf(own, "out"), "from-target");
    // Without a cache the jobs' own outputs stay in the result.
    EXPECT_EQ(textOf(own, "result"), "0");
}

TEST_F(TargetVisitorTest, SharedCachedDependencyIsBuiltOnceAndGivesRecordedOutputs)
{
    TempDir dir;
    app.buildCache = std::make_unique<Zarn::RuntimeCache>(dir / ".zarn_cache");
    addTarget(*demo, "top", {fake()}, {dependsOn("left"), dependsOn("right")});
    addTarget(*demo, "left", {fake(), set("x", str("${gen.out}"))}, {dependsOn("gen")});
    addTarget(*demo, "right", {fake(), set("x", str("${gen.out}"))}, {dependsOn("gen")});
    addTarget(*demo, "gen", {fake(), set("cached", str("src")), output("out", str("gen.o"))});
    Zarn::Context top;
    const std::string log = captureOutput(LogLevel::Debug, [&] { top = build("demo", "top"); });
    // Uncached targets run once per visit; the cached one only once.
    EXPECT_EQ(journal->calls, (std::vector<std::string>{"gen", "left", "right", "top"}));
    EXPECT_NE(log.find("[demo::gen] Cache claimed for 'demo::gen'.\n"), std::string::npos) << log;
    EXPECT_NE(log.find("[demo::gen] Cache hit for 'demo::gen'.\n"), std::string::npos) << log;
    EXPECT_EQ(journal->seenX["left"], "gen.o");
    EXPECT_EQ(journal->seenX["right"], "gen.o");
    // With a cache the result holds the recorded outputs, not the jobs'.
    EXPECT_FALSE(Zarn::hasVariable(top, "result"));
    ASSERT_EQ(app.buildCache->records.count("DEMO::GEN"), 1u);
}

TEST_F(TargetVisitorTest, CachedTargetOutputsComeFromTheRecord)
{
    TempDir dir;
    app.buildCache = std::make_unique<Zarn::RuntimeCache>(dir / ".zarn_cache");
    addTarget(*demo, "gen", {fake(), set("cached", str("src")), output("out", str("gen.o"))});
    Zarn::Context first;
    Zarn::Context second;
    captureOutput(LogLevel::Error, [&] {
        first = build("demo", "gen");
        second = build("demo", "gen");
    });
    for (const Zarn::Context* outputs : {&first, &second}) {
        EXPECT_EQ(textOf(*outputs, "out"), "gen.o");
        EXPECT_FALSE(Zarn::hasVariable(*outputs, "result"));
    }
    // Changing an output context later does not reach the record.
    Zarn::getVariable(first, "out")->append(*str("-changed"));
    const auto& record = app.buildCache->records.at("demo::gen");
    EXPECT_EQ(record->recipes.begin()->second.outputs.front().value->toString(), "gen.o");
}

}  // namespace
