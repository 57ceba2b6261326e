// Toolchain definitions whose compilers are found by probing: wrappers
// without a "#!" line, directories PATH cannot hold, machine texts that are
// no directory name, relative toolchain paths, and several definitions over
// one directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "e2e/e2e_harness.h"
#include "tools/fake_c3c.h"
#include "tools/fake_toolchain.h"

namespace {

using E2e::Sandbox;
namespace fs = std::filesystem;

const std::string cProgram = R"z(unit demo
app: {
  C_FILES = P"(src/main.c)"
}
)z";

const std::string c3Library = R"z(unit demo
core: {
  STATIC
  C3_FILES = P"(src/core.c3)"
}
)z";

// A registry of "gnu-gcc" definitions, one per (name, toolchain_path).
std::string gnuRegistry(const std::vector<std::pair<std::string, std::string>>& definitions)
{
    std::string text = "tools {\n";
    for (const auto& [name, path] : definitions)
        text += "  " + name + " {\n    tool_type = \"gnu-gcc\"\n    toolchain_path = \"" + path + "\"\n  }\n";
    return text + "}\n";
}

std::string c3Registry(const fs::path& path)
{
    return "tools {\n  c3 {\n    tool_type = \"c3c\"\n    toolchain_path = \"" + path.string() + "\"\n  }\n}\n";
}

void writeCProject(const Sandbox& box)
{
    box.write("zarn.txt", cProgram);
    box.write("src/main.c", "#include <stdio.h>\nint main(void) { puts(\"built\"); return 0; }\n");
}

