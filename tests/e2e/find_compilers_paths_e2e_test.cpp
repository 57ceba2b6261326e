// --find-compilers over toolchain directories with awkward names and texts:
// the search sees fake toolchains through a private mount of /opt, so the
// machine's own /opt stays untouched.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "e2e/e2e_harness.h"
#include "e2e/find_compilers_support.h"
#include "tools/fake_toolchain.h"

namespace {

using namespace E2e;
namespace fs = std::filesystem;
using FakeToolchain::shellQuote;

// A complete fake toolchain below the sandbox's "opt": a gcc of the version
// and machine that compiles with the real one, with ar and ld beside it.
void addToolchain(const Sandbox& box, const std::string& directory, const std::string& version,
                  const std::string& machine = "x86_64-linux-gnu")
{
    FakeToolchain::BinDir bin(box.root() / "opt" / directory / "bin");
    bin.addGcc("gcc", machine, version);
    bin.addBinutils("", false);
}

// A C program that exits with 7, built through the definition of that
// toolchain version; the run's output.
RunResult buildWith(const Sandbox& box, const std::string& version)
{
    box.write("zarn.txt", "unit demo\napp: {\n  C_FILES = P\"(main.c)\"\n  OUTPUT_DIR = P\"(build)\"\n"
                          "  toolchain_version = \"" + version + "\"\n}\n");
    box.write("main.c", "int main(void) { return 7; }\n");
    fs::remove_all(box.work() / "build");
    return runWithOpt(box, {"-v", "3"});
}

class FindCompilersPathsE2e : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!canMountOpt())
            GTEST_SKIP() << "no private mount namespace for /opt here";
    }
};

TEST_F(FindCompilersPathsE2e, TextsThatAStringWouldExpandAreStoredAsWrittenAndBuild)
{
    Sandbox box;
    addToolchain(box, "issue#12", "9.9.1");
    addToolchain(box, "machine", "9.9.2", "x86_64-${HOME}-#{x}");

    const RunResult find = runWithOpt(box, {"--find-compilers"});
    ASSERT_EQ(find.status, 0) << find.out << find.err;
    const std::string registry = box.read(box.registryFile());
    EXPECT_NE(definitionIn(registry, "default_gnu_9_9_1_x86_64").find("toolchain_path = R\"(/opt/issue#12/bin)\"\n"),
              std::string::npos)
        << registry;
    EXPECT_NE(definitionIn(registry, "default_gnu_9_9_2_x86_64").find("prefix = R\"(x86_64-${HOME}-#{x})\"\n"),
              std::string::npos)
        << registry;

    const std::vector<std::pair<std::string, std::string>> tools = {
        {"9.9.1", "default_gnu_9_9_1_x86_64"}, {"9.9.2", "default_gnu_9_9_2_x86_64"}};
    for (const auto& [version, name] : tools) {
        const RunResult build = buildWith(box, version);
        ASSERT_EQ(build.status, 0) << version << "\n" << build.out << build.err;
        EXPECT_NE(build.out.find("Best registered tool: " + name + ","), std::string::npos) << build.out;
        const fs::path program = box.work() / "build" / "app";
        ASSERT_TRUE(fs::exists(program)) << build.out;
        EXPECT_EQ(std::system(shellQuote(program.string()).c_str()) >> 8, 7);
    }
}

TEST_F(FindCompilersPathsE2e, AToolchainThatCannotBeWrittenIsLeftOutWithAWarning)
{
    const std::string machineName = machineDefaultName();
    if (machineName.empty())
        GTEST_SKIP() << "no gcc on this machine";
    Sandbox box;
    // Neither a plain nor a raw string can hold this directory.
    addToolchain(box, "q)\"#", "9.9.3");
    addToolchain(box, "fine", "9.9.4");

    const RunResult find = runWithOpt(box, {"--find-compilers"});
    EXPECT_EQ(find.status, 0) << find.out << find.err;
    EXPECT_NE(find.out.find("Tool 'default_gnu_9_9_3_x86_64' left out of the registry: the text of "
                            "'toolchain_path' cannot be written so that it reads back.\n"),
              std::string::npos)
        << find.out;
    EXPECT_NE(find.out.find("Updated file '" + box.registryFile().string() + "'.\n"), std::string::npos)
        << find.out;
    const std::string registry = box.read(box.registryFile());
    EXPECT_EQ(definitionIn(registry, "default_gnu_9_9_3_x86_64"), "") << registry;
    EXPECT_NE(definitionIn(registry, "default_gnu_9_9_4_x86_64").find("toolchain_path = \"/opt/fine/bin\"\n"),
              std::string::npos)
        << registry;
    EXPECT_NE(definitionIn(registry, machineName).find("toolchain_path = \"/usr/bin\"\n"), std::string::npos)
        << registry;
}

TEST_F(FindCompilersPathsE2e, OnlyACompleteToolchainReplacesOneOfTheSameName)
{
    const std::string machineName = machineDefaultName();
    if (machineName.empty())
        GTEST_SKIP() << "no gcc on this machine";
    struct Case {
        std::string what;
        bool withBinutils;
        std::string storedPath;
    };
    const std::vector<Case> cases = {
        {"a lone gcc", false, "/usr/bin"},
        {"a gcc with ar and ld", true, "/opt/vendor/bin"},
    };
    for (const Case& c : cases) {
        Sandbox box;
        FakeToolchain::BinDir vendor(box.root() / "opt" / "vendor" / "bin");
        vendor.addLink("gcc", "/usr/bin/gcc");
        if (c.withBinutils)
            vendor.addBinutils("", false);

        const RunResult find = runWithOpt(box, {"--find-compilers"});
        ASSERT_EQ(find.status, 0) << c.what << "\n" << find.out << find.err;
        const std::string registry = box.read(box.registryFile());
        EXPECT_NE(definitionIn(registry, machineName).find("toolchain_path = \"" + c.storedPath + "\"\n"),
                  std::string::npos)
            << c.what << "\n" << registry;

        box.write("zarn.txt", "unit demo\napp: {\n  C_FILES = P\"(main.c)\"\n  OUTPUT_DIR = P\"(build)\"\n}\n");
        box.write("main.c", "int main(void) { return 7; }\n");
        const RunResult build = runWithOpt(box, {});
        EXPECT_EQ(build.status, 0) << c.what << "\n" << build.out << build.err;
        EXPECT_TRUE(fs::exists(box.work() / "build" / "app")) << c.what;
    }
}

}  // namespace
