// The target visitor with a fake tool whose builder runs nothing and records
// what it is asked to do.
#include "zarn_target_visitor.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "loader/zarn_unit.h"
#include "test_support.h"
#include "zarn_app.h"
#include "zarn_build_cache.h"
#include "zarn_tool_tables.h"

using namespace TestSupport;

namespace {

// What the fake tool saw: per job, in order, "<target>=<text of x>".
using Journal = std::vector<std::string>;

std::string targetOf(const Zarn::Context& context)
{
    const auto* target = dynamic_cast<const Zarn::TargetContext*>(&context);
    return target ? target->name.target : "?";
}

class FakeBuilder : public Zarn::Builder {
public:
    explicit FakeBuilder(std::shared_ptr<Journal> journal)
        : Zarn::Builder(Zarn::makeKeySet({Zarn::makeKeyEntry("fake")}),
                        Zarn::makeVariableSchema({Zarn::makeSchemaEntry("level", str("3"))})),
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
        journal->push_back(targetOf(job) + "=" + textOf(job, "x"));
        return {};
    }

    std::shared_ptr<Journal> journal;
};

// Takes every target; "no_builder" makes it hand out no builder.
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
        return std::make_shared<FakeBuilder>(journal);
    }

    std::shared_ptr<Journal> journal;
};

Zarn::Dependency dependsOn(const std::string& name)
{
    Zarn::Dependency dependency;
    dependency.target = Zarn::QualifiedTargetName::parse(name);
    return dependency;
}

Zarn::Assignment fake() { return set("fake", str("yes")); }

class TargetVisitorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        demo = std::make_shared<Zarn::Unit>();
        demo->name = "demo";
        app.unitTable.addUnit("", "demo", demo);
        app.unitTable.mainUnit = "demo";
        app.registeredTools["fake_tool"] = std::make_shared<FakeMatcher>(journal);
        app.profileContext.addAssignment(set("root", str("/p")));
    }

    void addTarget(const std::string& name, std::vector<Zarn::Assignment> assignments,
                   std::vector<Zarn::Dependency> dependencies = {}, std::vector<std::string> parameters = {})
    {
        Zarn::Target target;
        target.name = Zarn::QualifiedTargetName("", "demo", name);
        target.assignments = std::move(assignments);
        target.dependencies = std::move(dependencies);
        target.parameterNames = std::move(parameters);
        demo->addTarget(std::move(target));
    }

    Zarn::Context build(const std::string& target)
    {
        return app.buildTarget(Zarn::QualifiedTargetName("", "demo", target), {}, visiting);
    }

    ZarnApplication app;
    std::shared_ptr<Journal> journal = std::make_shared<Journal>();
    std::shared_ptr<Zarn::Unit> demo;
    Zarn::VisitingState visiting;
};

// A dependency's parameters are resolved in the consumer's context; the
// tool's defaults fill only variables the target leaves unset.
TEST_F(TargetVisitorTest, VariablesOfTheJob)
{
    Zarn::Dependency withParameter = dependsOn("gen");
    Zarn::Identifier identifier;
    Zarn::ParseError error;
    ASSERT_TRUE(Zarn::parseIdentifier("flavour", identifier, error));
    withParameter.parameters.push_back(identifier);
    addTarget("top", {fake(), set("flavour", str("sweet")), set("x", str("${opt}"))}, {withParameter});
    addTarget("gen", {fake(), set("opt", str("O0")), set("x", str("made ${p} ${opt}"))}, {}, {"p"});
    captureLog(LogLevel::Error, [&] { build("top"); });
    EXPECT_EQ(*journal, (Journal{"gen=made sweet O0", "top=O2"}));
}

// A loop is found also through another spelling of its unit; errors leave
// no visit behind.
TEST_F(TargetVisitorTest, LoopThroughAnotherSpellingOfTheUnitIsFound)
{
    app.unitTable.addUnit("", "1", demo);
    addTarget("a", {fake()}, {dependsOn("b")});
    addTarget("b", {fake()}, {dependsOn("A")});
    addTarget("self", {fake()}, {dependsOn("1::self")});
    addTarget("plain", {set("x", str("1"))});
    addTarget("refused", {fake(), set("no_builder", str("1"))});
    struct Case {
        const char* target;
        std::string error;
    };
    const Case cases[] = {
        {"a", "Zarn: Loop detected! Causing term: '/demo::A'\n  loop goes as follows: /demo::b <- /demo::a <- "},
        {"self", "Zarn: Loop detected! Causing term: '/1::self'\n  loop goes as follows: /demo::self <- "},
        {"plain", "Zarn: No tool to build demo::plain."},
        {"refused", "Zarn: No tool to build demo::refused."},
        {"missing", "Zarn: Target 'demo::missing' not found."},
    };
    logLinePrefix = "";
    for (const Case& c : cases) {
        EXPECT_EQ(errorOf([&] { captureLog(LogLevel::Error, [&] { build(c.target); }); }), c.error);
        EXPECT_EQ(logLinePrefix, "") << c.target;
        EXPECT_TRUE(visiting.path.empty() && visiting.names.empty() && visiting.targets.empty()) << c.target;
    }
    EXPECT_TRUE(journal->empty());
}

TEST_F(TargetVisitorTest, ReportsToolSelectionAndClaims)
{
    addTarget("a", {fake(), set("level", str("3"))});
    const std::string a = captureLog(LogLevel::Verbose, [&] { build("a"); });
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

    // The claims are reported against the plain project context.
    app.profileContext.addAssignment(fake());
    const std::string claims = captureLog(LogLevel::Debug, [&] { build("a"); });
    EXPECT_NE(claims.find("[demo::a] Filtering context.\n[demo::a] Claiming variable 'fake'.\n"), std::string::npos)
        << claims;
}

// With a cache, a target's outputs are the recorded ones, not the jobs', and
// changing them later does not reach the record.
TEST_F(TargetVisitorTest, CachedTargetOutputsComeFromTheRecord)
{
    TempDir dir;
    app.buildCache = std::make_unique<Zarn::RuntimeCache>(dir / ".zarn_cache");
    addTarget("gen", {fake(), set("cached", str("src")), output("out", str("gen.o"))});
    Zarn::Context first;
    Zarn::Context second;
    const std::string log = captureLog(LogLevel::Debug, [&] {
        first = build("gen");
        second = build("gen");
    });
    EXPECT_EQ(*journal, Journal{"gen="});
    EXPECT_NE(log.find("[demo::gen] Cache hit for 'demo::gen'.\n"), std::string::npos) << log;
    for (const Zarn::Context* outputs : {&first, &second}) {
        EXPECT_EQ(textOf(*outputs, "out"), "gen.o");
        EXPECT_FALSE(Zarn::hasVariable(*outputs, "result"));
    }
    Zarn::getVariable(first, "out")->append(*str("-changed"));
    const auto& record = app.buildCache->records.at("demo::gen");
    EXPECT_EQ(record->recipes.begin()->second.outputs.front().value->toString(), "gen.o");
}

}  // namespace
