// Which tool builds a C target: the machine's own toolchain beside foreign
// ones, the product a target declares against the flags it inherits and
// against the tool its own variables name, and dependencies named like the
// outputs they hand on or like variables of their dependents.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/e2e_harness.h"
#include "tools/fake_toolchain.h"

namespace {

using E2e::Sandbox;
namespace fs = std::filesystem;

bool endsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Runs zarn with the arguments and expects it to fail with that error.
void expectError(const Sandbox& box, const std::vector<std::string>& args, const std::string& error)
{
    const auto run = box.run(args);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("Error: " + error + "\n"), std::string::npos) << run.out;
}

// A fake toolchain for another machine in that bin directory whose gcc logs
// its calls ("<machine>-gcc.log") instead of compiling.
void addLoggingToolchain(const fs::path& binDir, const std::string& machine, const std::string& version)
{
    FakeToolchain::BinDir bin(binDir);
    FakeToolchain::Compiler gcc = FakeToolchain::compiler(machine + "-gcc", machine, version);
    gcc.realProgram.clear();
    bin.add(gcc);
    bin.addBinutils(machine + "-");
}

// A cross toolchain and one for another system on this processor, registered
// beside the machine's own, build only the targets that ask for them,
// whichever name sorts first. ARCH names the processor, not the system.
TEST(ToolChoiceE2e, ForeignToolchainsBuildOnlyTargetsThatAskForThem)
{
    const std::string arch = E2e::machineArch();
    const std::string native = FakeToolchain::realAnswer("/usr/bin/gcc", "-dumpmachine");
    if (arch.empty() || arch.rfind("arm", 0) == 0 || native.rfind(arch + "-", 0) != 0)
        GTEST_SKIP() << "the fakes are for arm and for this processor's Windows";
    const std::string cross = "arm-none-eabi";
    const std::string windows = arch + "-w64-mingw32";
    // The first names are what --find-compilers gives: "-" sorts before "_".
    const struct { std::string cross, windows, own; } orders[] = {
        {"default_gnu_10_3_1_arm", "default_gnu_12-win32_" + arch, "default_gnu_12_2_0_" + arch},
        {"z_cross", "a_windows", "b_native"},
    };
    for (const auto& names : orders) {
        SCOPED_TRACE(names.cross);
        Sandbox box;
        const fs::path crossBin = box.root() / "arm" / "bin";
        const fs::path windowsBin = box.root() / "mingw" / "bin";
        const fs::path crossLog = crossBin / (cross + "-gcc.log");
        const fs::path windowsLog = windowsBin / (windows + "-gcc.log");
        addLoggingToolchain(crossBin, cross, "10.3.1");
        addLoggingToolchain(windowsBin, windows, "12-win32");
        box.write(box.registryFile(), "tools {\n" + E2e::gnuToolDefinition(names.cross, crossBin.parent_path()) +
                                          E2e::gnuToolDefinition(names.windows, windowsBin) +
                                          E2e::gnuToolDefinition(names.own, "/usr/bin") + "}\n");
        box.write("zarn.txt", "unit demo\napp: {\n  C_FILES = P\"(main.c)\"\n}\n"
                              "cpu: {\n  C_FILES = P\"(main.c)\"\n  ARCH = \"" + arch + "\"\n}\n"
                              "firmware: {\n  C_FILES = P\"(main.c)\"\n  ARCH = \"arm\"\n}\n"
                              "win: {\n  C_FILES = P\"(main.c)\"\n  TOOLCHAIN_TRIPLET = \"" + windows + "\"\n}\n");
        box.write("main.c", "#include <stdio.h>\nint main(void) { printf(\"%d\\n\", 42); return 0; }\n");
        const struct { const char* target; std::string tool; fs::path log; } runs[] = {
            {"app", names.own, {}},
            {"cpu", names.own, {}},
            {"firmware", names.cross, crossLog},
            {"win", names.windows, windowsLog},
        };
        for (const auto& r : runs) {
            const auto run = box.run({"-v", "3", r.target});
            ASSERT_EQ(run.status, 0) << r.target << "\n" << run.out;
            EXPECT_NE(run.out.find("Best registered tool: " + r.tool + ", score: "), std::string::npos)
                << r.target << "\n" << run.out;
            for (const fs::path& log : {crossLog, windowsLog})
                EXPECT_EQ(fs::exists(log), log == r.log) << r.target << ": " << log;
            fs::remove(r.log);
        }
        EXPECT_EQ(E2e::runProgram(E2e::findFile(box.work() / "out" / native, "app")), "42\n");
    }
}

