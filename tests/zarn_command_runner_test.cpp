#include "zarn_command_runner.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <optional>

#include "test_support.h"
#include "zarn_recipe.h"

using namespace TestSupport;

namespace {

TEST(ComposeSearchPath, JoinsNonEmptyPrefixesInFront)
{
    struct Case {
        std::vector<std::filesystem::path> prefixes;
        const char* current;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {{}, "/usr/bin", std::nullopt},
        {{"/a", "/b"}, "", std::string("/a:/b")},
        {{"/a", "", "/b"}, "/usr/bin", std::string("/a:/b:/usr/bin")},
        {{"", ""}, nullptr, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Zarn::composeSearchPath(c.prefixes, c.current), c.expected) << (c.current ? c.current : "(unset)");
}

TEST(RunShellCommand, ReportsExitCodeSignalAndMissingDirectory)
{
    TempDir dir;
    EXPECT_EQ(Zarn::runShellCommand("exit 0", {}, {}), 0);
    EXPECT_EQ(Zarn::runShellCommand("exit 3", {}, {}), 3);
    EXPECT_EQ(Zarn::runShellCommand("kill -9 $$", {}, {}), -1);
    EXPECT_EQ(Zarn::runShellCommand("exit 0", dir / "missing", {}), ENOENT);
}

// The child gets the directory and a PATH made before it starts.
TEST(RunShellCommand, RunsInTheDirectoryWithThePrefixesBeforeAnUnsetPath)
{
    TempDir dir;
    const char* saved = std::getenv("PATH");
    const std::string savedPath = saved ? saved : "";
    unsetenv("PATH");
    const int status = Zarn::runShellCommand("pwd > out.txt; echo \"$PATH\" >> out.txt", dir.path(), {"/a", "/b"});
    if (saved)
        setenv("PATH", savedPath.c_str(), 1);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(readFile(dir / "out.txt"), dir.path().string() + "\n/a:/b\n");
}

// With standard output in a file, the log's buffered lines must come out
// before the command's own output.
TEST(RunJobRecipes, LogLinesPrecedeTheCommandsOutput)
{
    const std::string out = captureLog(LogLevel::Info, [] {
        EXPECT_EQ(Zarn::runJobRecipes({Zarn::Recipe{"echo first", {}, 0, {}}, Zarn::Recipe{"echo second", {}, 0, {}}}).status,
                  0);
    });
    EXPECT_EQ(out, "echo first\nfirst\necho second\nsecond\n");
}

// A failure, or a recipe of the not-run kind, is printed and ends the job.
TEST(RunJobRecipes, StopsAtAFailureOrANotRunRecipe)
{
    struct Case {
        const char* command;
        int kind;
        int status;
    };
    for (const Case& c : {Case{"touch first; exit 4", 0, 4}, Case{"touch first", 1, Zarn::notRunRecipeStatus}}) {
        TempDir dir;
        std::string out = captureLog(LogLevel::Info, [&] {
            EXPECT_EQ(Zarn::runJobRecipes({Zarn::Recipe{c.command, dir.path(), c.kind, {}},
                                           Zarn::Recipe{"touch later", dir.path(), 0, {}}}).status,
                      c.status);
        });
        EXPECT_EQ(out, std::string(c.command) + "\n");
        EXPECT_EQ(std::filesystem::exists(dir / "first"), c.kind == 0);
        EXPECT_FALSE(std::filesystem::exists(dir / "later"));
    }
}

}  // namespace
