#include "zarn_builtin_tools.h"

#include <gtest/gtest.h>

#include "test_support.h"

using namespace Zarn;
using namespace TestSupport;

namespace {

// A raw string runs like a string; a value that is no command warns and runs
// nothing.
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
        {"path", makePathString("tool.sh", "/base"), {"tool.sh"}, false},
        {"list", list({str("a"), raw("b"), list({str("c"), str("d")})}), {"a", "b", "c d"}, false},
        {"no value", nullptr, {}, false},
        {"context", block({set("inner", str("x"))}), {}, true},
        {"list with an integer", list({str("echo a"), integer(5)}), {}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        auto job = targetWith({set("cmdline", row.cmdline), set("cwd", str("/work/dir"))});
        BasicBuilder builder;
        std::vector<Recipe> recipes;
        std::string printed = captureLog(LogLevel::Warning, [&] { recipes = builder.createRecipes(*job); });
        std::vector<std::string> commands;
        for (const Recipe& recipe : recipes) {
            commands.push_back(recipe.command);
            EXPECT_EQ(recipe.workingDirectory, "/work/dir");
            EXPECT_EQ(recipe.kind, 0);
            EXPECT_TRUE(recipe.pathPrefixes.empty());
        }
        EXPECT_EQ(commands, row.commands);
        if (row.warns) {
            EXPECT_EQ(printed.rfind("Target 'demo::gen': 'cmdline' holds a value that is not a command", 0), 0u)
                << printed;
        } else {
            EXPECT_EQ(printed, "");
        }
    }
}

// Outputs are the one recipe's outputs, cmdline and cwd the environment, the
// other valued variables its inputs: copies, each as written.
TEST(BasicBuilderTest, PlanPartitionsOutputsEnvironmentAndInputs)
{
    BasicBuilder builder;
    auto target = targetWith({
        set("CMDLINE", str("echo > out.txt")),
        set("cwd", str("/p")),
        output("out", makePathString("out.txt", "/p")),
        set("day", str("6")),
        set("flags", list({str("-a")}), Assignment::ToolFlag),
        set("declared", nullptr),
    });
    BuildPlan plan = builder.createBuildPlan(*target);
    getVariable(*target, "flags")->append(*str("-b"));
    auto texts = [](const std::vector<Assignment>& assignments) {
        std::string text;
        for (const Assignment& assignment : assignments)
            text += assignment.toString() + "|" + std::to_string(assignment.flags) + " ";
        return text;
    };
    EXPECT_EQ(plan.limit, 1u);
    EXPECT_EQ(texts(plan.environment), "CMDLINE = \"echo > out.txt\"|0 cwd = \"/p\"|0 ");
    ASSERT_EQ(plan.recipes.size(), 1u);
    EXPECT_EQ(texts(plan.recipes[0].outputs), "out = P\"/p/out.txt\"|" + std::to_string(Assignment::OutputFlag) + " ");
    std::vector<Assignment> inputs;
    for (const RecipeInput& input : plan.recipes[0].inputs) {
        inputs.push_back(input.input);
        EXPECT_FALSE(input.upToDate);
        EXPECT_EQ(input.intermediate.value, nullptr);
    }
    EXPECT_EQ(texts(inputs), "day = \"6\"|0 flags = [ \"-a\" ]|" + std::to_string(Assignment::ToolFlag) + " ");

    // Without outputs there is no plan: the target is not cached.
    auto uncached = targetWith({set("cmdline", str("x")), set("cwd", str("/p")), set("day", str("6"))});
    plan = builder.createBuildPlan(*uncached);
    EXPECT_TRUE(plan.recipes.empty());
    EXPECT_TRUE(plan.environment.empty());
}

}  // namespace