// Compiler and linker settings that every target inherits from a profile do
// not turn a declared library into a program; a shared object with sources of
// its own is left to gcc, as ld would leave those sources out.
TEST(ToolChoiceE2e, DeclaredProductWinsOverInheritedFlags)
{
    Sandbox box;
    box.write(box.registryFile(), "tools {\n" + E2e::gnuToolDefinition("gnu", "/usr/bin") + "}\n");
    box.write(".zarn_project.txt", R"z(name demo
units {
  demo { "zarn.txt" }
}
profiles {
  default {
    C_FLAGS ?= "-O2"
    C_DEFINES ?= "FACTOR=2"
    INCLUDE ?= P"(inc)"
    LIB ?= "-lm"
    LIBPATH ?= P"(libs)"
    LINK_FLAGS ?= "-O1"
  }
}
)z");
    std::string units = R"z(unit demo
all: greet shared core bare mixedSO mixedSHARED {
  NO_TOOL
}
core: +pic {
  OBJS
  OUTPUT_NAME = "libcore.a"
}
bare: +pic {
  OBJS
  STATIC
  OUTPUT_NAME = "libbare"
}
pic: {
  C_FILES = P"(src/twice.c)"
  C_FLAGS = "-O2 -fPIC -c"
}
)z";
    for (const std::string kind : {"SO", "SHARED"}) {
        units += (kind == "SO" ? "greet" : "shared") + std::string(": +pic {\n  OBJS\n  ") + kind +
                 "\n  OUTPUT_NAME = \"lib" + kind + ".so\"\n}\n";
        units += "mixed" + kind + ": +pic {\n  C_FILES = P\"(src/extra.c)\"\n  C_FLAGS = \"-fPIC -shared\"\n" +
                 "  OBJS\n  " + kind + "\n  OUTPUT_NAME = \"libmixed" + kind + ".so\"\n}\n";
    }
    box.write("zarn.txt", units);
    box.write("inc/twice.h", "int twice(int);\n");
    box.write("libs/.keep", "");
    box.write("src/twice.c", "#include \"twice.h\"\nint twice(int x) { return FACTOR * x; }\n");
    box.write("src/extra.c", "int greet_extra(int x) { return 3 * x; }\n");
    const auto result = box.run({"-v", "3"});
    ASSERT_EQ(result.status, 0) << result.out;
    const struct { const char* target; const char* tool; const char* file; } products[] = {
        {"greet", "ld", "libSO.so"},          {"shared", "ld", "libSHARED.so"},
        {"mixedSO", "gcc", "libmixedSO.so"}, {"mixedSHARED", "gcc", "libmixedSHARED.so"},
        {"core", "ar", "libcore.a"},          {"bare", "ar", "libbare"},
    };
    for (const auto& p : products) {
        SCOPED_TRACE(p.target);
        EXPECT_TRUE(endsWith(E2e::chosenTool(result.out, "demo::" + std::string(p.target)), p.tool)) << result.out;
        const fs::path file = E2e::findFile(box.work() / "out", p.file);
        ASSERT_FALSE(file.empty());
        const std::string bytes = box.read(file);
        if (std::string(p.tool) == "ar") {
            EXPECT_EQ(bytes.rfind("!<arch>\n", 0), 0u) << "not an archive";
            continue;
        }
        EXPECT_EQ(bytes.substr(0, 4) + bytes.substr(16, 1), "\x7f" "ELF\x03") << "not a shared object";
        EXPECT_NE(bytes.find("twice"), std::string::npos);
        if (std::string(p.tool) == "gcc") {
            EXPECT_NE(bytes.find("greet_extra"), std::string::npos) << "the target's own source was left out";
        }
    }
}

