// Projects, units and the registry in directories whose names hold "*",
// "?" or brackets: their path literals, and dependents given the files they
// build, find files only below them, never in a sibling directory that the
// name would match as a pattern.
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

// A library and a program; `run` starts the program through a path literal,
// `show` prints the library the same way.
const char* const unitFile = R"z(unit calc
app: core {
  C_FILES = P"(src/main.c)"
  LIB = core.lib
  OUTPUT_NAME = "calc"
}
core: +core_objs {
  OBJS
  OUTPUT_NAME = "libcore.a"
}
core_objs: {
  C_FILES = P"(lib/*.c)"
  C_FLAGS = "-c"
}
run: app {
  program = P"(${app.binary})"
  cmdline = "'${program}'"
}
show: core {
  library = P"(${core.lib})"
  cmdline = "echo '${library}'"
}
)z";

TEST(BuiltPathsE2e, ProductsOfAWildcardNamedProjectAreNotPatterns)
{
    Sandbox box;
    const fs::path project = box.root() / "app*";
    box.write(project / ".zarn_project.txt", "name calc\ntools {\n" + E2e::gnuToolDefinition("gnu", "/usr/bin") +
                                                 "}\nunits { calc { \"zarn.txt\" } }\n");
    box.write(project / "zarn.txt", unitFile);
    box.write(project / "lib/add.c", "int add(int a, int b) { return a + b; }\n");
    box.write(project / "src/main.c",
              "#include <stdio.h>\nint add(int, int);\nint main(void) { printf(\"%d\\n\", add(40, 2)); }\n");
    box.write(box.root() / "appX/decoy.txt", "");  // a sibling the name matches as a pattern

    const auto built = box.run({"run"}, project);
    EXPECT_EQ(built.status, 0) << built.out << built.err;
    EXPECT_NE(built.out.find("\n42\n"), std::string::npos) << built.out;
    // Nothing is built again, and the program is still found.
    const auto again = box.run({"run"}, project);
    EXPECT_EQ(again.status, 0) << again.out << again.err;
    EXPECT_NE(again.out.find("\n42\n"), std::string::npos) << again.out;
    for (const char* unwanted : {"[calc::core_objs] Starting build job", "[calc::app] Starting build job", "appX"})
        EXPECT_EQ(again.out.find(unwanted), std::string::npos) << again.out;

    // One whole line: the library below the project's own output tree.
    const fs::path library = E2e::findFile(project / "out", "libcore.a");
    ASSERT_FALSE(library.empty());
    const auto before = fs::last_write_time(library);
    E2e::expectRuns(box, {{project.string(), {"-v", "6", "show"}, 0, library.string() + "\n"}});
    EXPECT_EQ(fs::last_write_time(library), before);
}

}  // namespace
