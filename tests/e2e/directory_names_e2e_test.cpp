// Projects in directories whose names the build language cannot write as a
// literal: bytes that are not UTF-8, or `)"`. The cache still keeps their
// work, -o and the registry never write text that does not read back.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/e2e_harness.h"

namespace {

using E2e::Sandbox;
namespace fs = std::filesystem;

// Copies its input into its output, both path values, quoted for the shell.
std::string copyUnit(const std::string& source)
{
    return "unit demo\ncopy: {\n  src = P\"(" + source +
           ")\"\n  ^dst = P\"(out.txt)\"\n  cmdline = \"cp '${src}' '${dst}'\"\n}\n";
}

TEST(DirectoryNamesE2e, ANoOpStaysANoOpWhateverTheDirectoriesAreNamed)
{
    struct Case {
        std::string project;  // the project directory
        std::string input;    // the input file, below the sandbox
        std::string source;   // how the unit names it
    };
    const Case cases[] = {
        {"x\377\376y", "x\377\376y/in.txt", "in.txt"},
        {"a)\"b", "a)\"b/in.txt", "in.txt"},
        {"p", "o)\"x/in.txt", "../o*/in.txt"},  // outside the project
    };
    for (const Case& c : cases) {
        Sandbox box;
        box.write(c.project + "/zarn.txt", copyUnit(c.source));
        box.write(c.input, "v1");
        ASSERT_EQ(box.run({}, c.project).status, 0);
        ASSERT_EQ(box.read(c.project + "/out.txt"), "v1");

        const auto second = box.run({}, c.project);
        EXPECT_EQ(second.status, 0);
        EXPECT_EQ(second.out, "Starting build\n[demo::copy] Visiting target\n[demo::copy] Build done\n") << c.project;

        // A changed input is still seen.
        box.write(c.input, "v2");
        fs::last_write_time(box.work() / c.input,
                            fs::last_write_time(box.work() / c.project / "out.txt") + std::chrono::seconds(2));
        ASSERT_EQ(box.run({}, c.project).status, 0);
        EXPECT_EQ(box.read(c.project + "/out.txt"), "v2") << c.project;
    }
}

// A pattern's match below `o)"x`, and a project directory that is not UTF-8.
TEST(DirectoryNamesE2e, OutputsFileLeavesOutWhatWouldNotReadBackWithAWarning)
{
    for (const std::string match : {"p/d/o)\"x/f", "x\377/d/plain/f"}) {
        Sandbox box;
        const std::string dir = match.substr(0, match.find('/'));
        box.write(dir + "/zarn.txt", "unit demo\nt: {\n  ^found = P\"(d/*/f)\"\n  ^n = 3\n  cmdline = \"true\"\n}\n");
        box.write(match, "");
        const auto run = box.run({"-o", "outputs.txt"}, dir);
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_NE(run.out.find("Variable 'found' cannot be written in 'outputs.txt' so that it reads back; it is "
                               "left out.\n"),
                  std::string::npos)
            << run.out;
        EXPECT_EQ(box.read(dir + "/outputs.txt"), "n = 3\n") << dir;
    }
}

// The registry is read at every start: a path it cannot hold is refused,
// and the registry stays readable.
TEST(DirectoryNamesE2e, RegisteringAProjectThatIsNotUtf8IsRefusedClearly)
{
    Sandbox box;
    const std::string dir = "x\377\376y";
    box.write(dir + "/.zarn_project.txt", "name demo\nunits {\n  demo { \"zarn.txt\" }\n}\n");
    box.write(dir + "/zarn.txt", copyUnit("in.txt"));
    box.write(dir + "/in.txt", "v1");
    E2e::expectRuns(box, {{dir, {"-r"}, 1, "Registry file '" + box.registryFile().string() +
                                             "' not saved: the path of project 'demo' is not valid UTF-8.\n"}});
    EXPECT_EQ(box.read(box.registryFile()), "");
    EXPECT_EQ(box.run({}, dir).status, 0);
}

}  // namespace