// A shared object whose own variables name g++ (a bare GPP, C_FLAGS "-shared")
// is linked by g++, not by a bare `ld -shared`: the library records the C++
// runtime, so an exception thrown in it is caught by a C++ program, and a C
// program links with it through an extern "C" function.
TEST(ToolChoiceE2e, OwnVariablesNameTheLinkerOfASharedObject)
{
    Sandbox box;
    box.write(box.registryFile(), "tools {\n" + E2e::gnuToolDefinition("gnu", "/usr/bin") + "}\n");
    box.write("zarn.txt", R"z(unit demo
shapes: +shape_objs {
  OBJS
  SO
  GPP
  C_FLAGS = "-shared"
  OUTPUT_NAME = "libshapes.so"
}
shape_objs: {
  CPP_FILES = P"(src/shapes.cpp)"
  C_FLAGS = "-O2 -fPIC -c"
}
cpp_app: shapes {
  CPP_FILES = P"(src/main.cpp)"
  LIB = shapes.binary
}
c_app: shapes {
  C_FILES = P"(src/main.c)"
  LIB = shapes.binary
}
)z");
    box.write("src/shapes.cpp", R"(#include <stdexcept>
double square_area(double side)
{
    if (side < 0)
        throw std::invalid_argument("negative side");
    return side * side;
}
extern "C" double shape_area(double side)
{
    try {
        return square_area(side);
    } catch (const std::invalid_argument&) {
        return -1;
    }
}
)");
    box.write("src/main.cpp", R"(#include <iostream>
#include <stdexcept>
double square_area(double side);
int main()
{
    try {
        square_area(-2);
    } catch (const std::invalid_argument& error) {
        std::cout << "caught " << error.what() << "\n";
    }
    std::cout << square_area(3) << "\n";
}
)");
    box.write("src/main.c", "#include <stdio.h>\ndouble shape_area(double side);\n"
                            "int main(void) { printf(\"%g %g\\n\", shape_area(3), shape_area(-2)); return 0; }\n");
    const auto cpp = box.run({"-v", "3", "cpp_app"});
    ASSERT_EQ(cpp.status, 0) << cpp.out;
    EXPECT_TRUE(endsWith(E2e::chosenTool(cpp.out, "demo::shapes"), "g++")) << cpp.out;
    EXPECT_EQ(E2e::runProgram(E2e::findFile(box.work() / "out", "cpp_app")), "caught negative side\n9\n");
    const auto c = box.run({"c_app"});
    ASSERT_EQ(c.status, 0) << c.out;
    EXPECT_EQ(E2e::runProgram(E2e::findFile(box.work() / "out", "c_app")), "9 -1\n");
}

// Targets named like what they hand on: "objs" hands on `objs` and "lib"
// hands on `lib`, which "+" merges into the dependent under the same name.
// Outputs that cannot join the dependent's variable of that name stop the
// run with an error naming both targets and the variable.
TEST(ToolChoiceE2e, DependenciesNamedLikeTheirOutputs)
{
    Sandbox box;
    box.write(box.registryFile(), "tools {\n" + E2e::gnuToolDefinition("gnu", "/usr/bin") + "}\n");
    box.write("zarn.txt", R"z(unit demo
app: +lib {
  C_FILES = P"(src/main.c)"
}
lib: +objs {
  OBJS
  OUTPUT_NAME = "libx.a"
}
objs: {
  C_FILES = P"(src/twice.c)"
  C_FLAGS = "-O2 -c"
}
named: dep {
  dep = 5
  cmdline = "echo named"
}
merged: +dep {
  text = 5
  cmdline = "echo merged"
}
dep: {
  ^text = "x"
  cmdline = "echo dep"
}
)z");
    box.write("src/twice.c", "int twice(int x) { return 2 * x; }\n");
    box.write("src/main.c", "#include <stdio.h>\nint twice(int);\n"
                            "int main(void) { printf(\"%d\\n\", twice(21)); return 0; }\n");
    const auto result = box.run({});
    ASSERT_EQ(result.status, 0) << result.out;
    EXPECT_EQ(E2e::runProgram(E2e::findFile(box.work() / "out", "app")), "42\n");
    EXPECT_EQ(box.read(E2e::findFile(box.work() / "out", "libx.a")).rfind("!<arch>\n", 0), 0u);
    const auto again = box.run({});
    EXPECT_EQ(again.status, 0) << again.out;
    EXPECT_EQ(again.out.find("Starting build job"), std::string::npos) << again.out;

    expectError(box, {"named"},
                "Target 'demo::named' cannot take the outputs of dependency 'demo::dep' as its variable 'dep', "
                "which holds another kind of value; give the dependency an alias with '=>'.");
    expectError(box, {"merged"},
                "Target 'demo::merged' cannot append output 'text' of dependency 'demo::dep' to its variable "
                "'text', which holds another kind of value.");
}

