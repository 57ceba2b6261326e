// Projects, units and the registry in directories whose names hold "*",
// "?" or brackets: their path literals find files only below them, never in
// a sibling directory that the name would match as a pattern.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/e2e_harness.h"

namespace fs = std::filesystem;

namespace {

using E2e::Sandbox;

// A unit in a wildcard-named subdirectory of a wildcard-named project: its
// own pattern, one below the project root, one inserting a project file's
// path. The command quotes them so that the shell does not match them again.
TEST(WildcardDirectoriesE2e, ProjectAndUnitDirectoriesAreNotPatterns)
{
    for (const std::string name : {"app*", "app?", "ap*p?", "ap[p]"}) {
        Sandbox box;
        const fs::path project = box.root() / name;
        box.write(project / ".zarn_project.txt",
                  "name app\nunits { app { \"sub?/app.txt\" } }\nprofiles { default { dir = P\"(src)\" } }\n");
        box.write(project / "sub?/app.txt", "unit app\nt: {\n"
                                            "  srcs = P\"(src/*.c)\"\n"
                                            "  root = P\"(${project_root}/src/*.c)\"\n"
                                            "  both = P\"(${dir}/*.c)\"\n"
                                            "  cmdline = \"echo '${srcs} ${root} ${both}'\"\n}\n");
        box.write(project / "sub?/src/main.c", "");
        box.write(project / "src/top.c", "");
        for (const char* sibling : {"sub?/../subX", "../appX", "../apXpY"})
            box.write(project / sibling / "src/extra.c", "");

        const std::string top = (project / "src/top.c").string();
        const auto result = box.run({"-v", "6"}, project);
        EXPECT_EQ(result.status, 0) << name;
        EXPECT_EQ(result.out, (project / "sub?/src/main.c").string() + " " + top + " " + top + "\n") << name;
    }
}

// An imported project's units and the registry's tools resolve their path
// literals below their own directories in the same way.
TEST(WildcardDirectoriesE2e, ImportedProjectsAndTheRegistryAreNotPatterns)
{
    Sandbox box;
    const fs::path main = box.root() / "main";
    const fs::path dependency = box.root() / "dep?";
    const fs::path config = box.root() / "home*/.config/zarn";
    box.write(main / ".zarn_project.txt",
              "name main\nimport { \"../dep?/.zarn_project.txt\"; }\nunits { app { \"app.txt\" } }\n");
    box.write(main / "app.txt", "unit app\n"
                                "all: dep/util::s { cmdline = \"echo 'got ${util.s.srcs}'\" }\n"
                                "hello: { kind = \"greeting\"  cmdline = \"echo 'files ${files}'\" }\n");
    box.write(dependency / ".zarn_project.txt", "name dep\nunits { util { \"util.txt\" } }\n");
    box.write(dependency / "util.txt", "unit util\ns: { ^srcs = P\"(src/*.c)\"  cmdline = \"true\" }\n");
    box.write(dependency / "src/a.c", "");
    box.write(box.root() / "depX/src/bad.c", "");
    box.write(config / ".zarn_registry.txt",
              "tools {\n  greeter {\n    tool_type = \"command\"\n    kind = \"greeting\"\n"
              "    files = P\"(data/*.txt)\"\n  }\n}\n");
    box.write(config / "data/a.txt", "");
    box.write(box.root() / "homeX/.config/zarn/data/bad.txt", "");

    const std::vector<std::string> env = {"HOME=" + (box.root() / "home*").string()};
    const std::string from = main.string();
    E2e::expectRuns(box, {{from, {"-v", "6", "all"}, 0, "got " + (dependency / "src/a.c").string() + "\n", env},
                          {from, {"-v", "6", "hello"}, 0, "files " + (config / "data/a.txt").string() + "\n", env}});
}

}  // namespace
