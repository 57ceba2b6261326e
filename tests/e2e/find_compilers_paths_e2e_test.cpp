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

// A complete fake toolchain below the sandbox's "opt" that compiles with the
// real gcc.
void addToolchain(const Sandbox& box, const std::string& directory, const std::string& version,
                  const std::string& machine = "x86_64-linux-gnu")
{
    FakeToolchain::BinDir bin(box.root() / "opt" / directory / "bin");
    bin.addGcc("gcc", machine, version);
    bin.addBinutils("", false);
}

// Builds a program that exits with 7 through the definition of that
// toolchain version ("" for any); the run's output.
RunResult buildWith(const Sandbox& box, const std::string& version)
{
    box.write("zarn.txt", "unit demo\napp: {\n  C_FILES = P\"(main.c)\"\n  OUTPUT_DIR = P\"(build)\"\n" +
                              (version.empty() ? "" : "  toolchain_version = \"" + version + "\"\n") + "}\n");
    box.write("main.c", "int main(void) { return 7; }\n");
    fs::remove_all(box.work() / "build");
    return runWithOpt(box, {"-v", "3"});
}

TEST(FindCompilersPathsE2e, AwkwardDirectoriesAndTextsAreStoredOrLeftOutWithAWarning)
{
    if (!canMountOpt())
        GTEST_SKIP() << "no private mount namespace for /opt here";
    const std::string machineName = machineDefaultName();
    if (machineName.empty())
        GTEST_SKIP() << "no gcc on this machine";
    const std::string machineVersion = FakeToolchain::realAnswer("/usr/bin/gcc", "-dumpfullversion");
    Sandbox box;
    // Stored as raw strings, since a string would expand them.
    addToolchain(box, "issue#12", "9.9.1");
    addToolchain(box, "machine", "9.9.2", "x86_64-${HOME}-#{x}");
    // Left out: neither a plain nor a raw string holds it.
    addToolchain(box, "q)\"#", "9.9.3");
    // Left out: PATH cannot hold it; the second would take the machine's own
    // definition's name.
    addToolchain(box, "tc:x", "9.9.5");
    addToolchain(box, "tc:y", machineVersion);
    // Left out: too long to name a directory, and not UTF-8.
    addToolchain(box, "long", "9.9.6", "x86_64-linux-" + std::string(287, 'g'));
    addToolchain(box, "x\xffy", "9.9.8");
    // Left out: a lone gcc of the machine's own version is no toolchain.
    FakeToolchain::BinDir(box.root() / "opt" / "vendor" / "bin").addLink("gcc", "/usr/bin/gcc");
    addToolchain(box, "fine", "9.9.7");

    const RunResult find = runWithOpt(box, {"--find-compilers"});
    ASSERT_EQ(find.status, 0) << find.out << find.err;
    for (const std::string& line : std::vector<std::string>{
             "Tool 'default_gnu_9_9_3_x86_64' left out of the registry: the text of 'toolchain_path' cannot be "
             "written so that it reads back.\n",
             "Toolchain directory '/opt/tc:x/bin' holds ':', so PATH cannot hold it; its compilers are not "
             "registered.\n",
             "Toolchain directory '/opt/tc:y/bin' holds ':', so PATH cannot hold it; its compilers are not "
             "registered.\n",
             "'/opt/long/bin/gcc' answered -dumpmachine with a text of 300 bytes, too long to name a directory; "
             "that compiler is not used.\n",
             "Tool 'default_gnu_9_9_8_x86_64' left out of the registry: the text of 'toolchain_path' is not valid "
             "UTF-8.\n",
             "Updated file '" + box.registryFile().string() + "'.\n"})
        EXPECT_NE(find.out.find(line), std::string::npos) << line << "\nin:\n" << find.out;
    const std::string registry = box.read(box.registryFile());
    EXPECT_NE(definitionIn(registry, "default_gnu_9_9_1_x86_64").find("toolchain_path = R\"(/opt/issue#12/bin)\"\n"),
              std::string::npos)
        << registry;
    EXPECT_NE(definitionIn(registry, "default_gnu_9_9_2_x86_64").find("prefix = R\"(x86_64-${HOME}-#{x})\"\n"),
              std::string::npos)
        << registry;
    EXPECT_NE(definitionIn(registry, "default_gnu_9_9_7_x86_64").find("toolchain_path = \"/opt/fine/bin\"\n"),
              std::string::npos)
        << registry;
    EXPECT_NE(definitionIn(registry, machineName).find("toolchain_path = \"/usr/bin\"\n"), std::string::npos)
        << registry;
    for (const char* name : {"default_gnu_9_9_3_x86_64", "default_gnu_9_9_6_x86_64", "default_gnu_9_9_8_x86_64"})
        EXPECT_EQ(definitionIn(registry, name), "") << registry;
    EXPECT_EQ(registry.find("tc:"), std::string::npos) << registry;

    const std::pair<std::string, std::string> builds[] = {
        {"9.9.1", "default_gnu_9_9_1_x86_64,"}, {"9.9.2", "default_gnu_9_9_2_x86_64,"}, {"", ""}};
    for (const auto& [version, tool] : builds) {
        SCOPED_TRACE(version);
        const RunResult build = buildWith(box, version);
        ASSERT_EQ(build.status, 0) << build.out << build.err;
        EXPECT_EQ(build.out.find("holds ':'"), std::string::npos) << build.out;
        EXPECT_NE(build.out.find("Best registered tool: " + tool), std::string::npos) << build.out;
        const fs::path program = box.work() / "build" / "app";
        ASSERT_TRUE(fs::exists(program)) << build.out;
        EXPECT_EQ(std::system(FakeToolchain::shellQuote(program.string()).c_str()) >> 8, 7);
    }
}

}  // namespace
