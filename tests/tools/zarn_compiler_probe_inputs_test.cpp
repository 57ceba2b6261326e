// What the probes take from the machine that they cannot trust as it is: a
// program the system cannot start itself, and the machine text a compiler
// prints, which becomes a directory level.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "test_support.h"
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

}  // namespace

TEST(CommandCaptureTest, RunsAScriptWithoutAnInterpreterLineThroughTheShell)
{
    TempDir dir;
    fs::create_directories(dir / "a $(touch pwned) b");
    const fs::path script = plainScript(dir / "a $(touch pwned) b" / "-args",
                                        "for a in \"$@\"; do printf '[%s]' \"$a\"; done\nexit 3\n");
    const CaptureResult result = runCommandCapture(script, {"-dumpmachine", "$(touch pwned2)", "two words"});
    EXPECT_EQ(result.output, "[-dumpmachine][$(touch pwned2)][two words]");
    EXPECT_EQ(result.exitStatus, 3);
    EXPECT_FALSE(fs::exists(dir / "pwned"));
    EXPECT_FALSE(fs::exists(fs::path("pwned2")));

    // Also when it is found through PATH.
    plainScript(dir / "-plain-tool", "echo found \"$1\"\n");
    const std::string savedPath = std::getenv("PATH");
    setenv("PATH", ((dir / "missing").string() + ":" + dir.path().string() + ":/usr/bin:/bin").c_str(), 1);
    const CaptureResult bare = runCommandCapture("-plain-tool", {"x"});
    setenv("PATH", savedPath.c_str(), 1);
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
    const CaptureResult binary = runCommandCapture(plainScript(dir / "gcc", header + commands), {"-dumpmachine"});
    EXPECT_EQ(binary.exitStatus, -1);
    EXPECT_EQ(binary.output, "");
    EXPECT_FALSE(fs::exists(marker));

    // A NUL byte after the first line break leaves a text a text.
    const CaptureResult text =
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
