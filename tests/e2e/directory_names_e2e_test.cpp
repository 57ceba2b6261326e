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

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Copies its input into its output, both path values, quoted for the shell.
const std::string copyUnit = R"z(unit demo
copy: {
  src = P"(in.txt)"
  ^dst = P"(out.txt)"
  cmdline = "cp '${src}' '${dst}'"
}
)z";

const std::string noOpOutput = "Starting build\n[demo::copy] Visiting target\n[demo::copy] Build done\n";

const std::vector<std::string> hostileNames = {"x\377\376y", "a)\"b", "c)\"\377)"};

TEST(DirectoryNamesE2e, ANoOpStaysANoOpWhateverTheProjectDirectoryIsNamed)
{
    for (const std::string& name : hostileNames) {
        Sandbox box;
        box.write(name + "/zarn.txt", copyUnit);
        box.write(name + "/in.txt", "v1");
        const auto first = box.run({}, name);
        ASSERT_EQ(first.status, 0) << first.out;
        ASSERT_EQ(box.read(name + "/out.txt"), "v1");

        const auto second = box.run({}, name);
        EXPECT_EQ(second.status, 0);
        EXPECT_EQ(second.out, noOpOutput) << name;

        // A changed input is still seen.
        box.write(name + "/in.txt", "v2");
        fs::last_write_time(box.work() / name / "in.txt",
                            fs::last_write_time(box.work() / name / "out.txt") + std::chrono::seconds(2));
        const auto third = box.run({}, name);
        EXPECT_TRUE(contains(third.out, "[demo::copy] Starting build job\n")) << name << "\n" << third.out;
        EXPECT_EQ(box.read(name + "/out.txt"), "v2");
    }
}

// An input outside the project, below a directory named with `)"`.
TEST(DirectoryNamesE2e, AnInputBelowADirectoryNamedWithAClosingRawQuoteIsCached)
{
    Sandbox box;
    box.write("o)\"x/in.txt", "outside");
    box.write("p/zarn.txt", R"z(unit demo
copy: {
  src = P"(../o*/in.txt)"
  ^dst = P"(out.txt)"
  cmdline = "cp '${src}' '${dst}'"
}
)z");
    ASSERT_EQ(box.run({}, "p").status, 0);
    ASSERT_EQ(box.read("p/out.txt"), "outside");
    const auto again = box.run({}, "p");
    EXPECT_EQ(again.out, noOpOutput);
}

// A pattern's match below `o)"x`, and a project directory that is not UTF-8.
TEST(DirectoryNamesE2e, OutputsFileLeavesOutWhatWouldNotReadBackWithAWarning)
{
    const std::string unit = R"z(unit demo
t: {
  ^found = P"(d/*/f)"
  ^n = 3
  cmdline = "true"
}
)z";
    struct Case {
        std::string dir;
        std::string warning;
        std::string written;
    };
    const Case cases[] = {
        {"p", "Variable 'found' cannot be written in 'outputs.txt' so that it reads back; it is left out.\n",
         "n = 3\n"},
        {"x\377", "Variable 'found' cannot be written in 'outputs.txt' so that it reads back; it is left out.\n",
         "n = 3\n"},
    };
    for (const Case& c : cases) {
        Sandbox box;
        box.write(c.dir + "/zarn.txt", unit);
        box.write(c.dir + (c.dir == "p" ? "/d/o)\"x/f" : "/d/plain/f"), "");
        const auto run = box.run({"-o", "outputs.txt"}, c.dir);
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_TRUE(contains(run.out, c.warning)) << c.dir << "\n" << run.out;
        EXPECT_EQ(box.read(c.dir + "/outputs.txt"), c.written) << c.dir;
    }
}

// The registry is read at every start: a path it cannot hold is refused,
// and the registry stays readable.
TEST(DirectoryNamesE2e, RegisteringAProjectTheRegistryCannotHoldIsRefusedClearly)
{
    struct Case {
        std::string dir;
        std::string reason;
    };
    const Case cases[] = {
        {"x\377\376y", "the path of project 'demo' is not valid UTF-8."},
        {"a)\"b", "the path of project 'demo' holds a double quote."},
    };
    for (const Case& c : cases) {
        Sandbox box;
        box.write(c.dir + "/.zarn_project.txt", "name demo\nunits {\n  demo { \"zarn.txt\" }\n}\n");
        box.write(c.dir + "/zarn.txt", copyUnit);
        box.write(c.dir + "/in.txt", "v1");
        const auto refused = box.run({"-r"}, c.dir);
        EXPECT_EQ(refused.status, 1);
        EXPECT_EQ(refused.out, "Registry file '" + box.registryFile().string() + "' not saved: " + c.reason +
                                   "\n")
            << c.dir;
        EXPECT_EQ(box.read(box.registryFile()), "");
        EXPECT_EQ(box.run({}, c.dir).status, 0) << c.dir;
    }
}

}  // namespace
