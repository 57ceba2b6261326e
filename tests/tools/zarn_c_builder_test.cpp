#include "tools/zarn_c_builder.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using namespace TestSupport;
using namespace Zarn;
namespace fs = std::filesystem;

// The smallest C-family tool: one object recipe per SRC, the commands its job
// lists in CMDS.
class SampleBuilder : public CBuilder {
public:
    SampleBuilder() : CBuilder(KeySet(), VariableSchema()) {}
    RecipeSet doCreateRecipes(const TargetContext& target) const override
    {
        RecipeSet set;
        addObjectRecipes(target, "SRC", outputDirectoryOf(target), set.recipes);
        addPlanVariable(target, "FLAGS", set.variables);
        return set;
    }
    Context createOutputContext(const Context& job, int) override
    {
        std::vector<ZarnValuePtr> objects;
        collectObjectFiles(job, "SRC", outputDir, objects);
        Context output;
        output.addAssignment(set("objs", list(objects)));
        return output;
    }
    void afterPrepare(const Context&) override { ++prepared; }
    std::vector<std::string> buildCommandLine(const std::string& name, const Context& job) const override
    {
        std::vector<std::string> commands;
        for (const ZarnValuePtr& member : flattenValue(hasVariable(job, "CMDS") ? getVariable(job, "CMDS") : nullptr))
            commands.push_back(name + ": " + member->toString());
        return commands;
    }
    std::string getToolIdentity(const Context&) const override { return "ident"; }
    std::string getObjectExtension() const override { return ".o"; }

    using CBuilder::addOutputFile;
    using CBuilder::addRecipeInput;
    using CBuilder::mapObjectFiles;

    int prepared = 0;
};

std::string inputsOf(const std::vector<RecipeInput>& inputs)
{
    std::string text;
    for (const RecipeInput& input : inputs)
        text += input.input.toString() + " |" +
                (input.intermediate.name.empty() ? "" : " " + input.intermediate.toString()) +
                (input.upToDate ? " up" : "") + ";";
    return text;
}

Assignment declared(const std::string& name)
{
    return Assignment(name, nullptr, Assignment::Declare);
}

TEST(CBuilder, OutputDirectoryLevels)
{
    const struct { std::vector<Assignment> variables; std::string parameters; std::string expected; } cases[] = {
        {{set("PROJECT_ROOT", str("/r")), set("OUTPUT_DEF_DIR", str("out"))}, "", "/r/out/ident/demo/gen"},
        {{set("PROJECT_ROOT", str("/r")), set("PROFILE", str("debug"))}, "", "/r/ident/debug/demo/gen"},
        // A later absolute level replaces what came before, as a path join does.
        {{set("PROJECT_ROOT", str("/r")), set("OUTPUT_DEF_DIR", str("/tmp/b"))}, "", "/tmp/b/ident/demo/gen"},
        {{set("PROJECT_ROOT", str("/r")), set("OUTPUT_DIR", str(""))}, "", "/r/ident/demo/gen"},
        {{set("OUTPUT_DIR", str("build"))}, "", "build"},
        {{set("PROJECT_ROOT", str("/r"))}, "a\x1f" "b", "/r/ident/demo/gen@"},
    };
    SampleBuilder builder;
    for (const auto& c : cases) {
        TargetContext target(QualifiedTargetName("", "demo", "gen"), c.parameters);
        for (const Assignment& assignment : c.variables)
            target.addAssignment(assignment);
        std::string expected = c.expected;
        if (!c.parameters.empty())
            expected += target.parameterHash();
        EXPECT_EQ(builder.outputDirectoryOf(target).string(), expected);
    }
    // Without a root, and with a root declared but without value.
    const std::string notFound = "Zarn: Variable 'PROJECT_ROOT' not found.";
    EXPECT_EQ(errorOf([&] { builder.outputDirectoryOf(*targetWith({})); }), notFound);
    EXPECT_EQ(errorOf([&] { builder.outputDirectoryOf(*targetWith({declared("PROJECT_ROOT")})); }), notFound);
}

TEST(CBuilder, RecipeInputsAndTheirIntermediates)
{
    const VariableMapping toObject{"OBJS", [](const ZarnValuePtr& value) -> ZarnValuePtr {
                                       return value->toString() == "skip" ? nullptr : str(value->toString() + ".o");
                                   }};
    const VariableMapping none{"OBJS", [](const ZarnValuePtr&) -> ZarnValuePtr { return nullptr; }};
    const struct { Assignment variable; std::optional<VariableMapping> mapping; std::string expected; } cases[] = {
        {set("SRC", str("a")), std::nullopt, "SRC = \"a\" |;"},
        {set("SRC", list({str("a"), list({str("b"), str("c")})})), std::nullopt, "SRC = [ \"a\", \"b\", \"c\" ] |;"},
        {set("SRC", list({})), std::nullopt, "SRC = [] |;"},
        {declared("SRC"), std::nullopt, ""},
        {set("SRC", list({str("a"), str("skip")})), toObject, "SRC = [ \"a\", \"skip\" ] | OBJS = \"a.o\";"},
        {set("SRC", str("a")), none, "SRC = \"a\" |;"},
    };
    SampleBuilder builder;
    for (const auto& c : cases) {
        std::vector<RecipeInput> inputs;
        builder.addRecipeInput(*targetWith({c.variable}), "src", inputs, c.mapping);
        EXPECT_EQ(inputsOf(inputs), c.expected) << c.variable.toString();
    }
}

