// What the probes take from the machine that they cannot trust as it is: a
// program the system cannot start itself, and the machine text a compiler
// prints, which becomes a directory level.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>

#include "test_support.h"
#include "tools/fake_toolchain.h"
#include "tools/zarn_compiler_probe.h"

namespace fs = std::filesystem;
using namespace Zarn;
using TestSupport::TempDir;

namespace {

// An executable text file without a "#!" line.
fs::path plainScript(const fs::path& file, const std::string& text)
{
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    fs::permissions(file, fs::perms::owner_all);
    return file;
}

// Sets an environment variable for as long as it lives.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name(name)
    {
        if (const char* old = std::getenv(name))
            saved = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (saved)
            setenv(name, saved->c_str(), 1);
        else
            unsetenv(name);
    }

private:
    const char* name;
    std::optional<std::string> saved;
};

}  // namespace

TEST(CommandCaptureTest, RunsAScriptWithoutAnInterpreterLineThroughTheShell)
{
    TempDir dir;
    fs::create_directories(dir / "a $(touch pwned) b");
    const fs::path script = plainScript(dir / "a $(touch pwned) b" / "-args",
                                        "for a in \"$@\"; do printf '[%s]' \"$a\"; done\nexit 3\n");
    const CommandResult result = runCommandCapture(script, {"-dumpmachine", "$(touch pwned2)", "two words"});
    EXPECT_EQ(result.output, "[-dumpmachine][$(touch pwned2)][two words]");
    EXPECT_EQ(result.exitStatus, 3);
    EXPECT_FALSE(fs::exists(dir / "pwned"));
    EXPECT_FALSE(fs::exists(fs::path("pwned2")));

    // Also when it is found through PATH.
    plainScript(dir / "-plain-tool", "echo found \"$1\"\n");
    const ScopedEnv path("PATH", (dir / "missing").string() + ":" + dir.path().string() + ":/usr/bin:/bin");
    const CommandResult bare = runCommandCapture("-plain-tool", {"x"});
    EXPECT_EQ(bare.output, "found x");
    EXPECT_EQ(bare.exitStatus, 0);

    // A file that is not executable stays one that cannot be run.
    const fs::path closed = plainScript(dir / "closed", "echo ran\n");
    fs::permissions(closed, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(runCommandCapture(closed, {}).exitStatus, -1);
}

// A program for another machine also fails with "Exec format error"; its
// bytes are never read as commands, whatever they spell after a line break.
TEST(CommandCaptureTest, NeverRunsAProgramForAnotherMachineThroughTheShell)
{
    TempDir dir;
    const fs::path marker = dir / "ran";
    const std::string commands = "\ntouch " + marker.string() + "; echo x86_64-linux-gnu\n";
    const std::string header("\x7f" "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0", 16);
    const CommandResult binary = runCommandCapture(plainScript(dir / "gcc", header + commands), {"-dumpmachine"});
    EXPECT_EQ(binary.exitStatus, -1);
    EXPECT_EQ(binary.output, "");
    EXPECT_FALSE(fs::exists(marker));

    // A NUL byte after the first line break leaves a text a text.
    const CommandResult text =
        runCommandCapture(plainScript(dir / "cc", "echo x86_64-linux-gnu\nexit 0\n" + std::string(1, '\0')), {});
    EXPECT_EQ(text.exitStatus, 0);
    EXPECT_EQ(text.output, "x86_64-linux-gnu");
}

TEST(PlainNameTest, AcceptsOnlyTextsThatAreOneDirectoryLevel)
{
    const std::vector<std::pair<std::string, bool>> cases = {
        {"x86_64-linux-gnu", true}, {"arm-none-eabi", true}, {"...", true}, {"a b", true}, {".hidden", true},
        {"", false}, {".", false}, {"..", false}, {"a/b", false}, {"/", false}, {"../x", false},
        {"a\nb", false}, {"a\tb", false}, {std::string("a\0b", 3), false}, {"a\x7f", false}, {"\x1b[31m", false},
    };
    for (const auto& [text, plain] : cases)
        EXPECT_EQ(isPlainName(text), plain) << "'" << text << "'";
}

TEST(ProbeCompilerDirectoryTest, LeavesOutACompilerWhoseMachineIsNoPlainName)
{
    TempDir dir;
    FakeToolchain::BinDir bin(dir / "bin");
    bin.addGcc("gcc", "x86_64-linux-gnu", "12.2.0");
    bin.addGcc("up-gcc", "../../../elsewhere/ESCAPED-linux-gnu", "12.2.0");
    bin.addGcc("bell-gcc", "x86\a64", "12.2.0");
    bin.addGcc("dot-gcc", ".", "12.2.0");
    std::vector<CompilerProbe> probes;
    const std::string log = TestSupport::captureLog(6, [&] { probes = probeCompilerDirectory("gcc", bin.path()); });
    ASSERT_EQ(probes.size(), 1u);
    EXPECT_EQ(probes[0].exePath, bin / "gcc");
    const std::string tail = "which is not a plain file name; that compiler is not used.\n";
    for (const std::string& line : {"'" + (bin / "up-gcc").string() +
                                        "' answered -dumpmachine with '../../../elsewhere/ESCAPED-linux-gnu', " + tail,
                                    "'" + (bin / "bell-gcc").string() + "' answered -dumpmachine with 'x86\\x0764', " +
                                        tail,
                                    "'" + (bin / "dot-gcc").string() + "' answered -dumpmachine with '.', " + tail})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\nin:\n" << log;
}
