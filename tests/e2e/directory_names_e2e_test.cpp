// Projects in directories whose names the build language cannot write as a
// literal: bytes that are not UTF-8, or `)"`. The cache still keeps their
// work, -o and the registry never write text that does not read back.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "e2e/e2e_harness.h"

namespace {

using E2e::Sandbox;
namespace fs = std::filesystem;

TEST(DirectoryNamesE2e, CacheOutputsFileAndRegistryTakeAnyDirectoryName)
{
    struct Case {
        std::string project;  // the project directory
        std::string input;    // the input file, below the sandbox
        std::string source;   // how the unit names it
        std::string refusal;  // why the registry cannot hold the project, if it cannot
    };
    const Case cases[] = {
        {"x\377\376y", "x\377\376y/in.txt", "in.txt", "is not valid UTF-8"},
        {"a)\"b", "a)\"b/in.txt", "in.txt", "holds a double quote"},
        {"p", "o)\"x/in.txt", "../o*/in.txt", ""},  // outside the project
    };
    for (const Case& c : cases) {
        Sandbox box;
        box.write(c.project + "/.zarn_project.txt", "name demo\nunits {\n  demo { \"zarn.txt\" }\n}\n");
        box.write(c.project + "/zarn.txt", "unit demo\ncopy: {\n  src = P\"(" + c.source +
                                               ")\"\n  ^dst = P\"(out.txt)\"\n  ^n = 3\n"
                                               "  cmdline = \"cp '${src}' '${dst}'\"\n}\n");
        box.write(c.input, "v1");
        ASSERT_EQ(box.run({}, c.project).status, 0);
        ASSERT_EQ(box.read(c.project + "/out.txt"), "v1");

        // Nothing to do; an output no literal can hold is left out of -o.
        const std::string dst = (box.work() / c.project / "out.txt").string();
        const bool hostile = !c.refusal.empty();
        const std::string leftOut = "Variable 'dst' cannot be written in 'outputs.txt' so that it reads back; it is "
                                    "left out.\n";
        E2e::expectRuns(box, {{c.project, {"-o", "outputs.txt"}, 0,
                               "Starting build\n[demo::copy] Visiting target\n[demo::copy] Build done\n" +
                                   (hostile ? leftOut : "")}});
        EXPECT_EQ(box.read(c.project + "/outputs.txt"), (hostile ? "" : "dst = P\"" + dst + "\"\n") + "n = 3\n");

        // The registry, read at every start, refuses what it cannot hold.
        const auto registered = box.run({"-r"}, c.project);
        EXPECT_EQ(registered.status, hostile ? 1 : 0) << c.project;
        if (hostile) {
            EXPECT_EQ(registered.out, "Registry file '" + box.registryFile().string() +
                                          "' not saved: the path of project 'demo' " + c.refusal + ".\n");
            EXPECT_EQ(box.read(box.registryFile()), "");
        }

        // A changed input is still seen.
        box.write(c.input, "v2");
        fs::last_write_time(box.work() / c.input, fs::last_write_time(dst) + std::chrono::seconds(2));
        ASSERT_EQ(box.run({}, c.project).status, 0);
        EXPECT_EQ(box.read(c.project + "/out.txt"), "v2") << c.project;
    }
}

}  // namespace
