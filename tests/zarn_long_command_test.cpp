// Commands longer than the system takes as one argument, and commands that
// cannot be started at all.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "test_support.h"
#include "zarn_command_runner.h"

using namespace TestSupport;

namespace {

// Runs with TMPDIR set to the directory, so that the temporary files of
// long commands can be counted.
struct TmpdirOverride {
    explicit TmpdirOverride(const std::filesystem::path& dir)
    {
        if (const char* old = std::getenv("TMPDIR"))
            saved = old;
        hadValue = std::getenv("TMPDIR") != nullptr;
        setenv("TMPDIR", dir.c_str(), 1);
    }
    ~TmpdirOverride()
    {
        if (hadValue)
            setenv("TMPDIR", saved.c_str(), 1);
        else
            unsetenv("TMPDIR");
    }
    std::string saved;
    bool hadValue = false;
};

void writeFile(const std::filesystem::path& file, const std::string& text)
{
    std::ofstream(file, std::ios::binary) << text;
}

std::size_t entryCount(const std::filesystem::path& dir)
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir))
        ++count;
    return count;
}

// A long command behaves as a short one: the same $0, no positional
// parameters, the working directory, standard input and exit status; its
// temporary file is gone afterwards.
TEST(LongCommand, RunsLikeAShortOneAndLeavesNothingBehind)
{
    TempDir work;
    TempDir scratch;
    TmpdirOverride tmpdir(scratch.path());
    writeFile(work / "in.txt", "from stdin\n");
    const std::string padding = "#" + std::string(Zarn::longestShellArgument + 10, 'x') + "\n";
    const std::string script = "echo \"$0 $#\" > out.txt; pwd >> out.txt; cat >> out.txt; exit 7\n";

    for (const bool isLong : {false, true}) {
        SCOPED_TRACE(isLong ? "long" : "short");
        std::filesystem::remove(work / "out.txt");
        const int savedStdin = dup(0);
        const int in = open((work / "in.txt").c_str(), O_RDONLY);
        ASSERT_GE(in, 0);
        dup2(in, 0);
        close(in);
        const Zarn::CommandResult result =
            Zarn::runCommand(isLong ? padding + script : script, work.path(), {});
        dup2(savedStdin, 0);
        close(savedStdin);
        EXPECT_EQ(result.status, 7);
        EXPECT_EQ(result.startFailure, "");
        EXPECT_EQ(readFile(work / "out.txt"), "sh 0\n" + work.path().string() + "\nfrom stdin\n");
        EXPECT_EQ(entryCount(scratch.path()), 0u);
    }
}

// A TMPDIR that cannot take the command's file leaves it to /tmp: the
// command runs, as the compilers it starts do with such a TMPDIR.
TEST(LongCommand, RunsWhereTmpdirCannotTakeItsFile)
{
    TempDir work;
    writeFile(work / "file", "");
    const std::string command = "#" + std::string(Zarn::longestShellArgument + 10, 'x') + "\necho ran > out.txt\n";
    for (const std::filesystem::path& tmpdir : {work / "missing", work / "file"}) {
        SCOPED_TRACE(tmpdir.string());
        std::filesystem::remove(work / "out.txt");
        TmpdirOverride override(tmpdir);
        const Zarn::CommandResult result = Zarn::runCommand(command, work.path(), {});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.startFailure, "");
        EXPECT_EQ(readFile(work / "out.txt"), "ran\n");
    }
}

// A shell that cannot start says why: the directory's fault names it.
TEST(LongCommand, AStartFailureSaysWhy)
{
    TempDir work;
    writeFile(work / "file", "");
    struct Case {
        std::filesystem::path directory;
        int status;
        std::string reason;
    };
    const Case cases[] = {
        {work / "missing", ENOENT, "working directory '" + (work / "missing").string() + "': No such file or directory"},
        {work / "file", ENOTDIR, "working directory '" + (work / "file").string() + "': Not a directory"},
    };
    for (const Case& c : cases) {
        const Zarn::CommandResult result = Zarn::runCommand("true", c.directory, {});
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.startFailure, c.reason);
    }
    EXPECT_EQ(Zarn::runCommand("exit 2", work.path(), {}).startFailure, "");
}

}  // namespace