// A dependency whose alias is already a variable of another kind: the error
// asks for another alias, not for one it has.
TEST(ToolChoiceE2e, AnAliasNamedLikeAVariableAsksForAnotherOne)
{
    for (const std::string arrow : {"=>", "+>"}) {
        SCOPED_TRACE(arrow);
        Sandbox box;
        box.write("zarn.txt", "unit demo\nt: a " + arrow +
                                  " v {\n  v = 7\n  cmdline = \"echo t\"\n}\na: {\n  ^o = \"x\"\n  cmdline = "
                                  "\"echo a\"\n}\n");
        expectError(box, {"t"},
                    "Target 'demo::t' cannot take the outputs of dependency 'demo::a' as its variable 'v', which "
                    "holds another kind of value; give the dependency another alias.");
    }
}

// A dependency named like a variable of its dependent, case aside, whose
// value refers into that dependency's outputs: the outputs cannot join that
// reference, and the error names the target, the dependency and the variable
// and points to an alias, with which the same program builds.
TEST(ToolChoiceE2e, DependencyNamedLikeAVariableOfItsDependent)
{
    const struct {
        const char* dependency;
        const char* variable;
        const char* aliased;
        const char* aliasedVariable;
    } cases[] = {
        {"lib", "LIB = lib.lib", "lib => l", "LIB = l.lib"},
        {"objs", "OBJS = objs.objs", "objs => o", "OBJS = o.objs"},
    };
    const std::string dependencies = R"z(lib: +objs {
  OBJS
  OUTPUT_NAME = "libx.a"
}
objs: {
  C_FILES = P"(src/twice.c)"
  C_FLAGS = "-O2 -c"
}
)z";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.variable);
        Sandbox box;
        box.write(box.registryFile(), "tools {\n" + E2e::gnuToolDefinition("gnu", "/usr/bin") + "}\n");
        box.write("src/twice.c", "int twice(int x) { return 2 * x; }\n");
        box.write("src/main.c", "#include <stdio.h>\nint twice(int);\n"
                                "int main(void) { printf(\"%d\\n\", twice(21)); return 0; }\n");
        const auto project = [&](const std::string& dependency, const std::string& variable) {
            return "unit demo\napp: " + dependency + " {\n  C_FILES = P\"(src/main.c)\"\n  " + variable + "\n}\n" +
                   dependencies;
        };

        box.write("zarn.txt", project(c.dependency, c.variable));
        const auto failed = box.run({"app"});
        EXPECT_EQ(failed.status, 1);
        const std::string dependency = c.dependency;
        EXPECT_NE(failed.out.find("[demo::app] Dependency output '" + dependency +
                                  "' collides with an existing context variable. Names are case-insensitive; "
                                  "this may make dependency output ambiguous.\n"),
                  std::string::npos)
            << failed.out;
        EXPECT_NE(failed.out.find("Error: Target 'demo::app' cannot take the outputs of dependency 'demo::" +
                                  dependency + "' as its variable '" + dependency +
                                  "', which holds another kind of value; give the dependency an alias with "
                                  "'=>'.\n"),
                  std::string::npos)
            << failed.out;
        EXPECT_TRUE(E2e::findFile(box.work() / "out", "app").empty());

        box.write("zarn.txt", project(c.aliased, c.aliasedVariable));
        const auto built = box.run({"app"});
        ASSERT_EQ(built.status, 0) << built.out;
        EXPECT_EQ(E2e::runProgram(E2e::findFile(box.work() / "out", "app")), "42\n");
    }
}

}  // namespace
