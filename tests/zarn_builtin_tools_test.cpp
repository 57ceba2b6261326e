#include "zarn_builtin_tools.h"

#include <gtest/gtest.h>

#include "tool_test_support.h"
#include "types/zarn_exceptions.h"
#include "zarn_tool_type_registry.h"

using namespace Zarn;
using namespace ToolTestSupport;

namespace {

std::vector<std::string> commandsOf(const std::vector<Recipe>& recipes)
{
    std::vector<std::string> commands;
    for (const Recipe& recipe : recipes)
        commands.push_back(recipe.command);
    return commands;
}

ZarnValuePtr contextValue()
{
    auto nested = std::make_shared<Context>();
    nested->addAssignment(set("inner", str("x")));
    return std::make_shared<ZarnContext>(nested);
}

TEST(BasicBuilderTest, CommandsFromEachKindOfCmdline)
{
    struct Row {
        const char* what;
        ZarnValuePtr cmdline;
        std::vector<std::string> commands;
        bool warns;
    };
    const Row rows[] = {
        {"string", str("echo hi"), {"echo hi"}, false},
        {"raw string", raw("echo \"quoted\""), {"echo \"quoted\""}, false},
        {"path", makePathString("tool.sh", "/base"), {"tool.sh"}, false},
        {"list", list({str("a"), raw("b"), list({str("c"), str("d")})}), {"a", "b", "c d"}, false},
        {"empty list", list({}), {}, false},
        {"no value", nullptr, {}, false},
        {"integer", integer(3), {}, true},
        {"identifier", std::make_shared<ZarnIdentifier>(Identifier{}), {}, true},
        {"context", contextValue(), {}, true},
        {"list with an integer", list({str("echo a"), integer(5)}), {}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        auto job = targetWith({set("cmdline", row.cmdline), set("cwd", str("/work/dir"))});
        BasicBuilder builder;
        std::vector<Recipe> recipes;
        std::string printed = captureLog(LogLevel::Warning, [&] { recipes = builder.createRecipes(*job); });
        EXPECT_EQ(commandsOf(recipes), row.commands);
        for (const Recipe& recipe : recipes) {
            EXPECT_EQ(recipe.workingDirectory, "/work/dir");
            EXPECT_EQ(recipe.kind, 0);
            EXPECT_TRUE(recipe.pathPrefixes.empty());
        }
        if (row.warns) {
            EXPECT_NE(printed.find("Target 'demo::gen': 'cmdline' holds a value that is not a command"),
                      std::string::npos)
                << printed;
        } else {
            EXPECT_EQ(printed, "");
        }
    }
}

TEST(BasicBuilderTest, EmptyOrMissingCwdGivesNoWorkingDirectory)
{
    BasicBuilder builder;
    auto withEmpty = targetWith({set("cmdline", str("true")), set("cwd", str(""))});
    EXPECT_TRUE(builder.createRecipes(*withEmpty).at(0).workingDirectory.empty());
    auto without = targetWith({set("cmdline", str("true"))});
    EXPECT_TRUE(builder.createRecipes(*without).at(0).workingDirectory.empty());
}

TEST(BasicBuilderTest, CmdlineListedByTheJobSplitterRuns)
{
    // A cached job context holds every variable as a list.
    BasicBuilder builder;
    auto job = targetWith({set("cmdline", list({raw("echo \"x\"")})), set("cwd", list({str("/d")}))});
    std::vector<Recipe> recipes = builder.createRecipes(*job);
    ASSERT_EQ(recipes.size(), 1u);
    EXPECT_EQ(recipes[0].command, "echo \"x\"");
    EXPECT_EQ(recipes[0].workingDirectory, "/d");
}

TEST(BasicBuilderTest, MissingCmdlineIsNotFound)
{
    BasicBuilder builder;
    auto job = targetWith({set("cwd", str("/d"))});
    EXPECT_THROW(builder.createRecipes(*job), NotFoundException);
}

TEST(BasicBuilderTest, PlanPartitionsOutputsEnvironmentAndInputs)
{
    BasicBuilder builder;
    auto target = targetWith({
        set("CMDLINE", str("echo > out.txt")),
        set("cwd", str("/p")),
        set("out", makePathString("out.txt", "/p"), Assignment::OutputFlag),
        set("day", str("6")),
        set("tool", str("t"), Assignment::ToolFlag),
        set("declared", nullptr),
    });
    BuildPlan plan = builder.createBuildPlan(*target);
    EXPECT_EQ(plan.limit, 1u);
    ASSERT_EQ(plan.environment.size(), 2u);
    EXPECT_EQ(plan.environment[0].name, "CMDLINE");
    EXPECT_EQ(plan.environment[1].name, "cwd");
    ASSERT_EQ(plan.recipes.size(), 1u);
    const RecipeIO& recipe = plan.recipes[0];
    ASSERT_EQ(recipe.outputs.size(), 1u);
    EXPECT_EQ(recipe.outputs[0].name, "out");
    EXPECT_EQ(recipe.outputs[0].flags, Assignment::OutputFlag);
    EXPECT_EQ(recipe.outputs[0].type, Assignment::Set);
    ASSERT_EQ(recipe.inputs.size(), 2u);
    EXPECT_EQ(recipe.inputs[0].input.name, "day");
    EXPECT_EQ(recipe.inputs[1].input.name, "tool");
    EXPECT_EQ(recipe.inputs[1].input.flags, Assignment::ToolFlag);
    EXPECT_FALSE(recipe.inputs[0].upToDate);
    EXPECT_EQ(recipe.inputs[0].intermediate.value, nullptr);
}

TEST(BasicBuilderTest, PlanHoldsCopiesOfTheValues)
{
    BasicBuilder builder;
    auto target = targetWith({set("cmdline", str("x")), set("flags", list({str("-a")})),
                              set("out", str("o"), Assignment::OutputFlag)});
    BuildPlan plan = builder.createBuildPlan(*target);
    getVariable(*target, "flags")->append(*str("-b"));
    EXPECT_EQ(plan.recipes.at(0).inputs.at(0).input.value->toString(), "-a");
}

TEST(BasicBuilderTest, WithoutOutputsThereIsNoPlan)
{
    BasicBuilder builder;
    auto target = targetWith({set("cmdline", str("x")), set("cwd", str("/p")), set("day", str("6"))});
    BuildPlan plan = builder.createBuildPlan(*target);
    EXPECT_TRUE(plan.recipes.empty());
    EXPECT_TRUE(plan.environment.empty());
}

TEST(BasicBuilderTest, OutputContextHoldsTheStatusAndNameIsTheVariable)
{
    BasicBuilder builder;
    auto job = targetWith({set("cmdline", str("x"))});
    Context output = builder.createOutputContext(*job, 0);
    ASSERT_EQ(output.variables.size(), 1u);
    ZarnValuePtr result = getVariable(output, "result");
    ASSERT_TRUE(dynamic_cast<ZarnInt*>(result.get()));
    EXPECT_EQ(result->toString(), "0");
    EXPECT_EQ(builder.getName(), "cmdline");

    MatchResult match = builder.matchSubjects(*job);
    EXPECT_EQ(match.status, BuildPossible);
    EXPECT_EQ(match.kinds.at("cmdline").kind, MatchKind::PartialMatch);
    EXPECT_EQ(match.kinds.at("cmdline").claimed, 1);
}

TEST(BasicMatcherTest, AlwaysPossibleAndMakesAFreshBuilderEachTime)
{
    initProgramStatics();
    std::shared_ptr<Matcher> matcher = createMatcher("command", "default_basic", {}, {});
    auto target = targetWith({});
    MatchResult result = matcher->match(*target);
    EXPECT_EQ(result.status, BuildPossible);
    EXPECT_TRUE(result.kinds.empty());
    auto first = matcher->createBuilder(*target);
    auto second = matcher->createBuilder(*target);
    ASSERT_TRUE(dynamic_cast<BasicBuilder*>(first.get()));
    EXPECT_NE(first, second);
    std::unique_ptr<Matcher> copy = matcher->clone();
    EXPECT_TRUE(dynamic_cast<BasicMatcher*>(copy.get()));
    EXPECT_EQ(copy->name.str(), "default_basic");
}

TEST(NoToolTest, AcceptsNoToolWithOrWithoutValue)
{
    initProgramStatics();
    std::unique_ptr<Matcher> matcher = createMatcher("no_tool", "default_no_tool", {}, {});
    EXPECT_TRUE(matcher->wants.empty());
    EXPECT_TRUE(matcher->variables.count("NO_TOOL"));

    for (ZarnValuePtr value : {ZarnValuePtr(), str("yes")}) {
        auto target = targetWith({set("no_tool", value)});
        MatchResult result = matcher->match(*target);
        EXPECT_EQ(result.status, BuildPossible);
        ASSERT_EQ(result.kinds.size(), 1u);
        EXPECT_EQ(result.kinds.at("NO_TOOL").kind, MatchKind::ExactMatch);
        EXPECT_EQ(result.kinds.at("NO_TOOL").claimed, 0);
    }
    auto without = targetWith({set("cmdline", str("x"))});
    MatchResult refused = matcher->match(*without);
    EXPECT_EQ(refused.status, 0);
    EXPECT_TRUE(refused.kinds.empty());
    EXPECT_TRUE(dynamic_cast<NoToolMatcher*>(matcher->clone().get()));
}

TEST(NoToolTest, BuilderBuildsAndExportsNothing)
{
    NoToolBuilder builder;
    auto target = targetWith({set("NO_TOOL", nullptr), set("out", str("o"), Assignment::OutputFlag)});
    EXPECT_EQ(builder.getName(), "no_tool");
    EXPECT_TRUE(builder.createRecipes(*target).empty());
    BuildPlan plan = builder.createBuildPlan(*target);
    EXPECT_TRUE(plan.recipes.empty());
    EXPECT_TRUE(plan.environment.empty());
    EXPECT_EQ(plan.limit, 1u);
    EXPECT_TRUE(builder.createOutputContext(*target, 0).variables.empty());
    EXPECT_EQ(builder.matchSubjects(*target).status, BuildPossible);
    EXPECT_EQ(builder.matchSubjects(*targetWith({})).status, 0);
}

}  // namespace