TEST(CBuilder, SourcesMapToObjectsInTheOutputDirectory)
{
    SampleBuilder builder;
    const auto pairs = builder.mapObjectFiles(list({str("src/main.c"), str("lib/util.c"), str("noext")}), "/o");
    std::vector<std::string> objects;
    for (const auto& [source, object] : pairs) {
        objects.push_back(object->toString());
        EXPECT_EQ(static_cast<ZarnPathString&>(*object).getBaseDirectory(), fs::path());
    }
    EXPECT_EQ(objects, (std::vector<std::string>{"/o/main.o", "/o/util.o", "/o/noext.o"}));
}

TEST(CBuilder, PlanCarriesToolVariablesThenOutputLocation)
{
    SampleBuilder builder;
    auto target = targetWith({set("PROJECT_ROOT", str("/r")), set("FLAGS", str("-g")), declared("OUTPUT_NAME"),
                              set("PROFILE", str("p")), set("SRC", list({str("x.c"), str("y.c")}))});
    const BuildPlan plan = builder.createBuildPlan(*target);
    std::string environment;
    for (const Assignment& assignment : plan.environment)
        environment += assignment.toString() + ";";
    EXPECT_EQ(environment, "FLAGS = \"-g\";PROJECT_ROOT = \"/r\";OUTPUT_NAME;PROFILE = \"p\";");
    EXPECT_EQ(plan.limit, 1u);
    ASSERT_EQ(plan.recipes.size(), 2u);
    EXPECT_EQ(inputsOf(plan.recipes[1].inputs), "SRC = \"y.c\" |;");
    EXPECT_EQ(plan.recipes[1].outputs.at(0).toString(), "OBJS = P\"/r/ident/p/demo/gen/y.o\"");
    EXPECT_EQ(plan.recipes[1].outputs.at(0).flags, Assignment::OutputFlag);
}

TEST(CBuilder, PrepareThenRecipesRunInTheOutputDirectory)
{
    Sandbox box;
    SampleBuilder builder;
    Context plain;
    plain.addAssignment(set("PROJECT_ROOT", str(box.path().string())));
    plain.addAssignment(set("CMDS", list({str("a"), str("b"), str("c")})));
    const std::string log = captureLog(5, [&] { builder.prepare(plain, 1); });
    const fs::path expected = box.path() / "ident" / "no_target";
    EXPECT_EQ(log, "Output dir: " + expected.string() + "\n");
    EXPECT_TRUE(fs::is_directory(expected));
    EXPECT_EQ(builder.targetName, "no_target");
    EXPECT_EQ(builder.outputName, "no_target");
    EXPECT_EQ(builder.prepared, 1);
    const std::vector<Recipe> recipes = builder.createRecipes(plain);
    ASSERT_EQ(recipes.size(), 3u);
    EXPECT_EQ(recipes[2].command, "no_target: c");
    EXPECT_EQ(recipes[2].workingDirectory, expected);
    plain.addAssignment(set("SRC", list({str("a/x.c"), str("y.cc")})));
    EXPECT_EQ(textOf(builder.createOutputContext(plain, 0), "objs"),
              (expected / "x.o").string() + " " + (expected / "y.o").string());

    // A file where the directory should go fails the preparation.
    box.write("blocked", "");
    plain.addAssignment(set("OUTPUT_DIR", str((box.path() / "blocked" / "out").string())));
    EXPECT_NE(quietErrorOf([&] { builder.prepare(plain, 1); }).rfind("std: ", 0), std::string::npos);
}

TEST(CBuilder, ProductsKeepTheirDirectory)
{
    SampleBuilder builder;
    std::vector<Assignment> outputs;
    builder.addOutputFile(outputs, "LIB", "LIB_NAME", "/out/core", "libcore.a");
    ASSERT_EQ(outputs.size(), 2u);
    EXPECT_EQ(outputs[0].toString(), "LIB = P\"/out/core/libcore.a\"");
    EXPECT_EQ(outputs[0].flags, Assignment::OutputFlag);
    EXPECT_EQ(outputs[0].value->toString(), "/out/core/libcore.a");
    EXPECT_EQ(outputs[1].toString(), "LIB_NAME = \"libcore.a\"");

    const struct { const char *text, *name; } names[] = {{"out/app", "app"}, {"app", "app"}, {"dir/", "dir/"}};
    for (const auto& n : names)
        EXPECT_EQ(fileNameOf(n.text), n.name);
}

}  // namespace
