// Projects in directories whose names the build language cannot write as a
// plain literal: bytes that are not UTF-8, `)"`, or what a string expands.
// The cache still keeps their work; -o writes each text so that it reads
// back, or leaves it out, and the registry refuses what it cannot hold.
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
        bool leftOut;         // whether -o leaves the output path out
    };
    const Case cases[] = {
        {"x\377\376y", "x\377\376y/in.txt", "in.txt", "is not valid UTF-8", false},
        {"a)\"b", "a)\"b/in.txt", "in.txt", "holds a double quote", true},
        {"p", "o)\"x/in.txt", "../o*/in.txt", "", false},  // outside the project
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

        // Nothing to do; an output no literal can hold is left out of -o,
        // bytes that are not UTF-8 are written as they are.
        const std::string dst = (box.work() / c.project / "out.txt").string();
        const bool hostile = !c.refusal.empty();
        const std::string leftOut = "Variable 'dst' cannot be written in 'outputs.txt' so that it reads back; it is "
                                    "left out.\n";
        E2e::expectRuns(box, {{c.project, {"-o", "outputs.txt"}, 0,
                               "Starting build\n[demo::copy] Visiting target\n[demo::copy] Build done\n" +
                                   (c.leftOut ? leftOut : "")}});
        EXPECT_EQ(box.read(c.project + "/outputs.txt"),
                  (c.leftOut ? "" : "dst = P\"" + dst + "\"\n") + "n = 3\n");

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

// A resolved text that a plain string would expand (a directory named with
// "${y}" or "#1", also one ending in ")") is written as a raw string, alone,
// in a list and in a block, and reads back as itself where y has a value. One
// that is not UTF-8 keeps its line, byte for byte.
TEST(DirectoryNamesE2e, OutputsFileTextsReadBackAsThemselves)
{
    const std::string outputs = "  ^where = \"${project_root}/out\"\n  ^all = [\"${project_root}\", \"q\"]\n"
                                "  ^cfg = { a = \"${project_root}\" }\n";
    const std::pair<std::string, bool> cases[] = {{"p${y}", true}, {"h#1", true}, {"q${y} (1)", true},
                                                       {"x\377\376y", false}};
    for (const auto& [project, raw] : cases) {
        Sandbox box;
        box.write(project + "/zarn.txt", "unit demo\nt: {\n  NO_TOOL\n" + outputs + "}\n");
        E2e::expectRuns(box, {{project, {"-o", "outputs.txt"}, 0,
                               "Starting build\n[demo::t] Visiting target\n[demo::t] Starting build job\n"
                               "[demo::t] Build done\n"}});
        const auto literal = [raw = raw](const std::string& text) {
            return raw ? "R\"(" + text + ")\"" : "\"" + text + "\"";
        };
        const std::string root = (box.work() / project).string();
        const std::string written = "all = [ " + literal(root) + ", \"q\" ]\ncfg = { a = " + literal(root) +
                                    " }\nwhere = " + literal(root + "/out") + "\n";
        EXPECT_EQ(box.read(project + "/outputs.txt"), written) << project;
        if (!raw)
            continue;  // no unit file holds it

        std::string back = "unit back\nt: {\n  NO_TOOL\n  y = \"Y\"\n";
        for (const std::string& line : E2e::lines(written))
            back += "  ^" + line + "\n";
        box.write("back/zarn.txt", back + "}\n");
        ASSERT_EQ(box.run({"-o", "outputs.txt"}, "back").status, 0) << project;
        EXPECT_EQ(box.read("back/outputs.txt"), written) << project;
    }
}

}  // namespace
