// Which tool builds a C target: the machine's own toolchain beside a cross
// toolchain, the product a target declares against the flags it inherits,
// and dependencies named like the outputs they hand on.
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

// The program that `-v 3` says builds the target of unit demo.
std::string chosenTool(const std::string& out, const std::string& target)
{
    const std::string mark = "[demo::" + target + "] Tool       : ";
    const size_t at = out.find(mark);
    if (at == std::string::npos)
        return {};
    const size_t start = at + mark.size();
    return out.substr(start, out.find('\n', start) - start);
}

bool endsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

const std::string answerProgram = "#include <stdio.h>\nint main(void) { printf(\"%d\\n\", 42); return 0; }\n";

// A cross compiler registered beside the machine's own toolchain builds only
// the targets that ask for its architecture, whichever name sorts first.
TEST(ToolChoiceE2e, CrossToolchainBuildsOnlyTargetsThatAskForIt)
{
    const std::string native = E2e::machineArch();
    if (native.empty() || native.rfind("arm", 0) == 0)
        GTEST_SKIP() << "the fake cross toolchain is for arm";
    const struct { std::string cross; std::string own; } orders[] = {
        {"default_gnu_10_3_1_arm", "default_gnu_12_2_0_" + native},
        {"z_cross", "a_native"},
    };
    for (const auto& names : orders) {
        SCOPED_TRACE(names.cross);
        Sandbox box;
        FakeToolchain::BinDir arm(box.root() / "arm" / "bin");
        FakeToolchain::Compiler gcc = FakeToolchain::compiler("arm-none-eabi-gcc", "arm-none-eabi", "10.3.1");
        gcc.realProgram.clear();  // logs its calls instead
        arm.add(gcc);
        arm.addBinutils("arm-none-eabi-");
        box.write(box.registryFile(),
                  "tools {\n" + E2e::gnuToolDefinition(names.cross, arm.path().parent_path()) + E2e::gnuToolDefinition(names.own, "/usr/bin") + "}\n");
        box.write("zarn.txt", R"z(unit demo
app: {
  C_FILES = P"(src/main.c)"
}
firmware: {
  C_FILES = P"(src/main.c)"
  ARCH = "arm"
}
)z");
        box.write("src/main.c", answerProgram);

        const auto plain = box.run({"-v", "3", "app"});
        ASSERT_EQ(plain.status, 0) << plain.out;
        EXPECT_NE(plain.out.find("Best registered tool: " + names.own + ", score: "), std::string::npos) << plain.out;
        EXPECT_EQ(E2e::runProgram(E2e::findFile(box.work() / "out", "app")), "42\n");
        EXPECT_FALSE(fs::exists(arm / "arm-none-eabi-gcc.log")) << "the cross compiler ran for a plain target";

        const auto firmware = box.run({"-v", "3", "firmware"});
        ASSERT_EQ(firmware.status, 0) << firmware.out;
        EXPECT_NE(firmware.out.find("Best registered tool: " + names.cross + ", score: "), std::string::npos)
            << firmware.out;
        EXPECT_TRUE(fs::exists(arm / "arm-none-eabi-gcc.log"));
    }
}

// With no toolchain for this machine, the cross toolchain still builds
// every target.
TEST(ToolChoiceE2e, LoneCrossToolchainBuildsPlainTargets)
{
    Sandbox box;
    FakeToolchain::BinDir arm(box.root() / "arm" / "bin");
    FakeToolchain::Compiler gcc = FakeToolchain::compiler("arm-none-eabi-gcc", "arm-none-eabi", "10.3.1");
    gcc.realProgram.clear();
    arm.add(gcc);
    arm.addBinutils("arm-none-eabi-");
    box.write(box.registryFile(), "tools {\n" + E2e::gnuToolDefinition("default_gnu_10_3_1_arm", arm.path().parent_path()) + "}\n");
    box.write("zarn.txt", "unit demo\napp: {\n  C_FILES = P\"(src/main.c)\"\n}\n");
    box.write("src/main.c", answerProgram);
    const auto result = box.run({"-v", "3"});
    ASSERT_EQ(result.status, 0) << result.out;
    EXPECT_NE(result.out.find("Best registered tool: default_gnu_10_3_1_arm, score: "), std::string::npos)
        << result.out;
    EXPECT_TRUE(fs::exists(arm / "arm-none-eabi-gcc.log"));
}

