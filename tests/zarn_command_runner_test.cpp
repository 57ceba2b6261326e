#include "zarn_command_runner.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <optional>

#include "build_test_support.h"
#include "zarn_recipe.h"

using namespace BuildTestSupport;

namespace {

struct SearchPathCase {
    std::vector<std::filesystem::path> prefixes;
    const char* current;
    std::optional<std::string> expected;
};

TEST(ComposeSearchPath, JoinsNonEmptyPrefixesInFront)
{
    const std::vector<SearchPathCase> cases = {
        {{}, "/usr/bin", std::nullopt},                       // no prefixes: untouched
        {{"/a", "/b"}, nullptr, std::string("/a:/b")},         // PATH unset
        {{"/a", "/b"}, "", std::string("/a:/b")},              // PATH empty
        {{"/a", "", "/b"}, "/usr/bin", std::string("/a:/b:/usr/bin")},
        {{"", ""}, "/usr/bin", std::string("/usr/bin")},       // only empty prefixes
        {{"", ""}, nullptr, std::nullopt},
    };
    for (const SearchPathCase& c : cases)
        EXPECT_EQ(Zarn::composeSearchPath(c.prefixes, c.current), c.expected)
            << (c.current ? c.current : "(unset)");
}

TEST(RunShellCommand, ReportsExitCodeSignalAndMissingDirectory)
{
    TempDir dir;
    EXPECT_EQ(Zarn::runShellCommand("exit 0", {}, {}), 0);
    EXPECT_EQ(Zarn::runShellCommand("exit 3", {}, {}), 3);
    EXPECT_EQ(Zarn::runShellCommand("kill -9 $$", {}, {}), -1);
    EXPECT_EQ(Zarn::runShellCommand("exit 0", dir / "missing", {}), ENOENT);
}

TEST(RunShellCommand, RunsInTheWorkingDirectory)
{
    TempDir dir;
    ASSERT_EQ(Zarn::runShellCommand("pwd > where.txt", dir.path(), {}), 0);
    EXPECT_EQ(readFile(dir / "where.txt"), dir.path().string() + "\n");
}

TEST(RunShellCommand, PutsPrefixesBeforeAnUnsetPath)
{
    TempDir dir;
    const char* saved = std::getenv("PATH");
    const std::string savedPath = saved ? saved : "";
    unsetenv("PATH");
    const int status = Zarn::runShellCommand("echo \"$PATH\" > path.txt", dir.path(), {"/a", "/b"});
    if (saved)
        setenv("PATH", savedPath.c_str(), 1);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(readFile(dir / "path.txt"), "/a:/b\n");
}

// With standard output in a file, the log's buffered lines must come out
// before the command's own output.
TEST(RunJobRecipes, LogLinesPrecedeTheCommandsOutput)
{
    const std::string out = captureOutput(LogLevel::Info, [] {
        EXPECT_EQ(Zarn::runJobRecipes({Zarn::Recipe{"echo first", {}, 0, {}}, Zarn::Recipe{"echo second", {}, 0, {}}}),
                  0);
    });
    EXPECT_EQ(out, "echo first\nfirst\necho second\nsecond\n");
}

TEST(RunJobRecipes, StopsAtTheFirstFailure)
{
    TempDir dir;
    std::string out = captureOutput(LogLevel::Info, [&] {
        EXPECT_EQ(Zarn::runJobRecipes({Zarn::Recipe{"exit 4", dir.path(), 0, {}},
                                       Zarn::Recipe{"touch later", dir.path(), 0, {}}}),
                  4);
    });
    EXPECT_EQ(out, "exit 4\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "later"));
}

TEST(RunJobRecipes, PrintsButDoesNotRunTheNotRunKind)
{
    TempDir dir;
    std::string out = captureOutput(LogLevel::Info, [&] {
        EXPECT_EQ(Zarn::runJobRecipes({Zarn::Recipe{"touch skipped", dir.path(), 1, {}},
                                       Zarn::Recipe{"touch later", dir.path(), 0, {}}}),
                  Zarn::notRunRecipeStatus);
    });
    EXPECT_EQ(out, "touch skipped\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "skipped"));
    EXPECT_FALSE(std::filesystem::exists(dir / "later"));
}

}  // namespace
