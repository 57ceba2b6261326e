// --find-compilers against this machine's own GNU toolchain.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "e2e/e2e_harness.h"
#include "tools/fake_toolchain.h"

namespace {

using namespace E2e;
namespace fs = std::filesystem;

// What the machine's gcc gives as its default definition's name, or "".
std::string expectedDefaultName()
{
    const std::string version = FakeToolchain::realAnswer("/usr/bin/gcc", "-dumpfullversion");
    const std::string machine = FakeToolchain::realAnswer("/usr/bin/gcc", "-dumpmachine");
    if (machine.empty())
        return {};
    std::string name = "default_gnu_" + (version.empty() ? std::string("0") : version) + "_" +
                       machine.substr(0, machine.find('-'));
    for (char& c : name) {
        if (c == '.')
            c = '_';
    }
    return name;
}

TEST(FindCompilersE2e, RegistersTheMachinesCompilerBesideExistingEntries)
{
    const std::string name = expectedDefaultName();
    if (name.empty())
        GTEST_SKIP() << "no gcc on this machine";
    Sandbox box;
    const std::string existing = "projects {\n  alpha \"/w/alpha/.zarn_project.txt\"\n}\n\n"
                                 "tools {\n  mine {\n    tool_type = \"command\"\n  }\n}\n";
    box.write(box.registryFile(), existing);

    const RunResult run = box.run({"--find-compilers"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out, "Updated file '" + box.registryFile().string() + "'.\n");
    EXPECT_EQ(run.err, "");
    const std::string registry = box.read(box.registryFile());
    EXPECT_NE(registry.find("  alpha \"/w/alpha/.zarn_project.txt\"\n"), std::string::npos) << registry;
    EXPECT_NE(registry.find("  mine {\n    tool_type = \"command\"\n  }\n"), std::string::npos) << registry;
    const std::string machine = FakeToolchain::realAnswer("/usr/bin/gcc", "-dumpmachine");
    const std::string entry = "  " + name + " {\n    tool_type = \"gnu-gcc\"\n";
    const size_t at = registry.find(entry);
    ASSERT_NE(at, std::string::npos) << registry;
    const std::string definition = registry.substr(at, registry.find("  }\n", at) - at);
    EXPECT_NE(definition.find("    prefix = \"" + machine + "\"\n"), std::string::npos) << definition;
    EXPECT_NE(definition.find("    toolchain_path = \"/usr/bin\"\n"), std::string::npos) << definition;

    // A second run finds the same and changes nothing.
    EXPECT_EQ(box.run({"--find-compilers"}).status, 0);
    EXPECT_EQ(box.read(box.registryFile()), registry);

    // The definition builds C.
    box.write("zarn.txt", "unit demo\napp: {\n  C_FILES = P\"(main.c)\"\n  OUTPUT_DIR = P\"(build)\"\n}\n");
    box.write("main.c", "int main(void) { return 7; }\n");
    const RunResult build = box.run({"-v", "3"});
    ASSERT_EQ(build.status, 0) << build.out;
    EXPECT_NE(build.out.find("Best registered tool: " + name + ","), std::string::npos) << build.out;
    const fs::path program = box.work() / "build" / "app";
    ASSERT_TRUE(fs::exists(program)) << build.out;
    EXPECT_EQ(std::system(("'" + program.string() + "'").c_str()) >> 8, 7);
}

TEST(FindCompilersE2e, FailsWithoutAHome)
{
    Sandbox box;
    const RunResult run = box.run({"--find-compilers"}, {}, {"HOME"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("Unable to resolve HOME path.\n"), std::string::npos) << run.out;
    EXPECT_FALSE(fs::exists(box.registryFile()));
}

}  // namespace
