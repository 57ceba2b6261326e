// Building C and C++ with the machine's GNU toolchain: libraries, programs,
// shared objects and images, across runs of the build cache.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/e2e_harness.h"

namespace {

using E2e::lines;
using E2e::Sandbox;
namespace fs = std::filesystem;

const std::string registry = R"z(tools {
  gnu {
    tool_type = "gnu-gcc"
    toolchain_path = "/usr/bin"
  }
}
)z";

// A program linked against a static library of its own.
const std::string libraryAndProgram = R"z(unit demo
app: core {
  C_FILES = P"(src/main.c)"
  LIB = core.lib
}
core: +core_objs {
  OBJS
  OUTPUT_NAME = "libcore.a"
}
core_objs: {
  C_FILES = P"(src/util.c)"
  C_FLAGS = "-O2 -c"
}
)z";

const std::string mainSource = "#include <stdio.h>\nint twice(int);\nint main(void) { printf(\"%d\\n\", twice(21)); return 0; }\n";

// The commands a run handed to the shell, in order.
std::vector<std::string> commandsOf(const std::string& out)
{
    std::vector<std::string> commands;
    for (const std::string& line : lines(out)) {
        const size_t start = line.find("] \"/usr/bin/");
        if (start != std::string::npos)
            commands.push_back(line.substr(1, line.find(']') - 1));
    }
    return commands;
}

size_t count(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

fs::path outputOf(const fs::path& root, const std::string& target)
{
    // The toolchain's identity level is the machine's; there is only one.
    for (const auto& entry : fs::directory_iterator(root / "out"))
        return entry.path() / "demo" / target;
    return {};
}

void writeLibraryProject(const Sandbox& box, const fs::path& dir)
{
    box.write(box.registryFile(), registry);
    box.write(dir / "zarn.txt", libraryAndProgram);
    box.write(dir / "src/main.c", mainSource);
    box.write(dir / "src/util.c", "int twice(int x) { return 2 * x; }\n");
}

TEST(GnuE2e, LibraryAndProgramRebuildOnlyWhatChanged)
{
    Sandbox box;
    writeLibraryProject(box, ".");
    const auto first = box.run({});
    ASSERT_EQ(first.status, 0) << first.out;
    EXPECT_EQ(commandsOf(first.out), (std::vector<std::string>{"demo::core_objs", "demo::core", "demo::app"}));
    const fs::path app = outputOf(box.work(), "app") / "app";
    EXPECT_EQ(E2e::runProgram(app), "42\n");
    EXPECT_TRUE(fs::exists(outputOf(box.work(), "core") / "libcore.a"));

    // Nothing changed: nothing runs, the program's link included.
    const auto second = box.run({});
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(count(second.out, "Starting build job"), 0u) << second.out;

    // The library's source changed: the library and the link run again.
    box.write("src/util.c", "int twice(int x) { return 4 * x; }\n");
    const auto third = box.run({});
    EXPECT_EQ(third.status, 0);
    EXPECT_EQ(commandsOf(third.out), (std::vector<std::string>{"demo::core_objs", "demo::core", "demo::app"}));
    EXPECT_EQ(E2e::runProgram(app), "84\n");
}

TEST(GnuE2e, ProjectRootWithBlankAndDollar)
{
    Sandbox box;
    const fs::path dir = "my dir/$HOME`true`";
    writeLibraryProject(box, dir);
    const auto result = box.run({}, dir);
    ASSERT_EQ(result.status, 0) << result.out;
    EXPECT_EQ(E2e::runProgram(outputOf(box.work() / dir, "app") / "app"), "42\n");
}

TEST(GnuE2e, SharedObjectAndBinaryImage)
{
    Sandbox box;
    box.write(box.registryFile(), registry);
    box.write("zarn.txt", R"z(unit demo
all: image shared {
  NO_TOOL
}
image: app {
  INPUT = app.binary
  OBJCOPY_FLAGS = "-O binary"
  OUTPUT_NAME = "app.bin"
}
app: {
  C_FILES = P"(src/main.c)"
  C_DEFINES = "ANSWER=42 UNUSED"
}
shared: +pic {
  OBJS
  SO
  OUTPUT_NAME = "libtwice.so"
}
pic: {
  C_FILES = P"(src/twice.c)"
  C_FLAGS = "-fPIC -c"
}
)z");
    box.write("src/main.c", "#include <stdio.h>\nint main(void) { printf(\"%d\\n\", ANSWER); return 0; }\n");
    box.write("src/twice.c", "int twice(int x) { return 2 * x; }\n");
    const auto result = box.run({});
    ASSERT_EQ(result.status, 0) << result.out;
    EXPECT_EQ(E2e::runProgram(outputOf(box.work(), "app") / "app"), "42\n");
    const std::string image = box.read(outputOf(box.work(), "image") / "app.bin");
    EXPECT_GT(image.size(), 0u);
    EXPECT_NE(image.rfind("\x7f" "ELF", 0), 0u) << "objcopy kept the ELF form";
    const std::string shared = box.read(outputOf(box.work(), "shared") / "libtwice.so");
    ASSERT_GT(shared.size(), 16u);
    EXPECT_EQ(shared.rfind("\x7f" "ELF", 0), 0u);
    EXPECT_EQ(shared[16], 3) << "not a shared object";

    const auto again = box.run({});
    EXPECT_EQ(commandsOf(again.out), std::vector<std::string>{}) << again.out;
}

TEST(GnuE2e, CppProgramCompilesInParallelGroups)
{
    Sandbox box;
    box.write(box.registryFile(), registry);
    box.write("zarn.txt", R"z(unit demo
app: +parts {
  OBJS
  GPP
  OUTPUT_NAME = "sum"
}
parts: {
  CPP_FILES = P"(src/*.cpp)"
  C_FLAGS = "-O1 -c"
}
)z");
    std::string main = "#include <iostream>\n";
    std::string sum;
    for (int i = 1; i <= 6; ++i) {
        box.write("src/f" + std::to_string(i) + ".cpp", "int f" + std::to_string(i) + "() { return " + std::to_string(i) + "; }\n");
        main += "int f" + std::to_string(i) + "();\n";
        sum += (i > 1 ? " + f" : "f") + std::to_string(i) + "()";
    }
    box.write("src/main.cpp", main + "int main() { std::cout << " + sum + " << std::endl; }\n");
    const auto result = box.run({"-j", "8"});
    ASSERT_EQ(result.status, 0) << result.out;
    // Seven sources in three groups, then one link.
    EXPECT_EQ(count(result.out, "[demo::parts] Starting build job"), 3u) << result.out;
    EXPECT_EQ(count(result.out, "[demo::parts] \"/usr/bin/"), 3u) << result.out;
    EXPECT_EQ(count(result.out, "[demo::app] \"/usr/bin/"), 1u) << result.out;
    EXPECT_NE(result.out.find("g++"), std::string::npos);
    EXPECT_EQ(E2e::runProgram(outputOf(box.work(), "app") / "sum"), "21\n");
}

}  // namespace