// Compiler and linker settings that every target inherits from a profile do
// not turn a declared library into a program.
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
    box.write("zarn.txt", R"z(unit demo
all: greet shared core bare app {
  NO_TOOL
}
greet: +pic {
  OBJS
  SO
  OUTPUT_NAME = "libgreet.so"
}
shared: +pic {
  OBJS
  SHARED
  OUTPUT_NAME = "libshared.so"
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
app: core {
  C_FILES = P"(src/main.c)"
  LIB = core.lib
}
pic: {
  C_FILES = P"(src/twice.c)"
  C_FLAGS = "-O2 -fPIC -c"
}
)z");
    box.write("inc/twice.h", "int twice(int);\n");
    box.write("libs/.keep", "");
    box.write("src/twice.c", "#include \"twice.h\"\nint twice(int x) { return FACTOR * x; }\n");
    box.write("src/main.c", "#include <stdio.h>\n#include \"twice.h\"\n"
                            "int main(void) { printf(\"%d\\n\", twice(21)); return 0; }\n");
    const auto result = box.run({"-v", "3"});
    ASSERT_EQ(result.status, 0) << result.out;
    for (const char* target : {"greet", "shared"})
        EXPECT_TRUE(endsWith(chosenTool(result.out, target), "ld")) << target << "\n" << result.out;
    for (const char* target : {"core", "bare"})
        EXPECT_TRUE(endsWith(chosenTool(result.out, target), "ar")) << target << "\n" << result.out;
    for (const char* library : {"libgreet.so", "libshared.so"}) {
        const fs::path file = E2e::findFile(box.work() / "out", library);
        ASSERT_FALSE(file.empty()) << library;
        const std::string elf = box.read(file);
        ASSERT_GT(elf.size(), 16u);
        EXPECT_EQ(elf.rfind("\x7f" "ELF", 0), 0u);
        EXPECT_EQ(elf[16], 3) << library << " is not a shared object";
    }
    for (const char* library : {"libcore.a", "libbare"}) {
        const fs::path file = E2e::findFile(box.work() / "out", library);
        ASSERT_FALSE(file.empty()) << library;
        EXPECT_EQ(box.read(file).rfind("!<arch>\n", 0), 0u) << library << " is not an archive";
    }
    EXPECT_EQ(E2e::runProgram(E2e::findFile(box.work() / "out", "app")), "42\n");
}

// Targets named like what they hand on: "objs" hands on `objs` and "lib"
// hands on `lib`, which "+" merges into the dependent under the same name.
TEST(ToolChoiceE2e, DependencyNamedLikeItsOutputBuilds)
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
}

// Outputs that cannot join the dependent's variable of the same name stop
// the run with an error that names both targets and the variable.
TEST(ToolChoiceE2e, DependencyOutputsMeetingAnotherKindOfValue)
{
    Sandbox box;
    box.write("zarn.txt", R"z(unit demo
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
    const auto named = box.run({"named"});
    EXPECT_EQ(named.status, 1);
    EXPECT_NE(named.out.find("Error: Target 'demo::named' cannot take the outputs of dependency 'demo::dep' as its "
                             "variable 'dep', which holds another kind of value; give the dependency an alias "
                             "with '=>'.\n"),
              std::string::npos)
        << named.out;
    const auto merged = box.run({"merged"});
    EXPECT_EQ(merged.status, 1);
    EXPECT_NE(merged.out.find("Error: Target 'demo::merged' cannot append output 'text' of dependency 'demo::dep' "
                              "to its variable 'text', which holds another kind of value.\n"),
              std::string::npos)
        << merged.out;
}

}  // namespace
