// The C3 builder: product names, command lines in target and job contexts,
// selectors, match subjects, the plan and the exports.
#include <gtest/gtest.h>

#include "test_support.h"
#include "tools/zarn_c3_builder.h"
#include "tools/zarn_c3_toolchain.h"
#include "zarn_build_jobs.h"

namespace {

using namespace TestSupport;
using Zarn::Assignment;
using Zarn::C3Builder;
namespace fs = std::filesystem;

Assignment declare(const std::string& name)
{
    return Assignment(name, nullptr, Assignment::Declare);
}

C3Builder makeBuilder(const std::string& compiler = "/opt/c3/bin/c3c")
{
    return C3Builder(Zarn::c3SubjectsTable(), Zarn::c3Schema(), "0.6.1", compiler, fs::path(compiler).parent_path());
}

// A target "demo::<name>" below the project root /p.
std::shared_ptr<Zarn::TargetContext> c3Target(std::vector<Assignment> variables, const std::string& name = "app",
                                              const fs::path& root = "/p")
{
    variables.push_back(set("PROJECT_ROOT", str(root.string())));
    variables.push_back(set("OUTPUT_DEF_DIR", str("out")));
    return targetWith(variables, name);
}

// The target's one job context, made from its plan as a build makes it:
// every variable a list.
std::shared_ptr<Zarn::TargetContext> jobOf(C3Builder& builder, const Zarn::TargetContext& target)
{
    Zarn::BuildPlan plan = builder.createBuildPlan(target);
    std::vector<Zarn::RecipeIO*> items;
    for (Zarn::RecipeIO& recipe : plan.recipes)
        items.push_back(&recipe);
    return Zarn::splitTargetContexts(target, items, plan.environment, 1).at(0);
}

std::string commandOf(const C3Builder& builder, const Zarn::Context& context, const std::string& name = "app")
{
    const std::vector<std::string> commands = builder.buildCommandLine(name, context);
    EXPECT_EQ(commands.size(), 1u);
    return commands.empty() ? "" : commands.front();
}

std::string namesOf(const std::vector<Assignment>& assignments)
{
    std::string text;
    for (const Assignment& assignment : assignments)
        text += (text.empty() ? "" : " ") + assignment.name;
    return text;
}

const std::string c3c = "\"/opt/c3/bin/c3c\"";

TEST(C3Builder, CommandLinesOfATarget)
{
    struct Case {
        std::vector<Assignment> variables;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {{set("C3C_FILES", str("/p/a.c3"))}, c3c + " -o \"app\" compile \"/p/a.c3\""},
        {{declare("STATIC"), set("OUTPUT_NAME", str("core")), set("C3C_FLAGS", str("-O2")),
          set("LIB_PATH", str("/lib/a")), set("LIB", str("m")), set("LINK_FLAGS", str("--gc-sections")),
          set("C3_FILES", str("/p/a.c3"))},
         c3c + " -O2 -o \"core.a\" -L \"/lib/a\" -l m -z \"--gc-sections\" static-lib \"/p/a.c3\""},
        {{declare("STATIC"), set("OUTPUT_NAME", str("core.x")), set("C3_FILES", str("a.c3"))},
         c3c + " -o \"core.x\" static-lib \"a.c3\""},
        {{set("SO", str("yes")), set("C3_FILES", str("a.c3"))}, c3c + " -o \"app.so\" dynamic-lib \"a.c3\""},
        {{declare("DLL"), set("C3_FILES", str("a.c3"))}, c3c + " -o \"app.dll\" dynamic-lib \"a.c3\""},
        {{set("C3C_FLAGS", str("-g -O1")), set("LIBPATH", list({str("/x")})), set("LIB", list({str("a"), str("b")})),
          set("C3_FILES", str("a.c3"))},
         c3c + " -g -O1 -o \"app\" -L \"/x\" -l a -l b compile \"a.c3\""},
        {{declare("EXE"), set("C3_FILES", str("a.c3")), set("C3C_FILES", str("b.c3")),
          set("C3_TEST_FILES", str("t.c3"))},
         c3c + " -o \"app\" compile-test \"a.c3\" \"b.c3\" \"t.c3\""},
        // What zarn quotes itself reaches the shell as text.
        {{set("OUTPUT_NAME", str("a\"b")), set("C3_FILES", str("/p q/$(x)/a.c3"))},
         c3c + " -o \"a\\\"b\" compile \"/p q/\\$(x)/a.c3\""},
    };
    const C3Builder builder = makeBuilder();
    for (const Case& c : cases)
        EXPECT_EQ(commandOf(builder, *c3Target(c.variables)), c.expected) << c.expected;
}

TEST(C3Builder, OutputFileNameByKindAndToolchain)
{
    struct Case {
        std::string compiler;
        Zarn::C3OutputKind kind;
        std::optional<std::string> outputName;
        std::string expected;
    };
    const std::string linux = "/opt/c3/c3c";
    const std::string windows = "/opt/c3/C3C.EXE";
    const std::vector<Case> cases = {
        {linux, Zarn::C3Executable, std::nullopt, "app"},
        {linux, Zarn::C3StaticLibrary, "core", "core.a"},
        {linux, Zarn::C3Dll, "core", "core.dll"},
        {linux, Zarn::C3StaticLibrary, "app.v2", "app.v2"},
        {windows, Zarn::C3Executable, std::nullopt, "app.exe"},
        {windows, Zarn::C3StaticLibrary, "core", "core.lib"},
    };
    for (const Case& c : cases) {
        std::vector<Assignment> variables;
        if (c.outputName)
            variables.push_back(set("OUTPUT_NAME", str(*c.outputName)));
        EXPECT_EQ(makeBuilder(c.compiler).getOutputFileName(*c3Target(variables), "app", c.kind), c.expected)
            << c.compiler << " " << c.expected;
    }
}

// An OUTPUT_NAME without a name in it names the product after the target in
// the plan, the command (target and job alike) and the exports.
TEST(C3Builder, EmptyOutputNameGivesTheTargetNameEverywhere)
{
    TempDir root;
    const std::vector<Assignment> emptyNames = {set("OUTPUT_NAME", str("")), declare("OUTPUT_NAME"),
                                                set("OUTPUT_NAME", list({}))};
    for (const Assignment& outputName : emptyNames) {
        SCOPED_TRACE(outputName.toString());
        C3Builder builder = makeBuilder();
        auto target = c3Target({declare("STATIC"), outputName, set("C3_FILES", str("a.c3"))}, "core", root.path());
        const fs::path outputDir = root.path() / "out" / "c3c-0.6.1" / "demo" / "core";

        const Zarn::BuildPlan plan = builder.createBuildPlan(*target);
        ASSERT_EQ(plan.recipes.size(), 1u);
        const auto& outputs = plan.recipes[0].outputs;
        ASSERT_EQ(namesOf(outputs), "BINARY BINARY_NAME LIB LIB_NAME");
        EXPECT_EQ(fs::path(outputs[2].value->toString()).filename(), "core.a");
        EXPECT_EQ(outputs[3].value->toString(), "core.a");

        EXPECT_EQ(commandOf(builder, *target, "core"), c3c + " -o \"core.a\" static-lib \"a.c3\"");
        const auto job = jobOf(builder, *target);
        EXPECT_EQ(commandOf(builder, *job, "core"), c3c + " -o \"core.a\" static-lib \"a.c3\"");

        captureLog(8, [&] { builder.prepare(*job, 1); });
        EXPECT_EQ(builder.outputDir, outputDir);
        const Zarn::Context exports = builder.createOutputContext(*job, 0);
        EXPECT_EQ(textOf(exports, "lib_name"), "core.a");
        EXPECT_EQ(fs::path(textOf(exports, "lib")).filename(), "core.a");
    }
}

// In a job every variable is a list; the flags still split into words, and a
// library a dependency made stays one quoted argument.
TEST(C3Builder, JobContextsRenderLikeTheTarget)
{
    C3Builder builder = makeBuilder();
    auto target = c3Target({declare("EXE"), set("LINK_FLAGS", str("--gc-sections -s")), set("C3C_FLAGS", str("-O2 -g")),
                            set("LIB", list({path("/x y/$(touch z)/libcore.a"), str("m pthread")})),
                            set("C3_FILES", list({str("a.c3"), str("b c.c3")}))});
    const std::string expected = c3c +
                                 " -O2 -g -o \"app\" -l \"/x y/\\$(touch z)/libcore.a\" -l m pthread"
                                 " -z \"--gc-sections\" -z \"-s\" compile \"a.c3\" \"b c.c3\"";
    EXPECT_EQ(commandOf(builder, *target), expected);
    EXPECT_EQ(commandOf(builder, *jobOf(builder, *target)), expected);
}

TEST(C3Builder, SelectorConflictsFailThePlanAndTheCommand)
{
    const std::string conflict =
        "Zarn: C3C received conflicting output selectors. Only one of EXE, STATIC, DLL, SO can be present.";
    const std::string testConflict = "Zarn: C3C compile-test cannot be combined with STATIC, DLL, or SO.";
    struct Case {
        std::vector<Assignment> variables;
        std::string error;
    };
    const std::vector<Case> cases = {
        {{declare("EXE"), set("SO", str("1"))}, conflict},
        {{declare("STATIC"), declare("DLL"), declare("SO")}, conflict},
        {{set("C3_TEST_FILES", str("t.c3")), declare("DLL")}, testConflict},
        {{set("C3_TEST_FILES", str("t.c3")), declare("EXE")}, ""},
    };
    C3Builder builder = makeBuilder();
    for (const Case& c : cases) {
        auto target = c3Target(c.variables);
        target->addAssignment(set("C3_FILES", str("a.c3")));
        EXPECT_EQ(errorOf([&] { builder.createBuildPlan(*target); }), c.error);
        EXPECT_EQ(errorOf([&] { builder.buildCommandLine("app", *target); }), c.error);
    }
}

TEST(C3Builder, MatchSubjectsNeedOneSourceListThatIsNoOutput)
{
    struct Case {
        std::vector<Assignment> variables;
        int status;
        std::string log;
    };
    const std::string skipped = "Skipping 'C3_FILES' as match subject: output variable\n";
    const std::vector<Case> cases = {
        {{set("C3C_FILES", str("a.c3"))}, 1, ""},
        {{set("C3_TEST_FILES", str("t.c3"))}, 1, ""},
        {{output("C3_FILES", str("a.c3"))}, 0, skipped},
        {{output("C3_FILES", str("a.c3")), set("C3C_FILES", str("b.c3"))}, 1, skipped},
        {{set("LIB", str("m"))}, 0, ""},
    };
    const C3Builder builder = makeBuilder();
    for (const Case& c : cases) {
        Zarn::MatchResult result;
        const std::string log = captureLog(4, [&] { result = builder.matchSubjects(*targetWith(c.variables)); });
        EXPECT_EQ(result.status, c.status) << kindsOf(result);
        EXPECT_EQ(log, c.log);
    }
    const auto kinds = builder.matchSubjects(*targetWith({set("C3_FILES", str("a.c3")), declare("STATIC"),
                                                          set("other", str("x"))}));
    EXPECT_EQ(kindsOf(kinds), "C3_FILES:1/1 other:0/0 STATIC:2/0");
}

TEST(C3Builder, PlanRecipesAndExportsOfASharedObject)
{
    TempDir root;
    C3Builder builder = makeBuilder();
    auto target = c3Target({set("SO", str("yes")), set("C3C", str("c3c")), set("LINK_FLAGS", str("-s")),
                            set("C3_FILES", str("a.c3")), set("C3C_FLAGS", str("-O2")), declare("LIBPATH"),
                            declare("LIB")},
                           "core", root.path());
    const Zarn::BuildPlan plan = builder.createBuildPlan(*target);
    EXPECT_EQ(plan.limit, 1u);
    ASSERT_EQ(plan.recipes.size(), 1u);
    std::vector<Assignment> inputs;
    for (const Zarn::RecipeInput& input : plan.recipes[0].inputs)
        inputs.push_back(input.input);
    // Value-less variables are no inputs.
    EXPECT_EQ(namesOf(inputs), "C3_FILES C3C_FLAGS LINK_FLAGS");
    EXPECT_EQ(namesOf(plan.environment), "C3C SO PROJECT_ROOT OUTPUT_DEF_DIR");
    EXPECT_EQ(namesOf(plan.recipes[0].outputs), "BINARY BINARY_NAME SO SO_NAME");
    for (const Assignment& out : plan.recipes[0].outputs)
        EXPECT_EQ(out.flags, Assignment::OutputFlag);

    const auto job = jobOf(builder, *target);
    captureLog(8, [&] { builder.prepare(*job, 1); });
    const fs::path outputDir = root.path() / "out" / "c3c-0.6.1" / "demo" / "core";
    EXPECT_TRUE(fs::is_directory(outputDir));
    const std::vector<Zarn::Recipe> recipes = builder.createRecipes(*job);
    ASSERT_EQ(recipes.size(), 1u);
    EXPECT_EQ(recipes[0].command, c3c + " -O2 -o \"core.so\" -z \"-s\" dynamic-lib \"a.c3\"");
    EXPECT_EQ(recipes[0].workingDirectory, outputDir);
    EXPECT_EQ(recipes[0].pathPrefixes, std::vector<fs::path>{"/opt/c3/bin"});

    const Zarn::Context exports = builder.createOutputContext(*job, 0);
    EXPECT_EQ(namesOf([&] {
                  std::vector<Assignment> all;
                  for (const auto& entry : exports.variables)
                      all.push_back(entry.second);
                  return all;
              }()),
              "binary binary_name so so_name");
    EXPECT_EQ(textOf(exports, "so_name"), "core.so");
    EXPECT_EQ(fs::path(textOf(exports, "binary")).filename(), "core.so");
    EXPECT_EQ(builder.getName(), "c3c");
}

}  // namespace
