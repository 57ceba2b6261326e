// Toolchains at the edges of what a machine holds: compiler directories that
// PATH cannot hold and machine texts too long for a directory name, met both
// by --find-compilers and by a definition's search.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/e2e_harness.h"
#include "e2e/find_compilers_support.h"
#include "tools/fake_toolchain.h"

namespace {

using namespace E2e;
namespace fs = std::filesystem;

const std::string cProgram = "unit demo\napp: {\n  C_FILES = P\"(main.c)\"\n  OUTPUT_DIR = P\"(build)\"\n}\n";

void writeCProject(const Sandbox& box)
{
    box.write("zarn.txt", cProgram);
    box.write("main.c", "int main(void) { return 0; }\n");
}

// A complete fake toolchain in that bin directory.
void addToolchain(const fs::path& binDir, const std::string& version, const std::string& machine)
{
    FakeToolchain::BinDir bin(binDir);
    bin.addGcc("gcc", machine, version);
    bin.addBinutils("", false);
}

std::string gnuRegistry(const fs::path& toolchain)
{
    return "tools {\n  kit {\n    tool_type = \"gnu-gcc\"\n    toolchain_path = \"" + toolchain.string() +
           "\"\n  }\n}\n";
}

// A machine text of exactly that length, of three dash-separated parts.
std::string machineOfLength(size_t length)
{
    const std::string head = "x86_64-linux-";
    return head + std::string(length - head.size(), 'g');
}

TEST(ToolchainEdgesE2e, FindCompilersLeavesOutADirectoryPathCannotHold)
{
    if (!canMountOpt())
        GTEST_SKIP() << "no private mount namespace for /opt here";
    const std::string machineName = machineDefaultName();
    if (machineName.empty())
        GTEST_SKIP() << "no gcc on this machine";
    const std::string machineVersion = FakeToolchain::realAnswer("/usr/bin/gcc", "-dumpfullversion");
    // The second would take the name of the machine's own definition.
    for (const std::string& version : {std::string("9.9.5"), machineVersion}) {
        SCOPED_TRACE(version);
        Sandbox box;
        addToolchain(box.root() / "opt" / "tc:x" / "bin", version, "x86_64-linux-gnu");

        const RunResult find = runWithOpt(box, {"--find-compilers"});
        ASSERT_EQ(find.status, 0) << find.out << find.err;
        EXPECT_NE(find.out.find("Toolchain directory '/opt/tc:x/bin' holds ':', so PATH cannot hold it; its "
                                "compilers are not registered.\n"),
                  std::string::npos)
            << find.out;
        const std::string registry = box.read(box.registryFile());
        EXPECT_EQ(registry.find("tc:x"), std::string::npos) << registry;
        EXPECT_NE(definitionIn(registry, machineName).find("toolchain_path = \"/usr/bin\"\n"), std::string::npos)
            << registry;

        writeCProject(box);
        const RunResult build = runWithOpt(box, {});
        EXPECT_EQ(build.status, 0) << build.out << build.err;
        EXPECT_EQ(build.out.find("holds ':'"), std::string::npos) << build.out;
        EXPECT_TRUE(fs::exists(box.work() / "build" / "app")) << build.out;
    }
}

TEST(ToolchainEdgesE2e, FindCompilersLeavesOutAMachineTextTooLongForADirectory)
{
    if (!canMountOpt())
        GTEST_SKIP() << "no private mount namespace for /opt here";
    const std::string machineName = machineDefaultName();
    if (machineName.empty())
        GTEST_SKIP() << "no gcc on this machine";
    Sandbox box;
    addToolchain(box.root() / "opt" / "long" / "bin", "9.9.6", machineOfLength(300));
    addToolchain(box.root() / "opt" / "fine" / "bin", "9.9.7", "x86_64-linux-gnu");

    const RunResult find = runWithOpt(box, {"--find-compilers"});
    ASSERT_EQ(find.status, 0) << find.out << find.err;
    EXPECT_NE(find.out.find("'/opt/long/bin/gcc' answered -dumpmachine with a text of 300 bytes, too long to name "
                            "a directory; that compiler is not used.\n"),
              std::string::npos)
        << find.out;
    const std::string registry = box.read(box.registryFile());
    EXPECT_EQ(definitionIn(registry, "default_gnu_9_9_6_x86_64"), "") << registry;
    EXPECT_NE(definitionIn(registry, "default_gnu_9_9_7_x86_64"), "") << registry;
    EXPECT_NE(definitionIn(registry, machineName), "") << registry;
}

TEST(ToolchainEdgesE2e, FindCompilersSaysWhyADirectoryThatIsNotUtf8IsLeftOut)
{
    if (!canMountOpt())
        GTEST_SKIP() << "no private mount namespace for /opt here";
    Sandbox box;
    addToolchain(box.root() / "opt" / "x\xffy" / "bin", "9.9.8", "x86_64-linux-gnu");
    addToolchain(box.root() / "opt" / "fine" / "bin", "9.9.9", "x86_64-linux-gnu");

    const RunResult find = runWithOpt(box, {"--find-compilers"});
    ASSERT_EQ(find.status, 0) << find.out << find.err;
    EXPECT_NE(find.out.find("Tool 'default_gnu_9_9_8_x86_64' left out of the registry: the text of "
                            "'toolchain_path' is not valid UTF-8.\n"),
              std::string::npos)
        << find.out;
    const std::string registry = box.read(box.registryFile());
    EXPECT_EQ(definitionIn(registry, "default_gnu_9_9_8_x86_64"), "") << registry;
    EXPECT_NE(definitionIn(registry, "default_gnu_9_9_9_x86_64"), "") << registry;
}

// The machine's first three parts make one level of the output directory:
// up to 255 bytes it builds, beyond that the compiler is refused cleanly.
TEST(ToolchainEdgesE2e, ALongMachineTextBuildsUpToTheLengthOfADirectoryName)
{
    const struct {
        size_t length;
        bool builds;
    } cases[] = {{253, true}, {254, false}, {300, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        Sandbox box;
        addToolchain(box.root() / "tc" / "bin", "12.2.0", machineOfLength(c.length));
        box.write(box.registryFile(), gnuRegistry(box.root() / "tc"));
        box.write("zarn.txt", "unit demo\napp: {\n  C_FILES = P\"(main.c)\"\n}\n");
        box.write("main.c", "int main(void) { return 0; }\n");
        const RunResult run = box.run({});
        EXPECT_EQ(run.out.find("filesystem error"), std::string::npos) << run.out;
        if (c.builds) {
            EXPECT_EQ(run.status, 0) << run.out;
            EXPECT_TRUE(fs::exists(box.work() / "out" / machineOfLength(c.length) / "demo" / "app" / "app"))
                << run.out;
            continue;
        }
        EXPECT_NE(run.status, 0);
        EXPECT_NE(run.out.find("answered -dumpmachine with a text of " + std::to_string(c.length) +
                               " bytes, too long to name a directory; that compiler is not used.\n"),
                  std::string::npos)
            << run.out;
        EXPECT_FALSE(fs::exists(box.work() / "out")) << run.out;
    }
}

// A project's own toolchain: a path literal is relative to the project file,
// a plain text to the directory zarn is started in.
TEST(ToolchainEdgesE2e, AProjectToolchainWrittenAsAPathIsFoundFromASubdirectory)
{
    const struct {
        std::string written;
        bool found;
    } cases[] = {{"P\"(tc)\"", true}, {"\"tc\"", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written);
        Sandbox box;
        addToolchain(box.work() / "tc" / "bin", "12.2.0", "x86_64-linux-gnu");
        box.write(".zarn_project.txt", "name demo\ntools {\n  own {\n    tool_type = \"gnu-gcc\"\n"
                                       "    toolchain_path = " + c.written + "\n  }\n}\n"
                                       "units {\n  demo { \"src/zarn.txt\" }\n}\n");
        box.write("src/zarn.txt", "unit demo\napp: {\n  C_FILES = P\"(main.c)\"\n}\n");
        box.write("src/main.c", "int main(void) { return 0; }\n");
        const RunResult run = box.run({"-v", "3"}, "src");
        if (!c.found) {
            EXPECT_NE(run.out.find("Couldn't find GNU toolchain from provided 'wants' variables."), std::string::npos)
                << run.out;
            continue;
        }
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_NE(run.out.find("Best registered tool: demo/own, score: "), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("\"" + (box.work() / "tc" / "bin" / "gcc").string() + "\""), std::string::npos)
            << run.out;
    }
}

}  // namespace
