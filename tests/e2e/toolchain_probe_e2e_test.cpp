// Toolchain definitions whose compilers are found by probing: wrappers
// without a "#!" line, relative toolchain paths, directories PATH cannot
// hold, machine texts that are no directory name, and several definitions
// over one directory.
#include <sched.h>
#include <sys/mount.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "e2e/e2e_harness.h"
#include "tools/fake_c3c.h"
#include "tools/fake_toolchain.h"

namespace {

using E2e::Sandbox;
namespace fs = std::filesystem;

// A registry of definitions, one per (name, toolchain_path); a name starting
// with "c3" is a "c3c" one, any other a "gnu-gcc" one.
std::string registryOf(const std::vector<std::pair<std::string, std::string>>& definitions)
{
    std::string text = "tools {\n";
    for (const auto& [name, path] : definitions)
        text += "  " + name + " {\n    tool_type = \"" + (name.rfind("c3", 0) == 0 ? "c3c" : "gnu-gcc") +
                "\"\n    toolchain_path = \"" + path + "\"\n  }\n";
    return text + "}\n";
}

// A C program "app" and, when asked, a C3 library "core" built with it.
void writeProject(const Sandbox& box, bool withC3 = false)
{
    box.write("zarn.txt", std::string("unit demo\n") + (withC3 ? "all: app core {\n  NO_TOOL\n}\n" : "") +
                              "app: {\n  C_FILES = P\"(src/main.c)\"\n}\n" +
                              (withC3 ? "core: {\n  STATIC\n  C3_FILES = P\"(src/core.c3)\"\n}\n" : ""));
    box.write("src/main.c", "int main(void) { return 0; }\n");
    box.write("src/core.c3", "module core;\n");
}

// Drops the "#!" line of a script: only a shell knows how to run the rest.
void dropInterpreterLine(const fs::path& script)
{
    std::ifstream in(script, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(text.rfind("#!", 0), 0u);
    std::ofstream(script, std::ios::binary | std::ios::trunc) << text.substr(text.find('\n') + 1);
}

std::string everything(const E2e::RunResult& run)
{
    return run.out + run.err;
}

// A machine text of exactly that length.
std::string machineOfLength(size_t length)
{
    const std::string head = "x86_64-linux-";
    return head + std::string(length - head.size(), 'g');
}

TEST(ToolchainProbeE2e, ScriptsWithoutAnInterpreterLineInRelativeDirectoriesAreFoundAndRun)
{
    Sandbox box;
    FakeToolchain::BinDir bin(box.work() / "tc" / "bin");
    bin.addScript("gcc", "case \"$1\" in -dumpmachine) echo x86_64-linux-gnu; exit 0;; -dumpfullversion) echo "
                         "12.2.0; exit 0;; esac\nexec /usr/bin/gcc \"$@\"\n");
    dropInterpreterLine(bin / "gcc");
    bin.addBinutils("", false);
    const fs::path c3c = FakeC3c::write(box.work() / "kit" / "bin" / "c3c");
    dropInterpreterLine(c3c);
    box.write(box.registryFile(), registryOf({{"local", "tc"}, {"c3", "kit"}}));
    writeProject(box, true);
    const auto run = box.run({});
    ASSERT_EQ(run.status, 0) << everything(run);
    EXPECT_NE(run.out.find("\"" + (bin / "gcc").string() + "\""), std::string::npos) << run.out;
    EXPECT_TRUE(fs::exists(box.work() / "out" / "x86_64-linux-gnu" / "demo" / "app" / "app"));
    EXPECT_EQ(FakeC3c::buildCalls(c3c).size(), 1u);
    EXPECT_TRUE(fs::exists(box.work() / "out" / "c3c-0.6.1" / "demo" / "core" / "core.a"));
}

TEST(ToolchainProbeE2e, ToolchainDirectoriesHoldingAColonAreRefused)
{
    Sandbox box;
    const fs::path toolchain = box.root() / "tc:x";
    FakeToolchain::BinDir bin(toolchain / "bin");
    bin.addGcc("gcc");
    bin.addBinutils("");
    // What PATH would search first if the directory were split at ":".
    const fs::path marker = box.root() / "stray-ran";
    FakeToolchain::BinDir(box.root() / "tc")
        .addScript("as", "echo ran >> " + FakeToolchain::shellQuote(marker.string()) + "\nexec /usr/bin/as \"$@\"\n");
    const fs::path kit = box.root() / "c3:kit";
    const fs::path c3c = FakeC3c::write(kit / "bin" / "c3c");
    box.write(box.registryFile(), registryOf({{"colon_kit", toolchain.string()}, {"c3", kit.string()}}));
    writeProject(box, true);
    const auto run = box.run({});
    EXPECT_NE(run.status, 0);
    EXPECT_NE(everything(run).find("Tool 'colon_kit': the toolchain directory '" + toolchain.string() +
                                   "' holds ':', so PATH cannot hold it; the tool is not used."),
              std::string::npos)
        << everything(run);
    EXPECT_NE(everything(run).find("Tool 'c3': the toolchain directory '" + kit.string() + "' holds ':'"),
              std::string::npos)
        << everything(run);
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_TRUE(FakeC3c::buildCalls(c3c).empty());
    EXPECT_FALSE(fs::exists(box.work() / "out"));
}

// The machine's first three parts make one level of the output directory: a
// text that is no plain name, or too long for one, refuses its compiler.
// An empty text is no refusal: that program is no compiler.
TEST(ToolchainProbeE2e, AMachineTextMustNameOneDirectoryLevel)
{
    const std::vector<std::string> odd = {
        "../../elsewhere/ESCAPED-linux-gnu", "..", ".", "x86_64/linux-gnu", "x86_64\x01-linux-gnu",
    };
    Sandbox box;
    std::vector<std::pair<std::string, std::string>> definitions;
    auto addToolchain = [&](const std::string& machine) {
        const fs::path dir = box.root() / ("tc" + std::to_string(definitions.size()));
        FakeToolchain::BinDir bin(dir / "bin");
        bin.addGcc("gcc", machine, "12.2.0");
        bin.addBinutils("", false);
        definitions.emplace_back("kit" + std::to_string(definitions.size()), dir.string());
        return bin / "gcc";
    };
    std::vector<std::string> refusals;
    for (const std::string& machine : odd)
        refusals.push_back("'" + addToolchain(machine).string() + "' answered -dumpmachine with '");
    // Up to 255 bytes for "machine" builds, beyond that it is refused cleanly.
    for (size_t length : {254, 300})
        refusals.push_back("'" + addToolchain(machineOfLength(length)).string() +
                           "' answered -dumpmachine with a text of " + std::to_string(length) +
                           " bytes, too long to name a directory; that compiler is not used.\n");
    addToolchain(machineOfLength(253));
    // Many programs that are no compiler answer with nothing: passed over without a word.
    const fs::path silent = addToolchain("");
    box.write(box.registryFile(), registryOf(definitions));
    writeProject(box);
    const auto run = box.run({});
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out.find("filesystem error"), std::string::npos) << run.out;
    for (const std::string& line : refusals)
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\nin:\n" << run.out;
    size_t plainNameRefusals = 0;
    for (const std::string& line : E2e::lines(run.out))
        plainNameRefusals += line.find("which is not a plain file name; that compiler is not used.") != std::string::npos;
    EXPECT_EQ(plainNameRefusals, odd.size()) << run.out;
    EXPECT_EQ(run.out.find(silent.string()), std::string::npos) << run.out;
    EXPECT_TRUE(fs::exists(box.work() / "out" / machineOfLength(253) / "demo" / "app" / "app")) << run.out;
    // Nothing is built anywhere else.
    EXPECT_EQ(std::distance(fs::directory_iterator(box.work() / "out"), fs::directory_iterator()), 1);
    EXPECT_FALSE(fs::exists(box.root() / "elsewhere"));
    EXPECT_FALSE(fs::exists(box.work() / "demo"));
}

// Compilers gcc-11, gcc-12 and gcc-13 in the directory, each noting every
// question it is asked in "<name>.questions" beside it.
void addQuestionLoggingCompilers(FakeToolchain::BinDir& bin)
{
    for (const std::string version : {"11", "12", "13"}) {
        const fs::path log = bin.path() / ("gcc-" + version + ".questions");
        bin.addScript("gcc-" + version,
                      "printf '%s\\n' \"$1\" >> " + FakeToolchain::shellQuote(log.string()) +
                          "\ncase \"$1\" in -dumpmachine) echo x86_64-linux-gnu; exit 0;; -dumpfullversion) echo " +
                          version + ".1.0; exit 0;; esac\nexec /usr/bin/gcc \"$@\"\n");
    }
    bin.addBinutils("");
}

// Each compiler of addQuestionLoggingCompilers was asked each question once.
void expectEachCompilerAskedOnce(const Sandbox& box, const fs::path& bin)
{
    for (const std::string version : {"11", "12", "13"}) {
        std::vector<std::string> asked = E2e::lines(box.read(bin / ("gcc-" + version + ".questions")));
        std::sort(asked.begin(), asked.end());
        EXPECT_EQ(asked, (std::vector<std::string>{"-dumpfullversion", "-dumpmachine"})) << version;
    }
}

TEST(ToolchainProbeE2e, DefinitionsOverOneDirectoryShareItsProbe)
{
    Sandbox box;
    FakeToolchain::BinDir bin(box.root() / "tc" / "bin");
    addQuestionLoggingCompilers(bin);
    const std::string path = (box.root() / "tc").string();
    fs::create_directory_symlink(box.root() / "tc", box.work() / "link");
    // The same directory spelled in every way a definition may write it;
    // relative ones are taken from the work directory.
    box.write(box.registryFile(),
              registryOf({{"gcc_a", path},
                          {"gcc_b", path},
                          {"gcc_c", path},
                          {"gcc_d", path + "/bin"},
                          {"gcc_e", path + "/"},
                          {"gcc_f", path + "//"},
                          {"gcc_g", path + "/."},
                          {"gcc_0_link", "link"},
                          {"gcc_i", "../work/../tc"},
                          {"gcc_j", path + "/bin/"}}));
    writeProject(box);
    const auto run = box.run({"-l", "1"});
    ASSERT_EQ(run.status, 0) << everything(run);
    expectEachCompilerAskedOnce(box, bin.path());
    // The shared probe keeps each definition's own spelling: the one chosen
    // (the first name of equal scores) runs its compiler through the link.
    const auto built = box.run({"-v", "3"});
    ASSERT_EQ(built.status, 0) << everything(built);
    EXPECT_NE(built.out.find("Best registered tool: gcc_0_link, "), std::string::npos) << built.out;
    EXPECT_NE(built.out.find("\"" + (box.work() / "link" / "bin" / "gcc-13").string() + "\" "), std::string::npos)
        << built.out;
}

// A bind mount of a toolchain directory is that directory: its compilers are
// asked once, though no spelling of one path leads to the other.
TEST(ToolchainProbeE2e, ABindMountOfADirectorySharesItsProbe)
{
    // A mount namespace of this test's own keeps the mount from everyone else.
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        GTEST_SKIP() << "no mount namespace here: " << std::strerror(errno);
    Sandbox box;
    FakeToolchain::BinDir bin(box.root() / "tc" / "bin");
    addQuestionLoggingCompilers(bin);
    const fs::path mirror = box.root() / "mirror";
    fs::create_directory(mirror);
    ASSERT_EQ(::mount((box.root() / "tc").c_str(), mirror.c_str(), nullptr, MS_BIND, nullptr), 0)
        << std::strerror(errno);
    struct Unmount {
        fs::path point;
        ~Unmount() { ::umount2(point.c_str(), MNT_DETACH); }
    } unmount{mirror};
    box.write(box.registryFile(), registryOf({{"gcc_a", (box.root() / "tc").string()}, {"gcc_b", mirror.string()}}));
    writeProject(box);
    const auto run = box.run({"-l", "1"});
    ASSERT_EQ(run.status, 0) << everything(run);
    expectEachCompilerAskedOnce(box, bin.path());
}

// A project's own toolchain written as a path is relative to the project
// file, wherever zarn is started.
TEST(ToolchainProbeE2e, AProjectToolchainWrittenAsAPathIsFoundFromASubdirectory)
{
    Sandbox box;
    FakeToolchain::BinDir bin(box.work() / "tc" / "bin");
    bin.addGcc("gcc");
    bin.addBinutils("", false);
    box.write(".zarn_project.txt", "name demo\ntools {\n  own {\n    tool_type = \"gnu-gcc\"\n"
                                   "    toolchain_path = P\"(tc)\"\n  }\n}\nunits {\n  demo { \"src/zarn.txt\" }\n}\n");
    box.write("src/zarn.txt", "unit demo\napp: {\n  C_FILES = P\"(main.c)\"\n}\n");
    box.write("src/main.c", "int main(void) { return 0; }\n");
    const auto run = box.run({"-v", "3"}, "src");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("Best registered tool: demo/own, score: "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"" + (bin / "gcc").string() + "\""), std::string::npos) << run.out;
}

}  // namespace