// Drops the "#!" line of a script, leaving an executable text file that only
// a shell knows how to run.
void dropInterpreterLine(const fs::path& script)
{
    std::string text;
    {
        std::ifstream in(script, std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ASSERT_EQ(text.rfind("#!", 0), 0u);
    std::ofstream(script, std::ios::binary | std::ios::trunc) << text.substr(text.find('\n') + 1);
}

std::string everything(const E2e::RunResult& run)
{
    return run.out + run.err;
}

bool anyEntryNamed(const fs::path& root, const std::string& name)
{
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
        if (it->path().filename() == name)
            return true;
    }
    return false;
}

size_t countLines(const std::string& text, const std::string& line)
{
    size_t count = 0;
    for (const std::string& each : E2e::lines(text))
        count += each == line ? 1 : 0;
    return count;
}

TEST(ToolchainProbeE2e, AGnuCompilerScriptWithoutAnInterpreterLineIsFoundAndRun)
{
    Sandbox box;
    FakeToolchain::BinDir bin(box.root() / "tc" / "bin");
    bin.addScript("gcc", "case \"$1\" in -dumpmachine) echo x86_64-linux-gnu; exit 0;; -dumpfullversion) echo "
                         "12.2.0; exit 0;; esac\nexec /usr/bin/gcc \"$@\"\n");
    dropInterpreterLine(bin / "gcc");
    bin.addBinutils("", false);
    box.write(box.registryFile(), gnuRegistry({{"wrapped", (box.root() / "tc").string()}}));
    writeCProject(box);
    const auto run = box.run({});
    ASSERT_EQ(run.status, 0) << everything(run);
    EXPECT_TRUE(fs::exists(box.work() / "out" / "x86_64-linux-gnu" / "demo" / "app" / "app")) << everything(run);
}

TEST(ToolchainProbeE2e, AC3CompilerScriptWithoutAnInterpreterLineIsFoundAndRun)
{
    Sandbox box;
    const fs::path compiler = FakeC3c::write(box.root() / "kit" / "bin" / "c3c");
    dropInterpreterLine(compiler);
    box.write(box.registryFile(), c3Registry(box.root() / "kit"));
    box.write("zarn.txt", c3Library);
    box.write("src/core.c3", "module core;\n");
    const auto run = box.run({});
    ASSERT_EQ(run.status, 0) << everything(run);
    EXPECT_TRUE(fs::exists(box.work() / "out" / "c3c-0.6.1" / "demo" / "core" / "core.a")) << everything(run);
}

TEST(ToolchainProbeE2e, AGnuToolchainDirectoryHoldingAColonIsRefused)
{
    Sandbox box;
    const fs::path toolchain = box.root() / "tc:x";
    FakeToolchain::BinDir bin(toolchain / "bin");
    bin.addGcc("gcc");
    bin.addBinutils("");
    // What PATH would search first if the directory were split at ":".
    const fs::path marker = box.root() / "stray-ran";
    FakeToolchain::BinDir stray(box.root() / "tc");
    stray.addScript("as", "echo ran >> " + FakeToolchain::shellQuote(marker.string()) + "\nexec /usr/bin/as \"$@\"\n");
    box.write(box.registryFile(), gnuRegistry({{"colon_kit", toolchain.string()}}));
    writeCProject(box);
    const auto run = box.run({});
    EXPECT_NE(run.status, 0);
    EXPECT_NE(everything(run).find("Tool 'colon_kit': the toolchain directory '" + toolchain.string() +
                                   "' holds ':', so PATH cannot hold it; the tool is not used."),
              std::string::npos)
        << everything(run);
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_FALSE(fs::exists(box.work() / "out"));
}

TEST(ToolchainProbeE2e, AC3CompilerDirectoryHoldingAColonIsRefused)
{
    Sandbox box;
    const fs::path kit = box.root() / "c3:kit";
    const fs::path compiler = FakeC3c::write(kit / "bin" / "c3c");
    box.write(box.registryFile(), c3Registry(kit));
    box.write("zarn.txt", c3Library);
    box.write("src/core.c3", "module core;\n");
    const auto run = box.run({});
    EXPECT_NE(run.status, 0);
    EXPECT_NE(everything(run).find("Tool 'c3': the toolchain directory '" + kit.string() + "' holds ':'"),
              std::string::npos)
        << everything(run);
    EXPECT_TRUE(FakeC3c::buildCalls(compiler).empty());
    EXPECT_FALSE(fs::exists(box.work() / "out"));
}

TEST(ToolchainProbeE2e, AMachineTextThatIsNoPlainNameRefusesTheCompiler)
{
    const std::vector<std::string> machines = {
        "../../elsewhere/ESCAPED-linux-gnu", "..", ".", "x86_64/linux-gnu", "x86_64\x01-linux-gnu",
    };
    for (const std::string& machine : machines) {
        Sandbox box;
        FakeToolchain::BinDir bin(box.root() / "tc" / "bin");
        bin.addGcc("gcc", machine);
        bin.addBinutils("");
        box.write(box.registryFile(), gnuRegistry({{"odd", (box.root() / "tc").string()}}));
        writeCProject(box);
        const auto run = box.run({});
        EXPECT_NE(run.status, 0) << machine;
        EXPECT_NE(everything(run).find("'" + (bin / "gcc").string() + "' answered -dumpmachine with '"),
                  std::string::npos)
            << machine << "\n" << everything(run);
        EXPECT_NE(everything(run).find("which is not a plain file name; that compiler is not used."),
                  std::string::npos)
            << machine;
        EXPECT_FALSE(fs::exists(box.work() / "out")) << machine;
        EXPECT_FALSE(fs::exists(box.root() / "elsewhere")) << machine;
        EXPECT_FALSE(fs::exists(box.work() / "demo")) << machine;
        EXPECT_FALSE(anyEntryNamed(box.root(), "app")) << machine;
    }
}

TEST(ToolchainProbeE2e, ARelativeToolchainPathRunsTheCompilerItFound)
{
    Sandbox box;
    FakeToolchain::BinDir bin(box.work() / "tc" / "bin");
    bin.addGcc("gcc");
    bin.addBinutils("");
    box.write(box.registryFile(), gnuRegistry({{"local", "tc"}}));
    writeCProject(box);
    const auto run = box.run({});
    ASSERT_EQ(run.status, 0) << everything(run);
    EXPECT_NE(run.out.find("\"" + (bin / "gcc").string() + "\""), std::string::npos) << run.out;
    EXPECT_TRUE(fs::exists(box.work() / "out" / "x86_64-linux-gnu" / "demo" / "app" / "app"));
}

TEST(ToolchainProbeE2e, ARelativeC3ToolchainPathRunsTheCompilerItFound)
{
    Sandbox box;
    const fs::path compiler = FakeC3c::write(box.work() / "kit" / "bin" / "c3c");
    box.write(box.registryFile(), c3Registry("kit"));
    box.write("zarn.txt", c3Library);
    box.write("src/core.c3", "module core;\n");
    const auto run = box.run({});
    ASSERT_EQ(run.status, 0) << everything(run);
    EXPECT_EQ(FakeC3c::buildCalls(compiler).size(), 1u);
    EXPECT_TRUE(fs::exists(box.work() / "out" / "c3c-0.6.1" / "demo" / "core" / "core.a"));
}

TEST(ToolchainProbeE2e, DefinitionsOverOneDirectoryShareItsProbe)
{
    Sandbox box;
    FakeToolchain::BinDir bin(box.root() / "tc" / "bin");
    // Each compiler notes every question it is asked.
    for (const std::string version : {"11", "12", "13"}) {
        const fs::path log = bin / ("gcc-" + version + ".questions");
        bin.addScript("gcc-" + version,
                      "printf '%s\\n' \"$1\" >> " + FakeToolchain::shellQuote(log.string()) +
                          "\ncase \"$1\" in -dumpmachine) echo x86_64-linux-gnu; exit 0;; -dumpfullversion) echo " +
                          version + ".1.0; exit 0;; esac\nexec /usr/bin/gcc \"$@\"\n");
    }
    bin.addBinutils("");
    const std::string path = (box.root() / "tc").string();
    box.write(box.registryFile(),
              gnuRegistry({{"gcc_a", path}, {"gcc_b", path}, {"gcc_c", path}, {"gcc_d", path + "/bin"}}));
    writeCProject(box);
    const auto run = box.run({"-l", "1"});
    ASSERT_EQ(run.status, 0) << everything(run);
    for (const std::string version : {"11", "12", "13"}) {
        const std::string questions = box.read(bin / ("gcc-" + version + ".questions"));
        EXPECT_EQ(countLines(questions, "-dumpmachine"), 1u) << version << ":\n" << questions;
        EXPECT_EQ(countLines(questions, "-dumpfullversion"), 1u) << version << ":\n" << questions;
    }
}

}  // namespace
