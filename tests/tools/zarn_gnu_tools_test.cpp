// The five GNU tools: their plans, command lines and exports, for a target's
// context and for the build job made from it.
#include <gtest/gtest.h>

#include "test_support.h"
#include "tools/zarn_gnu_compile_tools.h"
#include "tools/zarn_gnu_link_tools.h"
#include "tools/zarn_gnu_matcher.h"
#include "zarn_build_jobs.h"

namespace {

using namespace TestSupport;
using namespace Zarn;
namespace fs = std::filesystem;

CompilerRecord record(const std::string& arch = "x86_64", const std::string& os = "linux",
                      const std::string& abi = "gnu")
{
    CompilerRecord compiler;
    compiler.version = "12.2.0";
    compiler.prefix = arch + "-" + os + "-" + abi;
    compiler.arch = arch;
    compiler.os = os;
    compiler.abi = abi;
    compiler.binDir = "/tc/bin";
    compiler.toolchainDir = "/tc";
    return compiler;
}

template <typename Tool>
std::shared_ptr<Tool> make(const KeySet& subjects, const VariableSchema& schema, const std::string& program)
{
    return std::make_shared<Tool>(subjects, schema, record(), "/tc/bin/" + program);
}

std::shared_ptr<GNUTool> gcc() { return make<GNU_GCC>(gccMatchSubjects(), gccVariableSchema(), "gcc"); }
std::shared_ptr<GNUTool> gpp() { return make<GNU_GPP>(gppMatchSubjects(), gppVariableSchema(), "g++"); }
std::shared_ptr<GNUTool> ar() { return make<GNU_AR>(arMatchSubjects(), arVariableSchema(), "ar"); }
std::shared_ptr<GNUTool> ld() { return make<GNU_LD>(ldMatchSubjects(), ldVariableSchema(), "ld"); }
std::shared_ptr<GNUTool> objcopy()
{
    return make<GNU_OBJCOPY>(objcopyMatchSubjects(), objcopyVariableSchema(), "objcopy");
}

ZarnValuePtr file(const std::string& text) { return makePathString(text, ""); }

Assignment declared(const std::string& name) { return Assignment(name, nullptr, Assignment::Declare); }

// The target "demo::t" below the root /p.
std::shared_ptr<TargetContext> target(std::vector<Assignment> variables)
{
    variables.insert(variables.begin(), set("PROJECT_ROOT", str("/p")));
    return targetWith(variables, "t");
}

// The one build job of the target's plan, as the job runner makes it.
std::shared_ptr<TargetContext> jobOf(GNUTool& tool, const TargetContext& target)
{
    BuildPlan plan = tool.createBuildPlan(target);
    std::vector<RecipeIO*> items;
    for (RecipeIO& recipe : plan.recipes)
        items.push_back(&recipe);
    return splitTargetContexts(target, items, plan.environment, 1).at(0);
}

// The command for the target; the build job's command must be the same.
std::string commandOf(GNUTool& tool, const TargetContext& target)
{
    const std::vector<std::string> direct = tool.buildCommandLine("t", target);
    const std::vector<std::string> job = tool.buildCommandLine("t", *jobOf(tool, target));
    EXPECT_EQ(direct, job);
    return direct.size() == 1 ? direct[0] : "(" + std::to_string(direct.size()) + " commands)";
}

TEST(GnuTools, CommandLines)
{
    const struct { std::shared_ptr<GNUTool> tool; std::vector<Assignment> variables; std::string expected; } cases[] = {
        {gcc(),
         {set("C_FLAGS", str("-O2")), set("C_FILES", list({file("/p/src/main.c")})), set("C_DEFINES", str("NDEBUG X=1")),
          set("INCLUDE", file("/p/inc")), set("OBJS", file("/p/o/x.o")), set("LIB", str("-lm \"-lz\"")),
          set("LIBPATH", str("/opt/lib")), set("LINK_FLAGS", str("--as-needed -z now"))},
         "\"/tc/bin/gcc\" -O2 \"/p/src/main.c\" -DNDEBUG -DX=1 -I\"/p/inc\" \"/p/o/x.o\" -o \"t\" \"-lm\" \"-lz\" "
         "-Wl,-L\"/opt/lib\" -Wl,\"--as-needed\" -Wl,\"-z\" -Wl,\"now\""},
        // gcc also compiles the C++ sources it is given.
        {gcc(),
         {set("C_FLAGS", str("-Wall -c")), set("C_FILES", file("/p/a.c")), set("CPP_FILES", file("/p/b.cpp"))},
         "\"/tc/bin/gcc\" -Wall -c \"/p/a.c\" \"/p/b.cpp\""},
        {gpp(), {set("CPP_FILES", file("/p/m.cpp")), set("OUTPUT_NAME", str("")), set("LINK_FLAGS", str("-s"))},
         "\"/tc/bin/g++\" \"/p/m.cpp\" -o \"t\" -Wl,\"-s\""},
        // What the shell would interpret in a file name is escaped.
        {gcc(), {set("C_FILES", file("/p/$(x)`y`\\\".c")), set("OUTPUT_NAME", str("a$b"))},
         "\"/tc/bin/gcc\" \"/p/\\$(x)\\`y\\`\\\\\\\".c\" -o \"a\\$b\""},
        {ar(), {set("OBJS", list({file("/o/a.o"), file("/o dir/b.o")})), set("OUTPUT_NAME", str("libm.a"))},
         "\"/tc/bin/ar\" rcs \"libm.a\" \"/o/a.o\" \"/o dir/b.o\""},
        {ld(),
         {set("OBJS", file("/o/a.o")), set("LIB", str("-lc")), set("LIBPATH", str("/lib")),
          set("LINK_FLAGS", str("--gc-sections -O1")), set("LD_SCRIPT", str("link.ld")), declared("SO"),
          declared("KO"), set("OUTPUT_NAME", str(""))},
         "\"/tc/bin/ld\" \"/o/a.o\" \"-lc\" -L\"/lib\" \"--gc-sections\" \"-O1\" -T\"link.ld\" -shared  -o \"t.so\""},
        {ld(), {set("OBJS", file("/o/a.o")), set("KO", integer(1)), declared("OUTPUT_NAME")},
         "\"/tc/bin/ld\" \"/o/a.o\" -o \"t.ko\""},
        {objcopy(), {set("INPUT", file("/o/app")), set("OBJCOPY_FLAGS", str("-O binary")), set("OUTPUT_NAME", str("app.bin"))},
         "\"/tc/bin/objcopy\" -O binary \"/o/app\" \"app.bin\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(commandOf(*c.tool, *target(c.variables)), c.expected) << c.expected;
}

TEST(GnuTools, CompileOnlyWhenAWordOfTheFlagsIsDashC)
{
    const struct { const char* flags; bool compileOnly; } cases[] = {
        {"-c", true},          {"-O2 -c", true},  {"-c -O2", true},  {"-c\t-O2", true},
        {"-Wno-cast-align -c", true}, {"-crazy -c", true}, {"-fno-c", false}, {"-crazy", false},
        {"", false},           {"c", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hasCompileOnlyFlag(c.flags), c.compileOnly) << c.flags;
}

TEST(GnuTools, CompileOnlyPlansOneRecipePerSource)
{
    auto tool = gpp();
    auto compile = target({set("C_FLAGS", str("-c")), set("C_FILES", list({file("/s/a.c"), file("/s/b.c"), file("/s/c.c")})),
                           set("CPP_FILES", list({file("/s/d.cpp"), file("/s/e.cc")}))});
    const BuildPlan plan = tool->createBuildPlan(*compile);
    EXPECT_EQ(plan.limit, noParallelLimit);
    std::string recipes;
    for (const RecipeIO& recipe : plan.recipes)
        recipes += recipe.inputs.at(0).input.toString() + " > " + recipe.outputs.at(0).value->toString() + ";";
    EXPECT_EQ(recipes,
              "C_FILES = P\"/s/a.c\" > /p/x86_64-linux-gnu/demo/t/a.o;C_FILES = P\"/s/b.c\" > /p/x86_64-linux-gnu/demo/t/b.o;"
              "C_FILES = P\"/s/c.c\" > /p/x86_64-linux-gnu/demo/t/c.o;CPP_FILES = P\"/s/d.cpp\" > "
              "/p/x86_64-linux-gnu/demo/t/d.o;CPP_FILES = P\"/s/e.cc\" > /p/x86_64-linux-gnu/demo/t/e.o;");

    // Sources that would write one object stop the plan, naming both; the
    // same source twice is no conflict.
    const struct { std::vector<Assignment> sources; std::string error; } conflicts[] = {
        {{set("C_FILES", list({file("/s/a/x.c"), file("/s/b/x.c")}))},
         "Zarn: Sources '/s/a/x.c' and '/s/b/x.c' of target 't' both compile to '/p/x86_64-linux-gnu/demo/t/x.o'."},
        {{set("C_FILES", file("/s/x.c")), set("CPP_FILES", file("/s/x.cpp"))},
         "Zarn: Sources '/s/x.c' and '/s/x.cpp' of target 't' both compile to '/p/x86_64-linux-gnu/demo/t/x.o'."},
        {{set("C_FILES", list({file("/s/x.c"), file("/s/x.c")}))}, ""},
    };
    for (const auto& c : conflicts) {
        std::vector<Assignment> variables = c.sources;
        variables.push_back(set("C_FLAGS", str("-O2 -c")));
        EXPECT_EQ(errorOf([&] { tool->createBuildPlan(*target(variables)); }), c.error);
    }
}

TEST(GnuTools, LinkModeHandsSourcesOnAsThemselves)
{
    auto tool = gcc();
    auto link = target({set("C_FILES", list({file("/s/a.c"), file("/s/b.c")})), set("OBJS", file("/o/x.o")),
                        set("LIB", str("-lm")), set("OUTPUT_NAME", str("app"))});
    const BuildPlan plan = tool->createBuildPlan(*link);
    EXPECT_EQ(plan.limit, 1u);
    ASSERT_EQ(plan.recipes.size(), 1u);
    std::string inputs;
    for (const RecipeInput& input : plan.recipes[0].inputs)
        inputs += input.input.name + (input.intermediate.name.empty() ? "" : ">" + input.intermediate.name) + " ";
    EXPECT_EQ(inputs, "OBJS C_FILES LIB ");
    EXPECT_EQ(plan.recipes[0].outputs.at(0).value->toString(), "/p/x86_64-linux-gnu/demo/t/app");
    // Without any input there is still the one recipe.
    EXPECT_EQ(tool->createBuildPlan(*target({set("C_FLAGS", str("-O2"))})).recipes.size(), 1u);
}

TEST(GnuTools, CompileToolsMatchTheirSources)
{
    const struct { std::vector<Assignment> variables; int gcc, gpp; } cases[] = {
        {{set("C_FILES", str("a.c"))}, 1, 1},
        {{set("CPP_FILES", str("a.cpp"))}, 0, 1},
        {{declared("OBJS")}, 1, 1},
        {{output("C_FILES", str("a.c"))}, 0, 0},
        {{set("LIB", str("-lm"))}, 0, 0},
    };
    for (const auto& c : cases) {
        auto context = targetWith(c.variables);
        EXPECT_EQ(gcc()->matchSubjects(*context).status, c.gcc) << c.variables[0].name;
        EXPECT_EQ(gpp()->matchSubjects(*context).status, c.gpp) << c.variables[0].name;
    }
    // g++ reports C_FILES from its schema, not as a claimed subject.
    EXPECT_EQ(kindsOf(gpp()->matchSubjects(*targetWith({set("C_FILES", str("a.c")), set("CPP_FILES", str("b.cpp"))}))),
              "C_FILES:1/0 CPP_FILES:1/1");
}

TEST(GnuTools, ArchiverTakesAnArchiveName)
{
    const struct { Assignment name; std::string kinds; } cases[] = {
        {set("OUTPUT_NAME", str("libx.A")), "OBJS:1/1 OUTPUT_NAME:2/0"},
        {set("OUTPUT_NAME", str("libx.so")), "OBJS:1/1 OUTPUT_NAME:1/0"},
        {output("OUTPUT_NAME", str("libx.a")), "OBJS:1/1 OUTPUT_NAME:0/0"},
        {set("OUTPUT_NAME", str(".a")), "OBJS:1/1 OUTPUT_NAME:1/0"},
    };
    for (const auto& c : cases) {
        const MatchResult result = ar()->matchSubjects(*targetWith({set("OBJS", str("a.o")), c.name}));
        EXPECT_EQ(result.status, BuildPossible);
        EXPECT_EQ(kindsOf(result), c.kinds) << c.name.toString();
    }
}

// The product's name in the command, the recorded output and the export.
TEST(GnuTools, OneProductNameEverywhere)
{
    const struct { std::shared_ptr<GNUTool> tool; std::vector<Assignment> variables; const char *variable, *exported, *name; } cases[] = {
        {ar(), {}, "LIB", "lib", "t"},
        {ar(), {set("OUTPUT_NAME", str(""))}, "LIB", "lib", "t.a"},
        {ar(), {set("OUTPUT_NAME", str("libx.a"))}, "LIB", "lib", "libx.a"},
        {ld(), {set("OUTPUT_NAME", str(""))}, "BINARY", "binary", "t.elf"},
        {ld(), {declared("OUTPUT_NAME"), set("SHARED", integer(1))}, "SO", "so", "t.so"},
        {ld(), {set("OUTPUT_NAME", list({})), declared("KO")}, "BINARY", "binary", "t.ko"},
        {objcopy(), {set("OUTPUT_NAME", str(""))}, "OUTPUT", "output", "t"},
        {gcc(), {declared("OUTPUT_NAME")}, "BINARY", "binary", "t"},
    };
    TempDir root;
    for (const auto& c : cases) {
        std::vector<Assignment> variables = c.variables;
        variables.push_back(set("OBJS", file("/o/a.o")));
        variables.push_back(set("INPUT", file("/o/app")));
        variables.push_back(set("C_FILES", file("/s/m.c")));
        variables.push_back(set("PROJECT_ROOT", str(root.path().string())));
        auto context = targetWith(variables, "t");
        const fs::path product = root.path() / "x86_64-linux-gnu" / "demo" / "t" / c.name;

        const BuildPlan plan = c.tool->createBuildPlan(*context);
        std::string recorded;
        for (const Assignment& out : plan.recipes.at(0).outputs)
            if (Util::ciEqual(out.name, c.variable))
                recorded = out.value->toString();
        EXPECT_EQ(recorded, product.string()) << c.name;

        auto job = jobOf(*c.tool, *context);
        captureLog(8, [&] { c.tool->prepare(*job, 1); });
        const std::string command = c.tool->createRecipes(*job).at(0).command;
        EXPECT_NE(command.find("\"" + std::string(c.name) + "\""), std::string::npos) << command;
        EXPECT_EQ(textOf(c.tool->createOutputContext(*job, 0), c.exported), product.string()) << c.name;
    }
}

TEST(GnuTools, CompileToolsExportTheObjectsOfBothKindsOfSource)
{
    TempDir root;
    auto tool = gcc();
    auto compile = targetWith({set("PROJECT_ROOT", str(root.path().string())), set("C_FLAGS", str("-c")),
                               set("C_FILES", file("/s/a.c")), set("CPP_FILES", file("/s/b.cpp"))}, "t");
    auto job = jobOf(*tool, *compile);
    captureLog(8, [&] { tool->prepare(*job, 1); });
    const fs::path dir = root.path() / "x86_64-linux-gnu" / "demo" / "t";
    const Context exports = tool->createOutputContext(*job, 0);
    EXPECT_EQ(textOf(exports, "objs"), (dir / "a.o").string() + " " + (dir / "b.o").string());
    EXPECT_FALSE(hasVariable(exports, "binary"));
}

}  // namespace
