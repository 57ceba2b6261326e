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

// The command prints the path list quoted, so that the shell does not
// match it again.
const char* const listingUnit = "unit app\n"
                                "t: {\n"
                                "  srcs = P\"(src/*.c)\"\n"
                                "  root = P\"(${project_root}/src/*.c)\"\n"
                                "  cmdline = \"echo 'srcs=${srcs} root=${root}'\"\n"
                                "}\n";

TEST(WildcardDirectoriesE2e, AProjectDirectoryIsNotAPattern)
{
    for (const std::string name : {"app*", "app?", "ap*p?", "ap[p]"}) {
        Sandbox box;
        const fs::path project = box.root() / name;
        box.write(project / ".zarn_project.txt",
                  "name app\nunits { app { \"app.txt\" } }\nprofiles { default { dir = P\"(src)\" } }\n");
        box.write(project / "app.txt",
                  std::string(listingUnit) + "u: { both = P\"(${dir}/*.c)\"  cmdline = \"echo '${both}'\" }\n");
        box.write(project / "src/main.c", "");
        box.write(box.root() / "appX/src/extra.c", "");
        box.write(box.root() / "apXpY/src/extra.c", "");

        const std::string main = (project / "src/main.c").string();
        const auto result = box.run({"-v", "6", "t"}, project);
        EXPECT_EQ(result.status, 0) << name;
        EXPECT_EQ(result.out, "srcs=" + main + " root=" + main + "\n") << name;
        // A project file's path, inserted into a unit's pattern.
        const auto inserted = box.run({"-v", "6", "u"}, project);
        EXPECT_EQ(inserted.status, 0) << name;
        EXPECT_EQ(inserted.out, main + "\n") << name;
    }
}

// A unit in a subdirectory with a wildcard in its name, listed by a project
// whose directory has one too.
TEST(WildcardDirectoriesE2e, AUnitDirectoryIsNotAPattern)
{
    Sandbox box;
    const fs::path project = box.root() / "app*";
    box.write(project / ".zarn_project.txt", "name app\nunits { app { \"sub?/app.txt\" } }\n");
    box.write(project / "sub?/app.txt", listingUnit);
    box.write(project / "sub?/src/main.c", "");
    box.write(project / "subX/src/extra.c", "");
    box.write(project / "src/top.c", "");
    box.write(box.root() / "appX/src/extra.c", "");

    const auto result = box.run({"-v", "6"}, project);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "srcs=" + (project / "sub?/src/main.c").string() +
                              " root=" + (project / "src/top.c").string() + "\n");
}

// An imported project's units and the registry's tools resolve their path
// literals below their own directories in the same way.
TEST(WildcardDirectoriesE2e, ImportedProjectsAndTheRegistryAreNotPatterns)
{
    Sandbox box;
    const fs::path main = box.root() / "main";
    const fs::path dependency = box.root() / "dep?";
    const fs::path home = box.root() / "home*";
    box.write(main / ".zarn_project.txt",
              "name main\nimport { \"../dep?/.zarn_project.txt\"; }\nunits { app { \"app.txt\" } }\n");
    box.write(main / "app.txt", "unit app\n"
                                "all: dep/util::s { cmdline = \"echo 'got ${util.s.srcs}'\" }\n"
                                "hello: { kind = \"greeting\"  cmdline = \"echo 'files ${files}'\" }\n");
    box.write(dependency / ".zarn_project.txt", "name dep\nunits { util { \"util.txt\" } }\n");
    box.write(dependency / "util.txt", "unit util\ns: { ^srcs = P\"(src/*.c)\"  cmdline = \"true\" }\n");
    box.write(dependency / "src/a.c", "");
    box.write(box.root() / "depX/src/bad.c", "");
    box.write(home / ".config/zarn/.zarn_registry.txt", "tools {\n"
                                                        "  greeter {\n"
                                                        "    tool_type = \"command\"\n"
                                                        "    kind = \"greeting\"\n"
                                                        "    files = P\"(data/*.txt)\"\n"
                                                        "  }\n"
                                                        "}\n");
    box.write(home / ".config/zarn/data/a.txt", "");
    box.write(box.root() / "homeX/.config/zarn/data/bad.txt", "");

    const std::vector<std::string> env = {"HOME=" + home.string()};
    const auto imported = box.run({"-v", "6", "all"}, main, env);
    EXPECT_EQ(imported.status, 0);
    EXPECT_EQ(imported.out, "got " + (dependency / "src/a.c").string() + "\n");
    const auto registered = box.run({"-v", "6", "hello"}, main, env);
    EXPECT_EQ(registered.status, 0);
    EXPECT_EQ(registered.out, "files " + (home / ".config/zarn/data/a.txt").string() + "\n");
}

}  // namespace
